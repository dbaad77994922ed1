// glyphfall-bench: what one animation step costs, part by part.
//
// The attraction step, the program's vectorised one against two builds of the
// reference loop: the literal loop (four divider operations a pair) and the
// compiler's own optimised build of it (the program's, which packs a pair's
// last two divisions into one), on the real block lists of the 32 letters at
// 1920x1080, DPI 96, as built and after 2,000 steps; then a frame's
// rendering, the raster's hand-off to the platform (the headless backend
// copies the frame, as the desktop backend does into its hand-off slot), the
// clock read of every step, and the scaler that enlarges a frame.
//
// Speed is judged by ratios within one run, never by absolute thresholds.
// --smoke: a few iterations of everything (CI), with fewer spreading steps.
// --blocks DIR: the letters' blocks as built from DIR/C0.csv ... DIR/DF.csv
// (glyphfall-render --blocks), not from the font: the same scenes on two
// builds, such as Linux and Windows (bench/compare-windows.sh).
// --real-time: the figures from elapsed time instead of the thread's CPU
// time, which Wine counts in 10 ms ticks (too coarse for 0.1 s runs).
#include <benchmark/benchmark.h>

#include <algorithm>
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

// The reference loop built literally (bench/CMakeLists.txt).
void AttractionStepLiteral(Block* blocks, size_t count);

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
bool RealTime = false;

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations <= 0)
                continue;
            const double seconds =
                (RealTime ? run.real_accumulated_time : run.cpu_accumulated_time) / double(run.iterations);
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
template <class Step>
void RunStep(benchmark::State& state, std::vector<Block> blocks, Step step)
{
    Animating.store(true);
    for (auto _ : state) {
        step(blocks.data(), blocks.size());
        benchmark::DoNotOptimize(blocks.data());
        benchmark::ClobberMemory();
    }
    state.counters["N"] = double(blocks.size());
}

// The step: the two builds of the reference, then the program's step by each
// route of the widest target (the program takes the chosen one).
void RegisterAttraction()
{
    const int64_t target = AttractionTargets().front();
    const std::vector<int> routes = AttractionRoutes(target);
    for (const LetterCase& letter : Letters) {
        for (int phase = 0; phase < 2; ++phase) {
            const std::vector<Block>& blocks = phase == 0 ? letter.Fresh : letter.Spread;
            const std::string suffix = LetterName(letter.Code) + (phase == 0 ? "/fresh" : "/spread");
            const std::pair<const char*, void (*)(Block*, size_t)> steps[] = {
                {"literal", AttractionStepLiteral}, {"reference", AttractionStepReference}};
            for (const auto& [kind, step] : steps)
                benchmark::RegisterBenchmark(("attraction/" + std::string(kind) + "/" + suffix).c_str(),
                                             [blocks, step = step](benchmark::State& state) {
                                                 RunStep(state, blocks, step);
                                             });
            for (int route : routes)
                benchmark::RegisterBenchmark(
                    ("attraction/" + std::string(AttractionRouteName(route)) + "/" + suffix).c_str(),
                    [blocks, target, route](benchmark::State& state) {
                        RunStep(state, blocks,
                                [target, route](Block* b, size_t n) { AttractionStepOn(target, route, b, n); });
                    });
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

// Every instruction set and route on the median letter: the divider's cost
// per lane differs from one to the next. Then each route's arithmetic alone
// (its bound: no updates, no sums in order) on the widest.
void RegisterTargets()
{
    for (int64_t target : AttractionTargets())
        for (int route : AttractionRoutes(target)) {
            const std::string name = std::string("attraction/target/") + AttractionTargetName(target) + "/" +
                                     AttractionRouteName(route);
            benchmark::RegisterBenchmark(name.c_str(), [target, route](benchmark::State& state) {
                RunStep(state, MedianLetter().Spread,
                        [target, route](Block* b, size_t n) { AttractionStepOn(target, route, b, n); });
            });
        }
    const int64_t target = AttractionTargets().front();
    for (int route : AttractionRoutes(target))
        benchmark::RegisterBenchmark(("attraction/arithmetic/" + std::string(AttractionRouteName(route))).c_str(),
                                     [target, route](benchmark::State& state) {
                                         const std::vector<Block>& blocks = MedianLetter().Spread;
                                         for (auto _ : state)
                                             benchmark::DoNotOptimize(
                                                 AttractionArithmeticOn(target, route, blocks.data(), blocks.size()));
                                     });
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

// Seconds of one step, both states of a letter weighed alike.
double LetterSeconds(const std::string& kind, uint8_t code)
{
    const std::string c = LetterName(code);
    return Seconds("attraction/" + kind + "/" + c + "/fresh") +
           Seconds("attraction/" + kind + "/" + c + "/spread");
}

// Median and least of a route's ratios over the letters.
struct Ratios {
    std::vector<double> OverLiteral, OverCompiled;
};

void PrintRatios(const char* what, const Ratios& r)
{
    std::printf("%s: over the literal loop median %.2f (min %.2f); over the compiler's build of it median %.2f "
                "(min %.2f)\n",
                what, Median(r.OverLiteral), *std::min_element(r.OverLiteral.begin(), r.OverLiteral.end()),
                Median(r.OverCompiled), *std::min_element(r.OverCompiled.begin(), r.OverCompiled.end()));
}

void PrintSummary()
{
    const int64_t target = AttractionTargets().front();
    const std::vector<int> routes = AttractionRoutes(target);
    const int chosen = AttractionChosenRoute();
    std::printf("\nattraction step, us per step, fresh + spread (%s, one thread; target %s; route %s, chosen at "
                "the first step in %.2f ms)\n",
                RealTime ? "elapsed time" : "CPU time", AttractionTargetName(target), AttractionRouteName(chosen),
                AttractionChoiceSeconds() * 1e3);
    std::printf("letter    N   literal  compiler's");
    for (int route : routes)
        std::printf(" %9s", AttractionRouteName(route));
    std::printf("   %s vs literal, vs compiler's\n", AttractionRouteName(chosen));
    std::map<int, Ratios> ratios;
    std::vector<std::pair<size_t, double>> programByN;
    for (const LetterCase& l : Letters) {
        const double lit = LetterSeconds("literal", l.Code), ref = LetterSeconds("reference", l.Code);
        const double prog = LetterSeconds(AttractionRouteName(chosen), l.Code);
        if (prog <= 0)
            continue;
        std::printf("  %s  %4zu  %8.1f  %10.1f", LetterName(l.Code).c_str(), l.Fresh.size(), lit * 1e6, ref * 1e6);
        for (int route : routes) {
            const double t = LetterSeconds(AttractionRouteName(route), l.Code);
            std::printf(" %9.1f", t * 1e6);
            ratios[route].OverLiteral.push_back(lit / t);
            ratios[route].OverCompiled.push_back(ref / t);
        }
        std::printf("   %6.2f %6.2f\n", lit / prog, ref / prog);
        programByN.push_back({l.Fresh.size(), prog / 2});
    }
    if (programByN.empty())
        return;

    // The rest of a step at the median letter: frame, hand-off, clock.
    std::sort(programByN.begin(), programByN.end());
    const auto [medianN, attraction] = programByN[programByN.size() / 2];
    const double render = Seconds("frame/RenderFrame"), present = Seconds("frame/PresentRaster");
    const double clock = Seconds("frame/clock"), position = Seconds("frame/PositionUpdate");
    const double step = attraction + position + render + clock;
    std::printf("\nper frame: RenderFrame %.1f us (of which PresentRaster's hand-off %.1f us), "
                "clock %.0f ns, position update %.1f us\n",
                render * 1e6, present * 1e6, clock * 1e9, position * 1e6);
    std::printf("scaler per frame: 1920x1080 %.2f ms, 3840x2160 %.2f ms\n",
                Seconds("frame/scale/1920x1080") * 1e3, Seconds("frame/scale/3840x2160") * 1e3);
    std::printf("median letter (N = %zu): step %.1f us, attraction %.1f us, other work %.1f us = %.1f%% "
                "of a step\n",
                medianN, step * 1e6, attraction * 1e6, (step - attraction) * 1e6,
                100.0 * (step - attraction) / step);
    const size_t pairs = MedianLetter().Spread.size() * (MedianLetter().Spread.size() - 1) / 2;
    for (int route : routes) {
        const std::string name = AttractionRouteName(route);
        const double bound = Seconds("attraction/arithmetic/" + name);
        const double spread = Seconds("attraction/target/" + std::string(AttractionTargetName(target)) + "/" + name);
        if (bound > 0 && spread > 0)
            std::printf("route %s at the median letter, spread: arithmetic alone %.1f us (%.2f ns a pair), the "
                        "step %.1f us, at %.0f%% of that bound\n",
                        name.c_str(), bound * 1e6, bound / double(pairs) * 1e9, spread * 1e6,
                        100.0 * bound / spread);
        if (!ratios[route].OverLiteral.empty())
            PrintRatios(("route " + name).c_str(), ratios[route]);
    }
    PrintRatios(("attraction speedup over " + std::to_string(programByN.size()) + " letters (route " +
                 AttractionRouteName(chosen) + ")")
                    .c_str(),
                ratios[chosen]);
}

}  // namespace

int main(int argc, char** argv)
{
    // Our own flag first; the rest belongs to Google Benchmark.
    std::vector<char*> args;
    bool smoke = false;
    std::string blocksDir;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0)
            smoke = true;
        else if (std::strcmp(argv[i], "--real-time") == 0)
            RealTime = true;
        else if (std::strcmp(argv[i], "--blocks") == 0 && i + 1 < argc)
            blocksDir = argv[++i];
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
    Running.store(true);
    Animating.store(true);
    if (blocksDir.empty() ? !PrepareLetterRaster(1920, 1080, 96, &error) : !CreateRaster(1920, 1080, &error)) {
        std::fprintf(stderr, "glyphfall-bench: cannot prepare the raster: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s the 32 letters' scenes and spreading each over %d steps...\n",
                blocksDir.empty() ? "building" : "reading", SpreadSteps);
    std::fflush(stdout);
    for (int i = 0; i < LetterCount; ++i) {
        LetterCase l;
        l.Code = uint8_t(FirstLetter + i);
        if (blocksDir.empty())
            l.Fresh = LetterBlocks(l.Code);
        else if (!ReadBlocksCsv(blocksDir + "/" + LetterName(l.Code) + ".csv", &l.Fresh, &error)) {
            std::fprintf(stderr, "glyphfall-bench: %s\n", error.c_str());
            return 1;
        }
        l.Spread = l.Fresh;
        Spread(&l.Spread, SpreadSteps);
        Letters.push_back(std::move(l));
    }

    RegisterAttraction();
    RegisterTargets();
    RegisterFrame();
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintSummary();
    ReleaseRaster();
    return 0;
}
