#include "render/light_block.h"

#include <algorithm>
#include <cmath>

#include "render/render_detail.h"

namespace lumivane::detail {

namespace {

// Round to nearest, ties to even, as lrint does. Where double arithmetic is done in
// double (not in the x87's wider registers), adding and taking away 1.5 x 2^52 leaves
// the nearest integer of any |value| below 2^51 and works on whole vectors; larger
// values are never sure anyway, see below.
inline double RoundNear(double value) {
    if constexpr (FLT_EVAL_METHOD == 0) {
        constexpr double kShift = 6755399441055744.0;
        return (value + kShift) - kShift;
    } else {
        return std::rint(value);
    }
}

// |rounded| limited to 255 (a NaN gives 255; it is never sure).
inline int32_t LimitChannel(double rounded) {
    const double magnitude = std::fabs(rounded);
    return static_cast<int32_t>(magnitude < 255.0 ? magnitude : 255.0);
}

// The rule with each operation in double, in the order it is written. Channels of 3000
// and more cannot come from bytes and a FastWeight; they are marked unsure, which keeps
// RoundNear within its range.
template <size_t N>
[[gnu::always_inline]] inline void LightBlockBody(LightBlock<N>& block, size_t count) {
    constexpr double kPerNorm = 1.0 / 1.7;
    constexpr double kPerShare = 1.0 / 750.0;
    constexpr double kPerByte = 1.0 / 255.0;
    constexpr double kLargest = 3000.0;
    // Whole vectors of four: the entries beyond count are as harmless as the rest.
    const size_t lit = std::min((count + 3) / 4 * 4, N);
    for (size_t i = 0; i < lit; ++i) {
        const double r = block.red[i];
        const double g = block.green[i];
        const double b = block.blue[i];
        const double weight = block.weight[i];
        const double headroom = (441.0 - std::sqrt(r * r + g * g + b * b + 1.0)) * kPerNorm;
        const double share = headroom * kPerShare;
        const double lightRed = std::sqrt(share + r * kPerByte) * headroom;
        const double lightGreen = std::sqrt(share + g * kPerByte) * headroom;
        const double lightBlue = std::sqrt(share + b * kPerByte) * headroom;
        const double newRed = lightRed * weight + r + 0.05 * b;
        const double newGreen = lightGreen * weight + g + 0.05 * r;
        const double newBlue = lightBlue * weight + b - 0.05 * g;
        const double roundedRed = RoundNear(newRed);
        const double roundedGreen = RoundNear(newGreen);
        const double roundedBlue = RoundNear(newBlue);
        const double off =
            std::max(std::max(std::fabs(newRed - roundedRed), std::fabs(newGreen - roundedGreen)),
                     std::fabs(newBlue - roundedBlue));
        const double largest =
            std::max(std::max(std::fabs(newRed), std::fabs(newGreen)), std::fabs(newBlue));
        block.sure[i] =
            static_cast<int32_t>(off < kSureOff) & static_cast<int32_t>(largest < kLargest);
        block.litRed[i] = LimitChannel(roundedRed);
        block.litGreen[i] = LimitChannel(roundedGreen);
        block.litBlue[i] = LimitChannel(roundedBlue);
    }
}

template <size_t N> using BlockLighter = void (*)(LightBlock<N>&, size_t);

template <size_t N> void LightBlockPlain(LightBlock<N>& block, size_t count) {
    LightBlockBody(block, count);
}

#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
// The same code for processors with AVX2: vectors twice as wide. (Not on Windows, where
// the compilers do not keep the stack aligned for them.)
template <size_t N>
[[gnu::target("avx2")]] void LightBlockAvx2(LightBlock<N>& block, size_t count) {
    LightBlockBody(block, count);
}
#endif

template <size_t N> BlockLighter<N> BlockLighterHere() {
#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
    if (__builtin_cpu_supports("avx2")) {
        return LightBlockAvx2<N>;
    }
#endif
    return LightBlockPlain<N>;
}

} // namespace

std::optional<Colour> LightOne(int32_t red, int32_t green, int32_t blue, double weight) {
    LightBlock<1> block;
    block.red[0] = red;
    block.green[0] = green;
    block.blue[0] = blue;
    block.weight[0] = weight;
    LightBlockBody(block, 1);
    if (block.sure[0] == 0) {
        return std::nullopt;
    }
    return Colour{block.litRed[0], block.litGreen[0], block.litBlue[0]};
}

void LightBlockHere(LightBlock<kHandBlock>& block, size_t count) {
    BlockLighterHere<kHandBlock>()(block, count);
}

void LightBlockHere(LightBlock<kBeadBlock>& block, size_t count) {
    BlockLighterHere<kBeadBlock>()(block, count);
}

} // namespace lumivane::detail
