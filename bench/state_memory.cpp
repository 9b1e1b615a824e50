// The memory that ClockState's tables and the two image buffers take for the largest
// clock of a display (Size 50), as allocated by the portable code, in this build and,
// worked out from the same element counts, in the 32-bit program (long double 12 bytes,
// pointers and size_t 4 bytes).
#include <cstdio>
#include <memory>

#include "core/clock/clock_state.h"
#include "core/render/render.h"

namespace {

using lumivane::ClockState;

struct Bytes {
    double here = 0;
    double i686 = 0;
};

template <typename T> void Add(Bytes& total, const std::vector<T>& table, size_t i686Size) {
    total.here += static_cast<double>(table.capacity() * sizeof(T));
    total.i686 += static_cast<double>(table.capacity() * i686Size);
}

void Report(int32_t displayHeight) {
    ClockState state;
    state.Bright = 30;
    state.Contrast = 6;
    state.Size = 50;
    state.Algoritm = 0;
    state.StartCount = 2;
    const lumivane::Display display{displayHeight * 16 / 9, displayHeight};
    lumivane::DeriveStartupState(state, display, [] { return std::make_unique<lumivane::TDIB>(); });
    // One frame, so that what the renderers keep from frame to frame is counted too.
    lumivane::FillRingOffsets(state);
    lumivane::RenderChangedFrame(state);

    constexpr size_t kLongDouble32 = 12;
    Bytes dome;
    Add(dome, state.ShadingTable, kLongDouble32);
    Add(dome, state.DiscSpans, sizeof(lumivane::DiscSpan));
    Add(dome, state.DomeFactorHigh, 1);
    Add(dome, state.DomeFactorLow, 2);
    Add(dome, state.DomeFactorRows, 16);
    Bytes hands;
    for (const lumivane::HandSampleTable* table :
         {&state.HourSamples, &state.MinuteSamples, &state.SecondSamples}) {
        Add(hands, table->x, 2);
        Add(hands, table->y, 2);
    }
    const lumivane::HandWorkTables& work = state.HandWork;
    for (const auto* table : {&work.sampleRed, &work.sampleGreen, &work.sampleBlue}) {
        Add(hands, *table, 2);
    }
    for (const auto* table : {&work.shadedRed, &work.shadedGreen, &work.shadedBlue}) {
        Add(hands, *table, 4);
    }
    for (const lumivane::HandTaper& taper : state.HandTapers) {
        Add(hands, taper.factor, kLongDouble32);
    }
    for (const lumivane::HandProfile& profile : state.HandProfiles) {
        Add(hands, profile.weight, kLongDouble32);
        Add(hands, profile.weightFast, sizeof(double));
        Add(hands, profile.rowFast, 1);
    }
    // The last frame's background, kept to tell what changed.
    Bytes kept;
    Add(kept, state.LastFrame.background, 1);
    Add(kept, state.LastFrame.cover, 1);
    const double buffers = 2.0 * static_cast<double>(state.FrameBuffer->SizeImage());
    const double fixed = sizeof(ClockState);
    constexpr double kMiB = 1024.0 * 1024.0;
    std::printf("| %4d | %4d | %6.1f | %6.1f | %5.2f | %5.2f | %6.1f | %6.1f | %6.1f | %6.1f |\n",
                displayHeight, state.Diameter, dome.here / kMiB, dome.i686 / kMiB,
                hands.here / kMiB, hands.i686 / kMiB, buffers / kMiB, kept.here / kMiB,
                (dome.here + hands.here + buffers + kept.here + fixed) / kMiB,
                (dome.i686 + hands.i686 + buffers + kept.i686 + fixed) / kMiB);
}

} // namespace

int main() {
    std::printf(
        "| display height | Diameter | dome tables, MiB | (32-bit) | hand tables, MiB "
        "| (32-bit) | both buffers, MiB | last background, MiB | total, MiB | (32-bit) |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    for (int32_t height : {768, 1080, 2160, 4320}) {
        Report(height);
    }
    return 0;
}
