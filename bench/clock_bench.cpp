// Timings of the clock's work: each renderer pass on its own, the whole frame next to
// a plain copy of the same number of pixels, the table recomputations behind the
// settings window's track bars, and the cursor test that runs every 30 ms.
//
// Every clock uses the first-start settings (Bright 30, Contrast 6, Algoritm 0) over a
// noise desktop, at 10:10:30 so that the hands lie apart.
#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/clock/clock_state.h"
#include "core/clock/hand_hit.h"
#include "core/render/precision.h"
#include "core/render/render.h"

namespace {

using lumivane::ClockState;
using lumivane::TDIB;

constexpr int64_t kDiameters[] = {95, 285, 500, 750, 1000, 2160};

// Noise, so that no pass profits from repeated colours.
void FillNoise(TDIB& buffer) {
    uint32_t seed = 20261207;
    for (int32_t y = 0; y < buffer.Height(); ++y) {
        uint8_t* row = buffer.Row(y);
        for (int32_t x = 0; x < 3 * buffer.Width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            row[x] = static_cast<uint8_t>(seed >> 24);
        }
    }
}

std::unique_ptr<ClockState> MakeClock(int32_t diameter) {
    auto state = std::make_unique<ClockState>();
    state->Bright = 30;
    state->Contrast = 6;
    state->Algoritm = 0;
    state->BrightFactor = state->Bright / 30.0L;
    state->ContrastFactor = state->Contrast / 30.0L;
    state->Size = diameter;
    state->ScreenScale = 1;
    lumivane::RecomputeGeometry(*state, diameter + 1);
    state->PrevDiameter = state->Diameter;
    for (auto* buffer : {&state->FrameBuffer, &state->BackgroundBuffer}) {
        *buffer = std::make_unique<TDIB>();
        (*buffer)->SetBitCount(24);
        (*buffer)->SetSize(diameter, diameter);
        std::memset((*buffer)->Row(diameter - 1), 0, (*buffer)->SizeImage());
    }
    FillNoise(*state->BackgroundBuffer);
    lumivane::FillRingOffsets(*state);
    state->Hour = 10;
    state->Minute = 10;
    state->Second = 30;
    return state;
}

// A clock with its frame as each pass finds it.
struct BenchClock {
    std::unique_ptr<ClockState> state;
    std::vector<uint8_t> afterDome; // the frame's bytes when the beads start
    std::vector<uint8_t> afterDial; // ... and when the hands start
};

std::vector<uint8_t> Snapshot(TDIB& frame) {
    const uint8_t* bytes = frame.Row(frame.Height() - 1);
    return {bytes, bytes + frame.SizeImage()};
}

void Restore(TDIB& frame, const std::vector<uint8_t>& snapshot) {
    std::memcpy(frame.Row(frame.Height() - 1), snapshot.data(), snapshot.size());
}

// One clock per diameter, made on first use and kept: a 2160-pixel clock takes a while
// to set up.
BenchClock& Clock(int64_t diameter) {
    static std::map<int64_t, BenchClock> clocks;
    BenchClock& clock = clocks[diameter];
    if (!clock.state) {
        clock.state = MakeClock(static_cast<int32_t>(diameter));
        ClockState& state = *clock.state;
        lumivane::ShadeDialDome(state);
        clock.afterDome = Snapshot(*state.FrameBuffer);
        lumivane::DrawMinuteMarks(state);
        lumivane::DrawNumerals(state);
        clock.afterDial = Snapshot(*state.FrameBuffer);
        lumivane::DrawHourHand(state);
        lumivane::DrawMinuteHand(state);
        lumivane::DrawSecondHand(state);
    }
    return clock;
}

void SetPixelCounter(benchmark::State& run, int64_t diameter) {
    run.counters["px"] = benchmark::Counter(static_cast<double>(diameter * diameter),
                                            benchmark::Counter::kIsIterationInvariantRate);
}

// The least a frame must do: read every background pixel and write a frame pixel.
void CopyFrame(ClockState& state) {
    TDIB& from = *state.BackgroundBuffer;
    TDIB& to = *state.FrameBuffer;
    const size_t bytes = 3 * static_cast<size_t>(from.Width());
    for (int32_t y = 0; y < from.Height(); ++y) {
        std::memcpy(to.Row(y), from.Row(y), bytes);
    }
    benchmark::ClobberMemory();
}

// A pass that lights the frame in place starts every iteration from the frame it
// would find in a real frame (restored with the timer stopped): lighting the same
// pixels again and again would make their colours repeat.
template <void (*Pass)(ClockState&)>
void BM_Pass(benchmark::State& run, const std::vector<uint8_t> BenchClock::*before) {
    BenchClock& clock = Clock(run.range(0));
    ClockState& state = *clock.state;
    for (auto _ : run) {
        if (before != nullptr) {
            run.PauseTiming();
            Restore(*state.FrameBuffer, clock.*before);
            run.ResumeTiming();
        }
        Pass(state);
        benchmark::ClobberMemory();
    }
}

void BM_Dome(benchmark::State& run) {
    BM_Pass<lumivane::ShadeDialDome>(run, nullptr);
    SetPixelCounter(run, run.range(0));
}
void BM_MinuteMarks(benchmark::State& run) {
    BM_Pass<lumivane::DrawMinuteMarks>(run, &BenchClock::afterDome);
}
void BM_Numerals(benchmark::State& run) {
    BM_Pass<lumivane::DrawNumerals>(run, &BenchClock::afterDome);
}
void BM_HourHand(benchmark::State& run) {
    BM_Pass<lumivane::DrawHourHand>(run, &BenchClock::afterDial);
}
void BM_MinuteHand(benchmark::State& run) {
    BM_Pass<lumivane::DrawMinuteHand>(run, &BenchClock::afterDial);
}
void BM_SecondHand(benchmark::State& run) {
    BM_Pass<lumivane::DrawSecondHand>(run, &BenchClock::afterDial);
}

void BM_Copy(benchmark::State& run) {
    ClockState& state = *Clock(run.range(0)).state;
    for (auto _ : run) {
        CopyFrame(state);
    }
    SetPixelCounter(run, run.range(0));
}

// Processor time of this process in seconds: the machine is shared, so wall time would
// count the other programs' turns.
double ProcessorSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// The copy baseline taken right after a timed loop, in the same run and for as many
// iterations: x_copy is how many copies one frame costs.
void CountCopies(benchmark::State& run, ClockState& state, double frameSeconds) {
    const double copyStart = ProcessorSeconds();
    for (benchmark::IterationCount i = 0; i < run.iterations(); ++i) {
        CopyFrame(state);
    }
    run.counters["x_copy"] = frameSeconds / (ProcessorSeconds() - copyStart);
    SetPixelCounter(run, run.range(0));
}

// The whole frame, and beside it the copy baseline.
void BM_Frame(benchmark::State& run) {
    ClockState& state = *Clock(run.range(0)).state;
    const double frameStart = ProcessorSeconds();
    for (auto _ : run) {
        lumivane::RenderFrame(state);
        benchmark::ClobberMemory();
    }
    CountCopies(run, state, ProcessorSeconds() - frameStart);
}

// A frame over the same background as the last one with the second hand one step on,
// drawn by RenderChangedFrame: the clock on a still desktop.
void BM_FrameStillBackground(benchmark::State& run) {
    ClockState& state = *Clock(run.range(0)).state;
    lumivane::RenderChangedFrame(state);
    const double frameStart = ProcessorSeconds();
    for (auto _ : run) {
        state.Second = static_cast<uint16_t>((state.Second + 1) % 60);
        lumivane::RenderChangedFrame(state);
        benchmark::ClobberMemory();
    }
    CountCopies(run, state, ProcessorSeconds() - frameStart);
    state.Second = 30;
    lumivane::RenderFrame(state);
}

// The whole frame when every hand has moved since the last one (a new minute): the
// sample positions are placed anew. BM_Frame draws the same time again, as the clock
// does between the ticks of its second hand, and keeps them.
void BM_FrameHandsMoved(benchmark::State& run) {
    ClockState& state = *Clock(run.range(0)).state;
    for (auto _ : run) {
        state.Minute = static_cast<uint16_t>((state.Minute + 1) % 60);
        state.Second = static_cast<uint16_t>((state.Second + 1) % 60);
        lumivane::RenderFrame(state);
        benchmark::ClobberMemory();
    }
    state.Minute = 10;
    state.Second = 30;
    lumivane::RenderFrame(state);
}

void BM_RecomputeGeometry(benchmark::State& run) {
    ClockState& state = *Clock(run.range(0)).state;
    for (auto _ : run) {
        lumivane::RecomputeGeometry(state, state.Size + 1);
        benchmark::ClobberMemory();
    }
}

void BM_RecomputeShading(benchmark::State& run) {
    ClockState& state = *Clock(run.range(0)).state;
    for (auto _ : run) {
        lumivane::RecomputeShading(state);
        benchmark::ClobberMemory();
    }
}

// The cursor over the dial but on no hand: the whole search runs. (1, 1) lies off the
// disc, and every hand sample lies well inside it.
void BM_CursorTest(benchmark::State& run) {
    ClockState& state = *Clock(run.range(0)).state;
    for (auto _ : run) {
        auto hit = lumivane::FindHandSample(state, 1, 1);
        benchmark::DoNotOptimize(hit);
    }
}

void Sizes(benchmark::internal::Benchmark* bench) {
    bench->ArgName("Diameter")->Unit(benchmark::kMicrosecond);
    for (int64_t diameter : kDiameters) {
        bench->Arg(diameter);
    }
}

BENCHMARK(BM_Copy)->Apply(Sizes);
BENCHMARK(BM_Frame)->Apply(Sizes);
BENCHMARK(BM_FrameHandsMoved)->Apply(Sizes);
BENCHMARK(BM_FrameStillBackground)->Apply(Sizes);
BENCHMARK(BM_Dome)->Apply(Sizes);
BENCHMARK(BM_MinuteMarks)->Apply(Sizes);
BENCHMARK(BM_Numerals)->Apply(Sizes);
BENCHMARK(BM_HourHand)->Apply(Sizes);
BENCHMARK(BM_MinuteHand)->Apply(Sizes);
BENCHMARK(BM_SecondHand)->Apply(Sizes);
BENCHMARK(BM_RecomputeGeometry)->Apply(Sizes);
BENCHMARK(BM_RecomputeShading)->Apply(Sizes);
BENCHMARK(BM_CursorTest)->Apply(Sizes);

} // namespace

// Without arguments of its own the run repeats every benchmark and reports the
// median: the machine is shared and single timings are noisy.
int main(int argc, char** argv) {
    lumivane::UseExtendedPrecision();
    std::vector<char*> arguments(argv, argv + argc);
    bool repetitionsGiven = false;
    for (int i = 1; i < argc; ++i) {
        repetitionsGiven |= std::string(argv[i]).starts_with("--benchmark_repetitions");
    }
    std::string repetitions = "--benchmark_repetitions=5";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    if (!repetitionsGiven) {
        arguments.push_back(repetitions.data());
        arguments.push_back(aggregates.data());
    }
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
