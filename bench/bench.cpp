// glyphfall-bench: what one animation step costs, part by part.
//
// The attraction step, the reference loop against the program's vectorised
// one, on the real block lists of the 32 letters at 1920x1080, DPI 96, as
// built and after 2,000 steps; then a frame's rendering, the raster's
// hand-off to the platform (the headless backend copies the frame, as the
// desktop backend does into its hand-off slot), the clock read of every
// step, and the scaler that enlarges a frame for the screen. Beside them,
// the divider's own cost of a pair, which bounds the attraction step.
//
// Speed is judged by ratios within one run, never by absolute thresholds.
// --smoke: a few iterations of everything (CI), with fewer spreading steps.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "animation/animation.h"
#include "animation/attraction_simd.h"
#include "bench/letter_scene.h"
#include "common/state.h"
#include "platform/scaler.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

struct LetterCase {
    uint8_t Code;
    std::vector<Block> Fresh;    // as built
    std::vector<Block> Spread;   // after the spreading steps
};

std::vector<LetterCase> Letters;
int SpreadSteps = 2000;

// CPU seconds per iteration, by benchmark name, filled in as runs finish:
// the least over repetitions. Other load on the machine only ever adds
// time, so the least is the figure least disturbed by it, for the reference
// and the program alike.
std::map<std::string, double> SecondsPerIteration;

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations <= 0)
                continue;
            const double seconds = run.cpu_accumulated_time / double(run.iterations);
            const auto [it, added] = SecondsPerIteration.emplace(run.benchmark_name(), seconds);
            if (!added)
                it->second = std::min(it->second, seconds);
        }
        // The repetitions themselves are shown; their means and deviations
        // would only lengthen the listing.
        std::vector<Run> shown;
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                shown.push_back(run);
        if (!shown.empty())
            ConsoleReporter::ReportRuns(shown);
    }
};

std::string LetterName(uint8_t code)
{
    char name[8];
    std::snprintf(name, sizeof name, "%02X", code);
    return name;
}

void Spread(std::vector<Block>* blocks, int steps)
{
    for (int s = 0; s < steps; ++s) {
        AttractionStep(blocks->data(), blocks->size());
        PositionUpdate(blocks->data(), blocks->size());
    }
}

// Positions never change inside the loop, so every iteration costs the same.
void RunStep(benchmark::State& state, std::vector<Block> blocks, void (*step)(Block*, size_t))
{
    Animating.store(true);
    for (auto _ : state) {
        step(blocks.data(), blocks.size());
        benchmark::DoNotOptimize(blocks.data());
        benchmark::ClobberMemory();
    }
    state.counters["N"] = double(blocks.size());
}

void RegisterAttraction()
{
    for (const LetterCase& letter : Letters) {
        for (int phase = 0; phase < 2; ++phase) {
            const std::vector<Block>& blocks = phase == 0 ? letter.Fresh : letter.Spread;
            const std::string suffix = LetterName(letter.Code) + (phase == 0 ? "/fresh" : "/spread");
            benchmark::RegisterBenchmark(("attraction/reference/" + suffix).c_str(),
                                         [blocks](benchmark::State& s) { RunStep(s, blocks, AttractionStepReference); });
            benchmark::RegisterBenchmark(("attraction/program/" + suffix).c_str(),
                                         [blocks](benchmark::State& s) { RunStep(s, blocks, AttractionStep); });
        }
    }
}

// The median letter's blocks (by N), spread, for the per-frame figures.
const LetterCase& MedianLetter()
{
    std::vector<const LetterCase*> byCount;
    for (const LetterCase& l : Letters)
        byCount.push_back(&l);
    std::sort(byCount.begin(), byCount.end(),
              [](const LetterCase* a, const LetterCase* b) { return a->Fresh.size() < b->Fresh.size(); });
    return *byCount[byCount.size() / 2];
}

// Every instruction set on the median letter: the divider's cost per lane
// differs from one to the next.
void RegisterTargets()
{
    for (int64_t target : AttractionTargets()) {
        const std::string name = std::string("attraction/target/") + AttractionTargetName(target);
        benchmark::RegisterBenchmark(name.c_str(), [target](benchmark::State& state) {
            std::vector<Block> blocks = MedianLetter().Spread;
            Animating.store(true);
            for (auto _ : state) {
                AttractionStepOn(target, blocks.data(), blocks.size());
                benchmark::ClobberMemory();
            }
            state.counters["N"] = double(blocks.size());
        });
    }
}

void RegisterFrame()
{
    benchmark::RegisterBenchmark("frame/RenderFrame", [](benchmark::State& state) {
        BlockList = MedianLetter().Spread;
        for (auto _ : state)
            RenderFrame();
        BlockList.clear();
    });
    benchmark::RegisterBenchmark("frame/PresentRaster", [](benchmark::State& state) {
        for (auto _ : state)
            PresentRaster();
    });
    benchmark::RegisterBenchmark("frame/clock", [](benchmark::State& state) {
        for (auto _ : state) {
            benchmark::DoNotOptimize(CounterNow());
            benchmark::DoNotOptimize(CounterFrequency());
        }
    });
    benchmark::RegisterBenchmark("frame/PositionUpdate", [](benchmark::State& state) {
        std::vector<Block> blocks = MedianLetter().Spread;
        for (auto _ : state) {
            PositionUpdate(blocks.data(), blocks.size());
            benchmark::ClobberMemory();
        }
    });
    const struct { int32_t W, H; } screens[] = {{1920, 1080}, {3840, 2160}};
    for (const auto& screen : screens) {
        const std::string name = "frame/scale/" + std::to_string(screen.W) + "x" + std::to_string(screen.H);
        const int32_t w = screen.W, h = screen.H;
        benchmark::RegisterBenchmark(name.c_str(), [w, h](benchmark::State& state) {
            ScaleTables tables;
            PrepareScaleTables(&tables, RasterWidth, RasterHeight, w, h);
            std::vector<uint8_t> surface(size_t(w) * size_t(h) * 4);
            const PixelLayout layout{16, 8, 0, 0xff000000u};
            for (auto _ : state) {
                ScaleRaster(&tables, RowTable, layout, surface.data(), w * 4);
                benchmark::ClobberMemory();
            }
        });
    }
}

#if defined(__x86_64__)
// The divider's own cost of one pair: its square root and three divisions
// with the operands of real pairs (the divider's speed depends on them), and
// nothing else that could hold them up. Three forms:
//   - four lanes at a time (AVX2): the best the program's step can reach;
//   - one lane, four operations: the literal reference loop's count;
//   - one lane with the last two divisions paired into one two-lane
//     division, which is how GCC builds that loop when left to it (it packs
//     (k*dx)/d and (k*dy)/d together; same bits).
// The quotient of two forms bounds the speed-up this machine allows without
// leaving the divider. The empty asm statements consume each result.
struct DividerOperands {
    std::vector<double> Sum, Dist, NumX, NumY;  // dx*dx + dy*dy, d, k*dx, k*dy
};
DividerOperands Operands;

// Every 7th pair of the median letter, fresh and spread: 256 KiB of operands.
void PrepareOperands()
{
    const LetterCase& letter = MedianLetter();
    for (const std::vector<Block>* blocks : {&letter.Fresh, &letter.Spread}) {
        size_t n = 0;
        for (size_t i = 0; i + 1 < blocks->size(); ++i)
            for (size_t j = i + 1; j < blocks->size() && Operands.Sum.size() < 4096 * 2; ++j, ++n) {
                if (n % 7 != 0)
                    continue;
                const double dx = (*blocks)[i].X - (*blocks)[j].X, dy = (*blocks)[i].Y - (*blocks)[j].Y;
                const double sum = dx * dx + dy * dy, d = std::sqrt(sum) * 4.0;
                if (d == 0.0)
                    continue;
                Operands.Sum.push_back(sum);
                Operands.Dist.push_back(d);
                Operands.NumX.push_back(0.1 / d * dx);
                Operands.NumY.push_back(0.1 / d * dy);
            }
    }
    while (Operands.Sum.size() % 4 != 0) {
        Operands.Sum.pop_back();
        Operands.Dist.pop_back();
        Operands.NumX.pop_back();
        Operands.NumY.pop_back();
    }
}

__attribute__((target("avx2"))) void DividerPairsVector(benchmark::State& state)
{
    const double *sum = Operands.Sum.data(), *dist = Operands.Dist.data();
    const double *nx = Operands.NumX.data(), *ny = Operands.NumY.data();
    const size_t n = Operands.Sum.size();
    const __m256d tenth = _mm256_set1_pd(0.1);
    for (auto _ : state) {
        for (size_t p = 0; p < n; p += 4) {
            const __m256d d = _mm256_loadu_pd(dist + p);
            const __m256d r0 = _mm256_sqrt_pd(_mm256_loadu_pd(sum + p)), r1 = _mm256_div_pd(tenth, d);
            const __m256d r2 = _mm256_div_pd(_mm256_loadu_pd(nx + p), d);
            const __m256d r3 = _mm256_div_pd(_mm256_loadu_pd(ny + p), d);
            asm volatile("" : : "x"(r0), "x"(r1), "x"(r2), "x"(r3));
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}

// Paired: the last two divisions as one two-lane division.
template <bool Paired>
void DividerPairsScalar(benchmark::State& state)
{
    const double *sum = Operands.Sum.data(), *dist = Operands.Dist.data();
    const double *nx = Operands.NumX.data(), *ny = Operands.NumY.data();
    const size_t n = Operands.Sum.size();
    for (auto _ : state) {
        for (size_t p = 0; p < n; ++p) {
            const double r0 = std::sqrt(sum[p]), r1 = 0.1 / dist[p];
            if constexpr (Paired) {
                const __m128d r2 = _mm_div_pd(_mm_set_pd(ny[p], nx[p]), _mm_set1_pd(dist[p]));
                asm volatile("" : : "x"(r0), "x"(r1), "x"(r2));
            } else {
                const double r2 = nx[p] / dist[p], r3 = ny[p] / dist[p];
                asm volatile("" : : "x"(r0), "x"(r1), "x"(r2), "x"(r3));
            }
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
}

void RegisterDivider()
{
    if (!__builtin_cpu_supports("avx2"))
        return;
    PrepareOperands();
    benchmark::RegisterBenchmark("divider/pairs/vector4", DividerPairsVector);
    benchmark::RegisterBenchmark("divider/pairs/scalar", DividerPairsScalar<false>);
    benchmark::RegisterBenchmark("divider/pairs/scalar-paired", DividerPairsScalar<true>);
}
#else
void RegisterDivider() {}
#endif

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

double Seconds(const std::string& name)
{
    const auto it = SecondsPerIteration.find(name);
    return it == SecondsPerIteration.end() ? 0.0 : it->second;
}

void PrintSummary()
{
#if defined(GLYPHFALL_LITERAL_REFERENCE)
    const char* reference = "the literal loop";
#else
    const char* reference = "as the compiler vectorises it";
#endif
    std::printf("\nattraction step, ns per step (CPU time, one thread; target %s; reference %s)\n",
                AttractionTargetName(AttractionTargets().front()), reference);
    std::printf("letter    N   reference/fresh  program/fresh  ratio   reference/spread  program/spread  ratio\n");
    std::vector<double> ratios, ofBound;
    std::vector<std::pair<size_t, double>> programByN;
    // The divider's time per pair, four lanes at a time and one at a time.
    const double pairs = double(Operands.Sum.size());
    const double vectorPair = pairs > 0 ? Seconds("divider/pairs/vector4") / pairs : 0.0;
    const double scalarPair = pairs > 0 ? Seconds("divider/pairs/scalar") / pairs : 0.0;
    const double pairedPair = pairs > 0 ? Seconds("divider/pairs/scalar-paired") / pairs : 0.0;
    for (const LetterCase& l : Letters) {
        const std::string c = LetterName(l.Code);
        const double rf = Seconds("attraction/reference/" + c + "/fresh");
        const double pf = Seconds("attraction/program/" + c + "/fresh");
        const double rs = Seconds("attraction/reference/" + c + "/spread");
        const double ps = Seconds("attraction/program/" + c + "/spread");
        if (pf <= 0 || ps <= 0)
            continue;
        std::printf("  %s  %4zu  %15.0f  %13.0f  %5.2f   %16.0f  %14.0f  %5.2f\n", c.c_str(), l.Fresh.size(),
                    rf * 1e9, pf * 1e9, rf / pf, rs * 1e9, ps * 1e9, rs / ps);
        // A letter's figure: both of its states weighed alike.
        ratios.push_back((rf + rs) / (pf + ps));
        programByN.push_back({l.Fresh.size(), (pf + ps) / 2});
        // What the divider alone needs for the program's vectors: a row of
        // m partners takes ceil(m / 4) of them.
        double vectors = 0;
        for (size_t m = 1; m < l.Fresh.size(); ++m)
            vectors += double((m + 3) / 4);
        if (vectorPair > 0)
            ofBound.push_back(vectors * 4 * vectorPair / ((pf + ps) / 2));
    }
    if (ratios.empty())
        return;
    const double median = Median(ratios);
    const double least = *std::min_element(ratios.begin(), ratios.end());

    // The rest of a step at the median letter: frame, hand-off, clock.
    std::sort(programByN.begin(), programByN.end());
    const auto [medianN, attraction] = programByN[programByN.size() / 2];
    const double render = Seconds("frame/RenderFrame"), present = Seconds("frame/PresentRaster");
    const double clock = Seconds("frame/clock"), position = Seconds("frame/PositionUpdate");
    const double step = attraction + position + render + clock;
    std::printf("\nper frame: RenderFrame %.1f us (of which PresentRaster's hand-off %.1f us), clock %.0f ns, "
                "position update %.1f us\n",
                render * 1e6, present * 1e6, clock * 1e9, position * 1e6);
    std::printf("scaler per frame: 1920x1080 %.2f ms, 3840x2160 %.2f ms\n", Seconds("frame/scale/1920x1080") * 1e3,
                Seconds("frame/scale/3840x2160") * 1e3);
    std::printf("median letter (N = %zu): step %.1f us, attraction %.1f us, other work %.1f us = %.1f%% of a step\n",
                medianN, step * 1e6, attraction * 1e6, (step - attraction) * 1e6,
                100.0 * (step - attraction) / step);
    if (!ofBound.empty() && scalarPair > 0 && pairedPair > 0) {
        std::printf("divider alone, ns per pair: four lanes %.2f; one lane %.2f (bound %.2f); "
                    "one lane, last two divisions paired as GCC builds the loop %.2f (bound %.2f)\n",
                    vectorPair * 1e9, scalarPair * 1e9, scalarPair / vectorPair, pairedPair * 1e9,
                    pairedPair / vectorPair);
        std::printf("program's step: median %.0f%% (min %.0f%%) of the four-lane divider's speed\n",
                    100 * Median(ofBound), 100 * *std::min_element(ofBound.begin(), ofBound.end()));
    }
    std::printf("attraction speedup: median %.2f (min %.2f) over %zu letters\n", median, least, ratios.size());
}

}  // namespace

int main(int argc, char** argv)
{
    // Our own flag first; the rest belongs to Google Benchmark.
    std::vector<char*> args;
    bool smoke = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0)
            smoke = true;
        else
            args.push_back(argv[i]);
    }
    // Unless told otherwise: every benchmark three times, the repetitions of
    // all of them shuffled together, so that a burst of other load on the
    // machine cannot weigh on one side of a ratio only (see the reporter).
    const auto given = [&](const char* flag) {
        for (const char* a : args)
            if (std::strncmp(a, flag, std::strlen(flag)) == 0)
                return true;
        return false;
    };
    static char minTime[] = "--benchmark_min_time=0.1", smokeMinTime[] = "--benchmark_min_time=0.01";
    static char repetitions[] = "--benchmark_repetitions=3";
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    if (smoke) {
        args.push_back(smokeMinTime);
        SpreadSteps = 20;
    } else {
        if (!given("--benchmark_min_time"))
            args.push_back(minTime);
        if (!given("--benchmark_repetitions"))
            args.push_back(repetitions);
        if (!given("--benchmark_enable_random_interleaving"))
            args.push_back(interleave);
    }
    int benchArgc = int(args.size());
    benchmark::Initialize(&benchArgc, args.data());
    if (benchmark::ReportUnrecognizedArguments(benchArgc, args.data()))
        return 2;

    std::string error;
    PausePercent.store(0);
    Running.store(true);
    Animating.store(true);
    if (!PrepareLetterRaster(1920, 1080, 96, &error)) {
        std::fprintf(stderr, "glyphfall-bench: cannot prepare the raster: %s\n", error.c_str());
        return 1;
    }
    std::printf("building the 32 letters' scenes and spreading each over %d steps...\n", SpreadSteps);
    std::fflush(stdout);
    for (int i = 0; i < LetterCount; ++i) {
        LetterCase l;
        l.Code = uint8_t(FirstLetter + i);
        l.Fresh = LetterBlocks(l.Code);
        l.Spread = l.Fresh;
        Spread(&l.Spread, SpreadSteps);
        Letters.push_back(std::move(l));
    }

    RegisterAttraction();
    RegisterTargets();
    RegisterDivider();
    RegisterFrame();
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintSummary();
    ReleaseRaster();
    return 0;
}
