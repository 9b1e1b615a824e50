#pragma once
// The lighting rule (ShadePixel) in double for a block of samples side by side, lit in
// vector lanes (core/render/lanes.h). A sample whose result is not sure is lit again by the
// caller with the rule as written.
#include <array>
#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/render/render.h"

namespace lumivane::detail {

template <size_t N> struct LightBlock {
    // In: each sample's colour bytes and its weight (a FastWeight, in double).
    alignas(16) std::array<double, N> red{}; // bytes, and so are the unused entries
    alignas(16) std::array<double, N> green{};
    alignas(16) std::array<double, N> blue{};
    alignas(16) std::array<double, N> weight{};
    // Out: the lit channels, and bit i clear where sample i's may differ from the rule
    // as written.
    std::array<int32_t, N> litRed{};
    std::array<int32_t, N> litGreen{};
    std::array<int32_t, N> litBlue{};
    uint64_t sureBits = 0;
    static_assert(N <= 64);
};

// The sizes in use: a stretch of a hand's samples, and a bead (up to 49 samples);
// whole sets of lanes.
inline constexpr size_t kHandBlock = 64;
inline constexpr size_t kBeadBlock = 52;

// One sample of bytes and a FastWeight; nothing where the result is not sure.
std::optional<Colour> LightOne(int32_t red, int32_t green, int32_t blue, double weight);

// Lights the first `count` samples of the block (and perhaps a few more, up to N).
void LightBlockHere(LightBlock<kHandBlock>& block, size_t count);
void LightBlockHere(LightBlock<kBeadBlock>& block, size_t count);

// Samples gathered until a block is full, then lit together. Each carries a tag that
// tells the caller where its result goes.
template <size_t N> class SampleBatch {
  public:
    bool Full() const { return count_ == N; }

    // `fast`: the weight is a FastWeight. Samples with other weights are lit by the
    // rule as written (Flush hands them over without a result).
    void Add(int32_t red, int32_t green, int32_t blue, double weight, bool fast, uint32_t tag) {
        block_.red[count_] = red;
        block_.green[count_] = green;
        block_.blue[count_] = blue;
        block_.weight[count_] = fast ? weight : 0.0;
        fast_[count_] = fast;
        tags_[count_] = tag;
        ++count_;
    }

    // Lights the samples added since the last flush and calls done(tag, lit) for each
    // in the order they were added, lit being null where the result is not sure.
    template <class Done> void Flush(Done&& done) {
        if (count_ == 0) {
            return;
        }
        LightBlockHere(block_, count_);
        for (size_t i = 0; i < count_; ++i) {
            if (fast_[i] && (block_.sureBits >> i & 1) != 0) {
                const Colour lit{block_.litRed[i], block_.litGreen[i], block_.litBlue[i]};
                done(tags_[i], &lit);
            } else {
                done(tags_[i], nullptr);
            }
        }
        count_ = 0;
    }

  private:
    LightBlock<N> block_;
    std::array<bool, N> fast_{};
    std::array<uint32_t, N> tags_{};
    size_t count_ = 0;
};

} // namespace lumivane::detail
