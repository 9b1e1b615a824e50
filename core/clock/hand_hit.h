#pragma once
// The cursor test of the clock window: is a frame pixel under one of the hands'
// samples of the frame drawn last? Portable, so that it can be tested and timed
// without a window.
#include <cstdint>
#include <optional>
#include <vector>

#include "core/clock/clock_state.h"

namespace lumivane {

enum class Hand : int32_t { Hour, Minute, Second };

struct HandSampleHit {
    Hand hand = Hand::Hour;
    int32_t row = 0;
    int32_t column = 0;
    friend bool operator==(const HandSampleHit&, const HandSampleHit&) = default;
};

// The first sample at frame pixel (u, v), searching the hour, minute and second
// hands in turn, each row by row and within a row column by column; nothing when no
// sample lies there.
std::optional<HandSampleHit> FindHandSample(const ClockState& state, int32_t u, int32_t v);

// Every pixel of a width x height frame at which FindHandSample finds a sample, as one
// byte per pixel, rows top to bottom (1: a sample lies there): the whole area that grabs
// the clock, for a platform that is told it at once rather than asked pixel by pixel.
void MarkHandSamples(const ClockState& state, int32_t width, int32_t height,
                     std::vector<uint8_t>& mask);

} // namespace lumivane
