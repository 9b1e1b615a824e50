#pragma once
// ClockState: the one record every part of the clock reads and writes. The
// settings, what is derived from them, the time of the last tick, the two image
// buffers and the lookup tables the renderers use. Portable: no platform header.
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/clock/frame_memory.h"
#include "core/geometry.h"
#include "core/image/tdib.h"

namespace lumivane {

// The coordinates of one hand's samples, [row][column], frame pixels (16-bit).
struct HandSampleTable {
    int32_t columns = 0; // table row width: 21, 17 or 15
    std::vector<uint16_t> x;
    std::vector<uint16_t> y;

    int32_t Rows() const { return columns ? static_cast<int32_t>(x.size()) / columns : 0; }
    uint16_t& X(int32_t r, int32_t c) { return x[static_cast<size_t>(r) * columns + c]; }
    uint16_t& Y(int32_t r, int32_t c) { return y[static_cast<size_t>(r) * columns + c]; }
    uint16_t X(int32_t r, int32_t c) const { return x[static_cast<size_t>(r) * columns + c]; }
    uint16_t Y(int32_t r, int32_t c) const { return y[static_cast<size_t>(r) * columns + c]; }
};

// Per-sample scratch shared by the three hand renderers, [row][column] with 21 columns:
// the colour each sample reads and the colour it is lit to. (Their lighting weights
// are kept per hand, in HandProfile.)
struct HandWorkTables {
    static constexpr int32_t kColumns = 21;
    std::vector<uint16_t> sampleRed, sampleGreen, sampleBlue;
    std::vector<int32_t> shadedRed, shadedGreen, shadedBlue;

    static size_t At(int32_t r, int32_t c) { return static_cast<size_t>(r) * kColumns + c; }
};

// One hand's taper factors by sample row, valid for rows below `rows` of a hand of
// last row `length`.
struct HandTaper {
    int32_t length = 0;
    int32_t rows = 0;
    std::vector<long double> factor;
};

// One hand's lighting weights, [row][column] over the hand's own columns, kept from
// frame to frame together with their values in double: they change only with the
// hand's length and BrightFactor.
struct HandProfile {
    int32_t length = 0;
    int32_t rows = 0; // none yet
    int32_t columns = 0;
    long double bright = 0;
    std::vector<long double> weight;
    std::vector<double> weightFast;
    std::vector<uint8_t> rowFast; // every weight of the row is a FastWeight

    long double Weight(int32_t r, int32_t c) const {
        return weight[static_cast<size_t>(r) * static_cast<size_t>(columns) + c];
    }
};

// What a hand's sample positions depend on. The positions in the hand's table were
// placed for the HandPlacement kept with them; while it stays the same (the hour and
// minute hands move once a minute, the second hand once a second, and frames come
// several times a second), they need not be placed again.
struct HandPlacement {
    long double angle = 0;
    int32_t radius = -1; // none yet
    int32_t thickness = 0;
    int32_t algoritm = 0;
    int32_t length = 0;
    int32_t lastRow = -1;
    friend bool operator==(const HandPlacement&, const HandPlacement&) = default;
};

// Where the dial's 60 minute marks and 12 numerals lie, as (x, y) offsets from the
// centre, for the Radius and Thickness they were worked out for.
struct DialLayout {
    int32_t radius = -1; // none yet
    int32_t thickness = 0;
    std::array<std::array<int32_t, 2>, 60> marks{};
    std::array<std::array<int32_t, 2>, 12> anchors{};
};

// The columns of a row that lie on the dial disc; empty when first > last.
struct DiscSpan {
    int32_t first = 0;
    int32_t last = -1;
};

// Where the fixed-point dome factors of one quadrant row lie: pixel `first` of the
// frame row (and of its mirror image) has its three factors at `offset`.
struct DomeFactorRow {
    size_t offset = 0;
    int32_t first = 0;
    int32_t count = 0;  // pixels
    bool exact = false; // a factor outside 0..1: the row takes the extended rule
};

constexpr int32_t kRingCount = 6;      // rings 0..5, of which 0..3 are filled
constexpr int32_t kRingPositions = 41; // positions 0..40 on a ring

struct ClockState {
    // Settings, as stored.
    int32_t Bright = 0;
    int32_t Size = 0;
    int32_t Algoritm = 0;
    int32_t Contrast = 0;
    int32_t SavedLeft = 0;
    int32_t SavedTop = 0;
    int32_t StartCount = 0;
    int32_t HideFullScreen = 1; // 0: the clock stays over full-screen programs
    // The clock's label (UTF-8), lit into the dial below the hub; none when empty. Kept
    // as given: the dial shows what LabelDrawnText makes of it.
    std::string Label;

    // Derived from the settings.
    int32_t ScreenScale = 0;
    int32_t Diameter = 0;
    int32_t PrevDiameter = 0;
    uint16_t Radius = 0;
    int32_t Thickness = 0;
    int32_t HourHandLength = 0;
    int32_t MinuteHandLength = 0;
    int32_t SecondHandLength = 0;
    long double BrightFactor = 0;
    long double ContrastFactor = 0;

    // Time of day at the last clock tick.
    uint16_t Hour = 0;
    uint16_t Minute = 0;
    uint16_t Second = 0;

    // The copy of the screen under the window, and the composed frame.
    std::unique_ptr<TDIB> FrameBuffer;
    std::unique_ptr<TDIB> BackgroundBuffer;

    // Dome tables. The distance and the dome factor are the same in all four
    // quadrants around the centre, so one quadrant is kept: entry [i][j] serves
    // every pixel (a, b) with |2a - Diameter| / 2 == i and |2b - Diameter| / 2 == j.
    // The distances are not stored: Distance computes them when asked.
    int32_t QuadrantSide = 0; // entries per side of the allocated quadrant
    std::vector<long double> ShadingTable;
    // Which columns of each frame row lie on the disc (distance <= Radius).
    std::vector<DiscSpan> DiscSpans;
    // The dome factors again, as the dome pass reads them: for each quadrant row the
    // factors of a whole disc row, three to a pixel (one per channel), in fixed point
    // (RefreshDomeFactors). Derived from ShadingTable, which stays the reference.
    std::vector<uint8_t> DomeFactorHigh;
    std::vector<uint16_t> DomeFactorLow;
    std::vector<DomeFactorRow> DomeFactorRows; // [quadrant row]
    int32_t DomeFactorDiameter = 0;            // the Diameter they were made for; 0: none
    uint64_t DomeFactorGeneration = 0;         // counts the times they were made

    std::array<std::array<int32_t, kRingPositions>, kRingCount> RingOffsetX{};
    std::array<std::array<int32_t, kRingPositions>, kRingCount> RingOffsetY{};

    HandSampleTable HourSamples{21, {}, {}};
    HandSampleTable MinuteSamples{17, {}, {}};
    HandSampleTable SecondSamples{15, {}, {}};
    HandWorkTables HandWork;
    // The taper factor of each sample row of each hand (hour, minute, second), kept
    // from frame to frame: it depends on the hand's length only, and its cosine is the
    // dearest step of a row.
    std::array<HandTaper, 3> HandTapers;
    std::array<HandProfile, 3> HandProfiles;
    std::array<HandPlacement, 3> HandPlacements;
    // Kept from frame to frame likewise: the marks and numerals move only with Radius
    // and Thickness.
    DialLayout Layout;
    // The last frame's sources, for frames that redraw only what changed.
    FrameMemory LastFrame;

    // Quadrant index of frame column or row a for the current Diameter.
    int32_t QuadrantIndex(int32_t a) const {
        const int32_t twice = 2 * a - Diameter;
        return (twice < 0 ? -twice : twice) / 2;
    }
    // Offset of quadrant index i from the centre: the centre lies on a pixel for an
    // even Diameter and between two pixels for an odd one.
    long double QuadrantOffset(int32_t i) const {
        return (Diameter % 2 == 0) ? static_cast<long double>(i) : i + 0.5L;
    }
    long double Distance(int32_t x, int32_t y) const {
        const long double dy = QuadrantOffset(QuadrantIndex(y));
        const long double dx = QuadrantOffset(QuadrantIndex(x));
        return std::sqrt(dy * dy + dx * dx);
    }
    long double Shading(int32_t x, int32_t y) const {
        return ShadingTable[static_cast<size_t>(QuadrantIndex(y)) * QuadrantSide +
                            QuadrantIndex(x)];
    }
};

// Round to nearest, ties to even, of the exact quotient numerator / denominator
// (denominator > 0).
int64_t RoundQuotient(int64_t numerator, int64_t denominator);

// The clock tick's interval in ms for a clock size: 100, 200, 250, 500 or 1000.
int32_t FrameIntervalRule(int32_t size);
// How long after a tick read at `millisecond` of its second the next tick is due. Ticks
// come `interval` ms apart (at most 1000) from just after each turn of the second, as
// many as the interval fits into the second: one reads every new second, and a second
// never gets more ticks than the interval gives.
uint32_t NextTickDelay(uint32_t interval, uint32_t millisecond);

// Round(display height / 50): pixels per size step.
int32_t ScreenScaleFor(int32_t displayHeight);

// Size x ScreenScale, replaced by the display height when it reaches it.
int32_t DiameterFor(int32_t size, int32_t screenScale, int32_t displayHeight);

// First start: the default settings, the clock centred at the top of the display.
void ApplyFirstStartDefaults(ClockState& state, Display display);

// Everything start-up derives from the loaded settings, apart from the window:
// ScreenScale, the factors, Diameter, PrevDiameter, Thickness, Radius, the hand
// lengths, both buffers (created with `makeBuffer`, sized Diameter x Diameter,
// the frame black), the tables and the ring offsets.
void DeriveStartupState(ClockState& state, Display display,
                        const std::function<std::unique_ptr<TDIB>()>& makeBuffer);

// The buffers take Diameter x Diameter after it changed, and the frame turns black.
// PrevDiameter is taken first: a resize that fails (Error) is reported once, not on
// every frame.
void ResizeBuffers(ClockState& state);

// The renderers fill Diameter x Diameter pixels: nothing is drawn into buffers of
// another size (emptied by a size <= 0, or left by a failed resize).
bool BuffersFitDiameter(const ClockState& state);

// After Size changed: Diameter, Thickness, Radius, the dome tables and the hand
// lengths. Leaves PrevDiameter, the window and the buffers alone.
void RecomputeGeometry(ClockState& state, int32_t displayHeight);

// After Bright or Contrast changed (the caller has set the factor): the dome factors.
void RecomputeShading(ClockState& state);

// The fixed-point dome factors from ShadingTable. RecomputeShading ends with it; whoever
// writes ShadingTable by other means calls it before the next frame.
void RefreshDomeFactors(ClockState& state);

// The square rings of offsets around a bead's centre, rings 0 to 3.
void FillRingOffsets(ClockState& state);

// The next start count: one more, at most 2.
int32_t NextStartCount(int32_t startCount);

} // namespace lumivane
