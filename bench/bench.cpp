// glyphfall-bench: what one animation step costs, part by part.
//
// The attraction step, the reference loop against the program's vectorised
// one, on the real block lists of the 32 letters at 1920x1080, DPI 96, as
// built and after 2,000 steps; then a frame's rendering, the raster's
// hand-off to the platform (the headless backend copies the frame, as the
// desktop backend does into its hand-off slot), the clock read of every
// step, and the scaler that enlarges a frame for the screen.
//
// Speed is judged by ratios within one run, never by absolute thresholds.
// --smoke: a few iterations of everything (CI), with fewer spreading steps.
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

namespace {

struct LetterCase {
    uint8_t Code;
    std::vector<Block> Fresh;    // as built
    std::vector<Block> Spread;   // after the spreading steps
};

std::vector<LetterCase> Letters;
int SpreadSteps = 2000;

// CPU seconds per iteration, by benchmark name, filled in as runs finish.
std::map<std::string, double> SecondsPerIteration;

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                SecondsPerIteration[run.benchmark_name()] = run.cpu_accumulated_time / double(run.iterations);
        ConsoleReporter::ReportRuns(runs);
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
    std::printf("\nattraction step, ns per step (CPU time, one thread; target %s)\n",
                AttractionTargetName(AttractionTargets().front()));
    std::printf("letter    N   reference/fresh  program/fresh  ratio   reference/spread  program/spread  ratio\n");
    std::vector<double> ratios;
    std::vector<std::pair<size_t, double>> programByN;
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
    static char minTime[] = "--benchmark_min_time=0.01";
    if (smoke) {
        args.push_back(minTime);
        SpreadSteps = 20;
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
    RegisterFrame();
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintSummary();
    ReleaseRaster();
    return 0;
}
