#include "core/clock/clock_state.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumivane {

int64_t RoundQuotient(int64_t numerator, int64_t denominator) {
    int64_t quotient = numerator / denominator;
    int64_t remainder = numerator % denominator;
    if (remainder < 0) { // floor division
        quotient -= 1;
        remainder += denominator;
    }
    const int64_t twice = 2 * remainder;
    if (twice > denominator || (twice == denominator && (quotient & 1) != 0)) {
        quotient += 1;
    }
    return quotient;
}

int32_t FrameIntervalRule(int32_t size) {
    if (size <= 15) {
        return 100;
    }
    if (size <= 20) {
        return 200;
    }
    if (size <= 25) {
        return 250;
    }
    if (size <= 30) {
        return 500;
    }
    return 1000;
}

uint32_t NextTickDelay(uint32_t interval, uint32_t millisecond) {
    // Late enough that the clock reads the new second, however its timer rounds.
    constexpr uint32_t kPastTheSecond = 5;
    interval = std::clamp<uint32_t>(interval, 1, 1000);
    millisecond = std::min<uint32_t>(millisecond, 999);
    // A tick due sooner than that after this one is this one, come a little late.
    const uint32_t soonest = millisecond + kPastTheSecond;
    uint32_t due = kPastTheSecond; // this second's first tick
    while (due < soonest) {
        // The next one in this second while a whole interval is left after it; else the
        // next second's first.
        due = due + 2 * interval <= 1000 + kPastTheSecond ? due + interval : 1000 + kPastTheSecond;
    }
    return due - millisecond;
}

int32_t ScreenScaleFor(int32_t displayHeight) {
    return static_cast<int32_t>(RoundQuotient(displayHeight, 50));
}

int32_t DiameterFor(int32_t size, int32_t screenScale, int32_t displayHeight) {
    // In 64 bits: a stored Size far out of range must not overflow the product.
    const int64_t product = static_cast<int64_t>(size) * screenScale;
    if (displayHeight <= product) {
        return displayHeight;
    }
    return static_cast<int32_t>(std::max<int64_t>(product, std::numeric_limits<int32_t>::min()));
}

void ApplyFirstStartDefaults(ClockState& state, Display display) {
    state.Bright = 30;
    state.Size = 19;
    state.Algoritm = 0;
    state.Contrast = 6;
    state.ScreenScale = ScreenScaleFor(display.height);
    state.Diameter = DiameterFor(state.Size, state.ScreenScale, display.height);
    // Round(W / 2 - Diameter / 2), halves to even: centred horizontally.
    state.SavedLeft = static_cast<int32_t>(
        RoundQuotient(static_cast<int64_t>(display.width) - state.Diameter, 2));
    state.SavedTop = 0;
}

namespace {

void DeriveSizes(ClockState& state) {
    const int32_t diameter = state.Diameter;
    state.Thickness = std::min(diameter / 100 + 1, 6);
    state.Radius = static_cast<uint16_t>(diameter / 2);
    const int64_t radius = state.Radius;
    const int64_t inset = 10 * static_cast<int64_t>(state.Thickness);
    state.HourHandLength = static_cast<int32_t>(RoundQuotient(radius * 11, 10) - inset);
    state.MinuteHandLength = static_cast<int32_t>(RoundQuotient(radius * 5, 4) - inset);
    state.SecondHandLength = static_cast<int32_t>(RoundQuotient(radius * 7, 5) - inset);
}

// Grows the tables so that the current Diameter and hand lengths fit; never shrinks,
// so changing the size back and forth allocates at most once per new maximum.
void EnsureCapacity(ClockState& state) {
    const int32_t diameter = std::max(state.Diameter, 0);
    const int32_t side = diameter / 2 + 1;
    if (side > state.QuadrantSide) {
        std::vector<long double> shading(static_cast<size_t>(side) * side, 0.0L);
        for (int32_t i = 0; i < state.QuadrantSide; ++i) {
            for (int32_t j = 0; j < state.QuadrantSide; ++j) {
                shading[static_cast<size_t>(i) * side + j] =
                    state.ShadingTable[static_cast<size_t>(i) * state.QuadrantSide + j];
            }
        }
        state.ShadingTable = std::move(shading);
        state.QuadrantSide = side;
    }
    if (static_cast<size_t>(diameter) > state.DiscSpans.size()) {
        state.DiscSpans.resize(static_cast<size_t>(diameter));
    }
    // Rows farther than Diameter + 1 from the root lie beyond every corner of the
    // frame, so they are never drawn; a Diameter of 0 or less draws nothing at all.
    // This bounds the tables when stored settings make the lengths absurd.
    const int32_t longest =
        std::max({state.HourHandLength, state.MinuteHandLength, state.SecondHandLength, 0});
    const int32_t rows = diameter > 0 ? std::min(longest, diameter + 1) + 1 : 0;
    for (HandSampleTable* hand : {&state.HourSamples, &state.MinuteSamples, &state.SecondSamples}) {
        if (rows > hand->Rows()) {
            hand->x.resize(static_cast<size_t>(rows) * hand->columns, 0);
            hand->y.resize(static_cast<size_t>(rows) * hand->columns, 0);
        }
    }
    for (HandTaper& taper : state.HandTapers) {
        if (static_cast<size_t>(rows) > taper.factor.size()) {
            taper.factor.resize(static_cast<size_t>(rows));
        }
    }
    HandWorkTables& work = state.HandWork;
    const size_t workEntries = static_cast<size_t>(rows) * HandWorkTables::kColumns;
    if (workEntries > work.sampleRed.size()) {
        work.sampleRed.resize(workEntries);
        work.sampleGreen.resize(workEntries);
        work.sampleBlue.resize(workEntries);
        work.shadedRed.resize(workEntries);
        work.shadedGreen.resize(workEntries);
        work.shadedBlue.resize(workEntries);
    }
}

void FillDiscSpans(ClockState& state) {
    const int64_t diameter = state.Diameter;
    const int64_t limit = 4 * static_cast<int64_t>(state.Radius) * state.Radius;
    for (int64_t y = 0; y < diameter; ++y) {
        // Twice the offsets from the centre are integers: (2x - D)^2 + (2y - D)^2 <= (2 Radius)^2
        // is exactly the test distance <= Radius.
        const int64_t dy = 2 * y - diameter;
        DiscSpan span;
        const int64_t room = limit - dy * dy;
        if (room >= 0) {
            int64_t t = static_cast<int64_t>(std::sqrt(static_cast<long double>(room)));
            while (t * t > room) {
                --t;
            }
            while ((t + 1) * (t + 1) <= room) {
                ++t;
            }
            if ((t - diameter) % 2 != 0) { // 2x - D has the parity of D
                --t;
            }
            if (t >= 0) {
                span.first = static_cast<int32_t>(std::max<int64_t>((diameter - t) / 2, 0));
                span.last =
                    static_cast<int32_t>(std::min<int64_t>((diameter + t) / 2, diameter - 1));
            }
        }
        state.DiscSpans[static_cast<size_t>(y)] = span;
    }
}

} // namespace

void RecomputeShading(ClockState& state) {
    const int32_t diameter = state.Diameter;
    if (diameter <= 0 || state.QuadrantSide == 0) {
        return;
    }
    const int32_t side = diameter / 2 + 1;
    const long double radius = state.Radius;
    for (int32_t i = 0; i < side; ++i) {
        const long double di = state.QuadrantOffset(i);
        for (int32_t j = 0; j < side; ++j) {
            const long double dj = state.QuadrantOffset(j);
            const long double distance = std::sqrt(di * di + dj * dj);
            if (distance <= radius) {
                state.ShadingTable[static_cast<size_t>(i) * state.QuadrantSide + j] =
                    1.0L - std::sqrt(1.0001L - distance / radius) * state.ContrastFactor *
                               state.BrightFactor;
            }
        }
    }
    RefreshDomeFactors(state);
}

void RefreshDomeFactors(ClockState& state) {
    state.DomeFactorDiameter = 0;
    ++state.DomeFactorGeneration;
    const int32_t diameter = state.Diameter;
    const int32_t side = diameter / 2 + 1;
    if (diameter <= 0 || state.QuadrantSide < side ||
        state.DiscSpans.size() < static_cast<size_t>(diameter)) {
        return;
    }
    // Quadrant row i is frame row Diameter / 2 - i and its mirror image; both have the
    // same span.
    state.DomeFactorRows.resize(static_cast<size_t>(side));
    size_t entries = 0;
    for (int32_t i = 0; i < side; ++i) {
        const DiscSpan span = state.DiscSpans[static_cast<size_t>(diameter / 2 - i)];
        const int32_t count = std::max(span.last - span.first + 1, 0);
        state.DomeFactorRows[static_cast<size_t>(i)] = {entries, span.first, count, false};
        entries += 3 * static_cast<size_t>(count);
    }
    if (entries > state.DomeFactorHigh.size()) {
        state.DomeFactorHigh.resize(entries);
        state.DomeFactorLow.resize(entries);
    }
    for (int32_t i = 0; i < side; ++i) {
        DomeFactorRow& row = state.DomeFactorRows[static_cast<size_t>(i)];
        const long double* factors =
            &state.ShadingTable[static_cast<size_t>(i) * state.QuadrantSide];
        uint8_t* high = state.DomeFactorHigh.data() + row.offset;
        uint16_t* low = state.DomeFactorLow.data() + row.offset;
        for (int32_t x = row.first; x < row.first + row.count; ++x) {
            const long double factor = factors[state.QuadrantIndex(x)];
            if (!(factor >= 0.0L && factor <= 1.0L)) {
                row.exact = true;
                break;
            }
            // floor(factor x 2^24), at most 2^24 - 1 so that the high part fits a byte;
            // it falls short of factor x 2^24 by at most 1. Scaling by 2^24 is exact.
            const auto fixed = std::min(static_cast<uint32_t>(factor * 16777216.0L), 0xFFFFFFu);
            for (int32_t channel = 0; channel < 3; ++channel) {
                *high++ = static_cast<uint8_t>(fixed >> 16);
                *low++ = static_cast<uint16_t>(fixed & 0xFFFF);
            }
        }
    }
    state.DomeFactorDiameter = diameter;
}

void RecomputeGeometry(ClockState& state, int32_t displayHeight) {
    state.Diameter = DiameterFor(state.Size, state.ScreenScale, displayHeight);
    DeriveSizes(state);
    EnsureCapacity(state);
    FillDiscSpans(state);
    RecomputeShading(state);
}

void FillRingOffsets(ClockState& state) {
    for (auto& ring : state.RingOffsetX) {
        ring.fill(0);
    }
    for (auto& ring : state.RingOffsetY) {
        ring.fill(0);
    }
    for (int32_t r = 1; r <= 3; ++r) {
        int32_t k = 0;
        auto put = [&](int32_t dx, int32_t dy) {
            state.RingOffsetX[r][k] = dx;
            state.RingOffsetY[r][k] = dy;
            ++k;
        };
        put(0, r); // straight below the centre
        for (int32_t i = 1; i <= r; ++i) {
            put(-i, r); // left along the bottom side
        }
        for (int32_t i = 1; i <= 2 * r; ++i) {
            put(-r, r - i); // up the left side
        }
        for (int32_t i = 1; i <= 2 * r; ++i) {
            put(-r + i, -r); // right along the top side
        }
        for (int32_t i = 1; i <= 2 * r; ++i) {
            put(r, -r + i); // down the right side
        }
        for (int32_t i = 1; i <= r - 1; ++i) {
            put(r - i, r); // back left along the bottom side
        }
    }
}

void DeriveStartupState(ClockState& state, Display display,
                        const std::function<std::unique_ptr<TDIB>()>& makeBuffer) {
    state.ScreenScale = ScreenScaleFor(display.height);
    state.ContrastFactor = state.Contrast / 30.0L;
    state.BrightFactor = state.Bright / 30.0L;
    state.Diameter = DiameterFor(state.Size, state.ScreenScale, display.height);
    state.PrevDiameter = state.Diameter;
    DeriveSizes(state);

    for (auto* buffer : {&state.FrameBuffer, &state.BackgroundBuffer}) {
        *buffer = makeBuffer();
        (*buffer)->SetBitCount(24);
        (*buffer)->SetSize(state.Diameter, state.Diameter);
    }

    EnsureCapacity(state);
    FillDiscSpans(state);
    RecomputeShading(state);

    state.FrameBuffer->Blacken();
    FillRingOffsets(state);
}

void ResizeBuffers(ClockState& state) {
    state.PrevDiameter = state.Diameter;
    for (TDIB* buffer : {state.FrameBuffer.get(), state.BackgroundBuffer.get()}) {
        buffer->SetSize(state.Diameter, state.Diameter);
    }
    state.FrameBuffer->Blacken();
}

bool BuffersFitDiameter(const ClockState& state) {
    for (const TDIB* buffer : {state.FrameBuffer.get(), state.BackgroundBuffer.get()}) {
        if (buffer == nullptr || buffer->Empty() || buffer->Width() != state.Diameter ||
            buffer->Height() != state.Diameter) {
            return false;
        }
    }
    return true;
}

int32_t NextStartCount(int32_t startCount) {
    return startCount >= 2 ? 2 : startCount + 1;
}

} // namespace lumivane
