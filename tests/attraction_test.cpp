// The attraction step: a worked example, and the vectorised step against the
// reference loop, bit for bit, on every instruction set this processor runs.
#include "animation/attraction_simd.h"
#include "tests/test_util.h"

struct Attraction : testing::Test {
    void SetUp() override { Animating.store(true); }
    void TearDown() override { Animating.store(false); }
};

TEST_F(Attraction, ThreeBlocksByHand)
{
    // A (0, 0) mass 1; B (3, 4) mass 4 moving (0.5, -0.25); C (0, 8) mass 9.
    // (A,B): d = 20, k = 0.005, a = (-0.00075, -0.001): A.V -= 4a, B.V += a.
    // (A,C): d = 32, k = 0.003125, a = (0, -0.00078125): A.V -= 9a, C.V += a.
    // (B,C): d = 20, k = 0.005, a = (0.00075, -0.001): B.V -= 9a, C.V += 4a.
    const double want[3][4] = {{0.003, 0.01103125, 0.003, 0.01103125}, {3.4925, 3.758, 0.4925, -0.242},
                               {0.003, 7.99521875, 0.003, -0.00478125}};
    for (auto step : {AttractionStepReference, AttractionStep}) {
        std::vector<Block> b = {BlockAt(0, 0, 0), BlockAt(2.5, 3.5, 1, {}, 0.5, -0.25), BlockAt(-1, 7, 2)};
        step(b.data(), b.size());
        PositionUpdate(b.data(), b.size());
        for (int i = 0; i < 3; ++i)
            for (int f = 0; f < 4; ++f)
                EXPECT_NEAR((&b[i].X)[f], want[i][f], 1e-14 * std::max(1.0, std::fabs(want[i][f]))) << i << f;
    }
}

TEST_F(Attraction, SameBitsOnEdgeCasesAndEveryTailLength)
{
    std::vector<std::pair<std::string, std::vector<Block>>> cases;
    for (uint32_t n = 0; n <= 37; ++n)  // every partial vector at the end of a row
        cases.push_back({"N = " + std::to_string(n), Scatter(n, 1000 + n, 16)});
    cases.push_back({"long rows", Scatter(300, 5, 16)});
    const auto edit = [&](const char* what, uint32_t seed, size_t n, auto change) {
        cases.push_back({what, Scatter(n, seed, 16)});
        change(cases.back().second);
    };
    edit("coincident pairs inside and across vectors", 42, 19, [](std::vector<Block>& b) {
        b[3].X = b[4].X, b[3].Y = b[4].Y, b[0].X = b[17].X, b[0].Y = b[17].Y;
        b[9].X = b[10].X = b[11].X = 100, b[9].Y = b[10].Y = b[11].Y = 50;
    });
    edit("far", 7, 13, [](std::vector<Block>& b) { b[6].X = 1e12, b[2].X = 1e300, b[7].Y = 1e-300; });
    // Distances to (0, 0) whose squares' roots lie within 2^-50 ulp of a
    // rounding boundary (found with the rounding test's construction; the
    // AVX2 fused candidate misses them), the origin last, where padding
    // lanes would make the vector fall back anyway.
    cases.push_back({"roots on the edge", {BlockAt(0x1.dp+4, 0x1.befcdc73e397ap+4, 0),
                                           BlockAt(0x1.28p+5, 0x1.cb6772ff4b104p+4, 0),
                                           BlockAt(0x1.58p+5, 0x1.09c3b421efad9p+5, 0), BlockAt(0, 0, 0)}});
    edit("not finite", 9, 11, [](std::vector<Block>& b) { b[5].X = Nan, b[4].Y = Inf, b[9].X = -Inf; });
    edit("velocities not finite", 11, 7, [](std::vector<Block>& b) { b[1].VX = Nan, b[2].VY = -Inf; });
    // Symmetric neighbours give terms cancelling to zeros of either sign.
    cases.push_back({"signed zeros", {BlockAt(10, 10, 0, {}, -0.0, -0.0), BlockAt(20, 10, 0, {}, -0.0, 0.0),
                                      BlockAt(30, 10, 0, {}, 0.0, -0.0), BlockAt(20, 30, 0, {}, -0.0, -0.0),
                                      BlockAt(19.5, 9.5, 1, {}, -0.0, -0.0), BlockAt(20, 10, 0)}});
    // On one centre nothing pulls: nothing changes, -0.0 included.
    cases.push_back({"one centre", {BlockAt(5, 5, 0, {}, -0.0, 0.0), BlockAt(4.5, 4.5, 1, {}, 0.0, -0.0),
                                    BlockAt(4, 4, 2, {}, -0.0, -0.0), BlockAt(5, 5, 0, {}, 1.5, -0.0)}});
    // The reference and each target by every route it has, side by side.
    for (const auto& [what, blocks] : cases)
        for (int64_t target : AttractionTargets()) {
            const std::vector<int> routes = AttractionRoutes(target);
            std::vector<Block> want = blocks;
            std::vector<std::vector<Block>> got(routes.size(), blocks);
            for (int s = 1; s <= (what == "one centre" ? 200 : 4); ++s) {
                AttractionStepReference(want.data(), want.size());
                PositionUpdate(want.data(), want.size());
                for (size_t r = 0; r < routes.size(); ++r) {
                    AttractionStepOn(target, routes[r], got[r].data(), got[r].size());
                    PositionUpdate(got[r].data(), got[r].size());
                    ASSERT_TRUE(SameBlocks(got[r], want)) << what << " on " << AttractionTargetName(target)
                                                          << " by " << AttractionRouteName(routes[r]) << " step " << s;
                }
            }
        }
}
