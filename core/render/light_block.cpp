#include "core/render/light_block.h"

#include <cfloat>

#include "core/render/lanes.h"
#include "core/render/render_detail.h"

namespace lumivane::detail {

namespace {

// Round to nearest, ties to even, as lrint does. Where double arithmetic is done in
// double (not in the x87's wider registers), adding and taking away 1.5 x 2^52 leaves
// the nearest integer of any |value| below 2^51; larger values are never sure anyway,
// see below.
template <class Value> Value RoundNear(Value value) {
    if constexpr (FLT_EVAL_METHOD == 0) {
        constexpr double kShift = 6755399441055744.0;
        return (value + kShift) - kShift;
    } else {
        return std::rint(value);
    }
}

// The rule with each operation in double, in the order it is written, on a lane set's
// worth of samples. Channels of 3000 and more cannot come from bytes and a FastWeight;
// they are marked unsure, which keeps RoundNear within its range. |rounded| is limited
// to 255 (a NaN would give 255; it is never sure).
template <class Lanes> struct LitLanes {
    using F64 = typename Lanes::F64;
    F64 red;
    F64 green;
    F64 blue;
    int32_t sureBits; // bit i: lane i's result is sure
};

template <class Lanes, class F64 = typename Lanes::F64>
[[gnu::always_inline]] inline LitLanes<Lanes> LightLanes(F64 r, F64 g, F64 b, F64 weight) {
    constexpr double kPerNorm = 1.0 / 1.7;
    constexpr double kPerShare = 1.0 / 750.0;
    constexpr double kPerByte = 1.0 / 255.0;
    constexpr double kLargest = 3000.0;
    const F64 headroom = (441.0 - Lanes::Sqrt(r * r + g * g + b * b + 1.0)) * kPerNorm;
    const F64 share = headroom * kPerShare;
    const F64 lightRed = Lanes::Sqrt(share + r * kPerByte) * headroom;
    const F64 lightGreen = Lanes::Sqrt(share + g * kPerByte) * headroom;
    const F64 lightBlue = Lanes::Sqrt(share + b * kPerByte) * headroom;
    const F64 newRed = lightRed * weight + r + 0.05 * b;
    const F64 newGreen = lightGreen * weight + g + 0.05 * r;
    const F64 newBlue = lightBlue * weight + b - 0.05 * g;
    const F64 roundedRed = RoundNear(newRed);
    const F64 roundedGreen = RoundNear(newGreen);
    const F64 roundedBlue = RoundNear(newBlue);
    const F64 off =
        Larger(Larger(Lanes::Abs(newRed - roundedRed), Lanes::Abs(newGreen - roundedGreen)),
               Lanes::Abs(newBlue - roundedBlue));
    const F64 largest =
        Larger(Larger(Lanes::Abs(newRed), Lanes::Abs(newGreen)), Lanes::Abs(newBlue));
    const F64 limit = F64{} + 255.0;
    const auto limited = [&](F64 rounded) {
        const F64 magnitude = Lanes::Abs(rounded);
        return magnitude < limit ? magnitude : limit;
    };
    return {limited(roundedRed), limited(roundedGreen), limited(roundedBlue),
            Lanes::MaskBits((off < F64{} + kSureOff) & (largest < F64{} + kLargest))};
}

// Whole lane sets: the entries beyond count are as harmless as the rest.
template <class Lanes, size_t N>
[[gnu::always_inline]] inline void LightBlockBody(LightBlock<N>& block, size_t count) {
    using F64 = typename Lanes::F64;
    constexpr size_t kLanes = Lanes::kF64;
    static_assert(N % kLanes == 0);
    uint64_t sure = 0;
    for (size_t i = 0; i < count; i += kLanes) {
        const LitLanes<Lanes> lit =
            LightLanes<Lanes>(LoadLanes<F64>(&block.red[i]), LoadLanes<F64>(&block.green[i]),
                              LoadLanes<F64>(&block.blue[i]), LoadLanes<F64>(&block.weight[i]));
        StoreLanes(&block.litRed[i], Lanes::Truncate(lit.red));
        StoreLanes(&block.litGreen[i], Lanes::Truncate(lit.green));
        StoreLanes(&block.litBlue[i], Lanes::Truncate(lit.blue));
        sure |= static_cast<uint64_t>(lit.sureBits) << i;
    }
    block.sureBits = sure;
}

template <size_t N> using BlockLighter = void (*)(LightBlock<N>&, size_t);

#ifdef LUMIVANE_VECTOR_LANES
template <size_t N> [[gnu::flatten]] void LightBlockSse(LightBlock<N>& block, size_t count) {
    LightBlockBody<SseLanes>(block, count);
}
#endif

#ifdef LUMIVANE_AVX2_LANES
template <size_t N>
[[gnu::target("avx2"), gnu::flatten]] void LightBlockAvx(LightBlock<N>& block, size_t count) {
    LightBlockBody<AvxLanes>(block, count);
}
#endif

template <size_t N> void LightBlockSingle(LightBlock<N>& block, size_t count) {
    LightBlockBody<SingleLanes>(block, count);
}

template <size_t N> BlockLighter<N> BlockLighterHere() {
#ifdef LUMIVANE_AVX2_LANES
    if (HasAvx2()) {
        return LightBlockAvx<N>;
    }
#endif
#ifdef LUMIVANE_VECTOR_LANES
    return LightBlockSse<N>;
#else
    return LightBlockSingle<N>;
#endif
}

} // namespace

std::optional<Colour> LightOne(int32_t red, int32_t green, int32_t blue, double weight) {
    const LitLanes<SingleLanes> lit = LightLanes<SingleLanes, double>(red, green, blue, weight);
    if (lit.sureBits == 0) {
        return std::nullopt;
    }
    return Colour{SingleLanes::Truncate(lit.red), SingleLanes::Truncate(lit.green),
                  SingleLanes::Truncate(lit.blue)};
}

void LightBlockHere(LightBlock<kHandBlock>& block, size_t count) {
    BlockLighterHere<kHandBlock>()(block, count);
}

void LightBlockHere(LightBlock<kBeadBlock>& block, size_t count) {
    BlockLighterHere<kBeadBlock>()(block, count);
}

} // namespace lumivane::detail
