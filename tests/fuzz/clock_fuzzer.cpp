// libFuzzer target: registry values and a display -> ClockState -> frames, the
// way the program takes them (start-up, the settings window, a clock tick, a
// move of the size bar, the next tick).
//
// Input, little-endian; bytes past the end of a short input read as 0:
//   0..27  the seven stored values as int32: "Bright", "Size", "Algoritm",
//          "Contrast", "Left", "Top", "Start_1"
//   28     bit i (0..6): value i is missing, so start-up gives it its default;
//          bit 7: the settings key is absent
//   29..30 display width - 1
//   31..32 display height: 1 + (value mod 2200) for a tall display (byte 40,
//          bits 1 and 2), else 1 + (value mod 160): a tall display costs up to
//          a second per input, a small one milliseconds
//   33..35 hour, minute, second of the first tick (taken mod 24, 60, 60)
//   36..39 the size the settings window then sets, int32 (any value:
//          RecomputeGeometry must cope with whatever reaches it)
//   40     bit 0: draw a tick before the settings window as well, with the
//          values as loaded (as lumivane-render draws any values);
//          bits 1 and 2 both set: a tall display
//
// The height stops at 2200 pixels: it covers displays up to 4K (2160) and clocks
// well past 1001 and 2048 pixels, while an input still costs tens of MB and a
// few tens of ms. An 8640-pixel display needs over 1 GB and seconds per frame
// under the sanitizers; the unit tests draw that clock once.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/render/precision.h"
#include "tests/core/settings/extreme_startup.h"

namespace {

using namespace lumivane;
using namespace lumivane::extreme;

constexpr int32_t kHighestDisplay = 2200;
constexpr int32_t kHighestSmallDisplay = 160;

class InputReader {
  public:
    InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte(size_t at) const { return at < size_ ? data_[at] : 0; }
    uint16_t U16(size_t at) const { return static_cast<uint16_t>(Byte(at) | Byte(at + 1) << 8); }
    int32_t I32(size_t at) const {
        const uint32_t bits =
            static_cast<uint32_t>(Byte(at)) | static_cast<uint32_t>(Byte(at + 1)) << 8 |
            static_cast<uint32_t>(Byte(at + 2)) << 16 | static_cast<uint32_t>(Byte(at + 3)) << 24;
        int32_t value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

  private:
    const uint8_t* data_;
    size_t size_;
};

// A clock tick must draw exactly when the clock has a diameter; anything else is
// a fault worth stopping for.
void CheckedTick(ClockState& state, uint16_t hour, uint16_t minute, uint16_t second) {
    const bool drawn = DrawTick(state, hour, minute, second, true);
    if (drawn != (state.Diameter > 0)) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    UseExtendedPrecision();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const InputReader input(data, size);
    StoredSettings stored;
    const uint8_t missing = input.Byte(28);
    stored.keyPresent = (missing & 0x80) == 0;
    for (int i = 0; i < kStoredValueCount; ++i) {
        if ((missing >> i & 1) == 0) {
            stored.values[i] = input.I32(4 * static_cast<size_t>(i));
        }
    }
    const bool tall = (input.Byte(40) & 6) == 6;
    const Display display{input.U16(29) + 1,
                          input.U16(31) % (tall ? kHighestDisplay : kHighestSmallDisplay) + 1};
    const auto hour = static_cast<uint16_t>(input.Byte(33) % 24);
    const auto minute = static_cast<uint16_t>(input.Byte(34) % 60);
    const auto second = static_cast<uint16_t>(input.Byte(35) % 60);

    // Nothing may throw: a throw ends the run as a fault, with the input kept.
    ClockState state;
    StartClock(state, display, stored);
    if (state.Diameter > display.height) {
        __builtin_trap();
    }
    if ((input.Byte(40) & 1) != 0) {
        CheckedTick(state, hour, minute, second);
    }
    OpenBars(state, display.height);
    CheckedTick(state, hour, minute, second);

    SetBar(state, Bar::Size, input.I32(36), display.height);
    if (state.Diameter > display.height) {
        __builtin_trap();
    }
    CheckedTick(state, static_cast<uint16_t>((hour + 5) % 24),
                static_cast<uint16_t>((minute + 17) % 60),
                static_cast<uint16_t>((second + 31) % 60));
    return 0;
}
