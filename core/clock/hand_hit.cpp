#include "core/clock/hand_hit.h"

#include <algorithm>
#include <array>

namespace lumivane {

namespace {

// The part of each hand's sample tables that the cursor test covers.
struct HandRange {
    Hand hand;
    const HandSampleTable ClockState::*samples;
    const int32_t ClockState::*length; // index of the last row
    int32_t lastColumn;
};
constexpr std::array<HandRange, 3> kHandRanges{{
    {Hand::Hour, &ClockState::HourSamples, &ClockState::HourHandLength, 18},
    {Hand::Minute, &ClockState::MinuteSamples, &ClockState::MinuteHandLength, 14},
    {Hand::Second, &ClockState::SecondSamples, &ClockState::SecondHandLength, 10},
}};

} // namespace

std::optional<HandSampleHit> FindHandSample(const ClockState& state, int32_t u, int32_t v) {
    // No sample coordinate lies outside 0..65535.
    if (u < 0 || u > 0xFFFF || v < 0 || v > 0xFFFF) {
        return std::nullopt;
    }
    const auto x = static_cast<uint16_t>(u);
    const auto y = static_cast<uint16_t>(v);
    for (const HandRange& range : kHandRanges) {
        const HandSampleTable& table = state.*range.samples;
        const int32_t lastRow = std::min(state.*range.length, table.Rows() - 1);
        const int32_t lastColumn = std::min(range.lastColumn, table.columns - 1);
        for (int32_t row = 0; row <= lastRow; ++row) {
            const uint16_t* xs = table.x.data() + static_cast<size_t>(row) * table.columns;
            const uint16_t* ys = table.y.data() + static_cast<size_t>(row) * table.columns;
            for (int32_t column = 0; column <= lastColumn; ++column) {
                if (xs[column] == x && ys[column] == y) {
                    return HandSampleHit{range.hand, row, column};
                }
            }
        }
    }
    return std::nullopt;
}

void MarkHandSamples(const ClockState& state, int32_t width, int32_t height,
                     std::vector<uint8_t>& mask) {
    const int32_t w = std::max(width, 0);
    const int32_t h = std::max(height, 0);
    mask.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    for (const HandRange& range : kHandRanges) {
        const HandSampleTable& table = state.*range.samples;
        const int32_t lastRow = std::min(state.*range.length, table.Rows() - 1);
        const int32_t lastColumn = std::min(range.lastColumn, table.columns - 1);
        for (int32_t row = 0; row <= lastRow; ++row) {
            for (int32_t column = 0; column <= lastColumn; ++column) {
                const int32_t x = table.X(row, column);
                const int32_t y = table.Y(row, column);
                if (x < w && y < h) {
                    mask[static_cast<size_t>(y) * static_cast<size_t>(w) + x] = 1;
                }
            }
        }
    }
}

} // namespace lumivane
