#pragma once
// Lanes for the per-pixel loops. Each loop's arithmetic is written once, as a template
// over a lane set, and is vector code by construction: it does not depend on the
// optimiser's judgement at -O2, -O3 or -Os. The lane sets: SSE2 (every x86 processor
// the program supports, the 32-bit program's baseline), AVX2 where the processor has it,
// and single values, which serve lone samples and compilers without vector types.
//
// A kernel instantiated for AvxLanes must be inlined into a function compiled for
// AVX2 (target "avx2" and flatten), so that its vectors never cross a call.
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__GNUC__) && (defined(__SSE2__) || defined(__x86_64__))
#include <immintrin.h>
#define LUMIVANE_VECTOR_LANES 1
// Not on Windows, where the compilers do not keep the stack aligned for 32-byte vectors,
// and not with clang, which will not pass them through a kernel that is inlined into an
// AVX2 function only after it has been checked alone.
#if defined(__x86_64__) && !defined(_WIN32) && !defined(__clang__)
#define LUMIVANE_AVX2_LANES 1
#endif
#endif

namespace lumivane::detail {

// One value at a time.
struct SingleLanes {
    using U16 = uint16_t;
    using F64 = double;
    static constexpr size_t kU16 = 1;
    static constexpr size_t kF64 = 1;

    static U16 LoadBytes(const uint8_t* bytes) { return bytes[0]; }
    static void StoreBytes(uint8_t* bytes, U16 value) { bytes[0] = static_cast<uint8_t>(value); }
    static U16 MulHigh(U16 a, U16 b) { return static_cast<U16>((uint32_t{a} * b) >> 16); }
    static bool Any(bool mask) { return mask; }
    static F64 Sqrt(F64 value) { return std::sqrt(value); }
    static F64 Abs(F64 value) { return std::fabs(value); }
    static int32_t Truncate(F64 value) { return static_cast<int32_t>(value); }
    static int32_t MaskBits(bool mask) { return mask ? 1 : 0; }
};

#ifdef LUMIVANE_VECTOR_LANES
using U16x8 = uint16_t __attribute__((vector_size(16)));
using U16x16 = uint16_t __attribute__((vector_size(32)));
using F64x2 = double __attribute__((vector_size(16)));
using F64x4 = double __attribute__((vector_size(32)));
using I64x2 = int64_t __attribute__((vector_size(16)));
using I64x4 = int64_t __attribute__((vector_size(32)));
using I32x2 = int32_t __attribute__((vector_size(8)));
using I32x4 = int32_t __attribute__((vector_size(16)));

struct SseLanes {
    using U16 = U16x8;
    using F64 = F64x2;
    static constexpr size_t kU16 = 8;
    static constexpr size_t kF64 = 2;

    static U16 LoadBytes(const uint8_t* bytes) {
        return reinterpret_cast<U16>(_mm_unpacklo_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes)), _mm_setzero_si128()));
    }
    // Every lane holds a byte value.
    static void StoreBytes(uint8_t* bytes, U16 value) {
        const __m128i wide = reinterpret_cast<__m128i>(value);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes), _mm_packus_epi16(wide, wide));
    }
    static U16 MulHigh(U16 a, U16 b) {
        return reinterpret_cast<U16>(
            _mm_mulhi_epu16(reinterpret_cast<__m128i>(a), reinterpret_cast<__m128i>(b)));
    }
    template <class Mask> static bool Any(Mask mask) {
        return _mm_movemask_epi8(reinterpret_cast<__m128i>(mask)) != 0;
    }
    static F64 Sqrt(F64 value) { return _mm_sqrt_pd(value); }
    static F64 Abs(F64 value) {
        return reinterpret_cast<F64>(reinterpret_cast<I64x2>(value) & INT64_MAX);
    }
    static I32x2 Truncate(F64 value) { return __builtin_convertvector(value, I32x2); }
    // Lane i of the result holds lane i's bit; the mask lanes are all ones or zeros.
    static int32_t MaskBits(I64x2 mask) { return _mm_movemask_pd(reinterpret_cast<F64>(mask)); }
};

#ifdef LUMIVANE_AVX2_LANES
struct AvxLanes {
    using U16 = U16x16;
    using F64 = F64x4;
    static constexpr size_t kU16 = 16;
    static constexpr size_t kF64 = 4;

    [[gnu::target("avx2")]] static U16 LoadBytes(const uint8_t* bytes) {
        return reinterpret_cast<U16>(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes))));
    }
    [[gnu::target("avx2")]] static void StoreBytes(uint8_t* bytes, U16 value) {
        const __m256i wide = reinterpret_cast<__m256i>(value);
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(wide, wide), 0xD8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), _mm256_castsi256_si128(packed));
    }
    [[gnu::target("avx2")]] static U16 MulHigh(U16 a, U16 b) {
        return reinterpret_cast<U16>(
            _mm256_mulhi_epu16(reinterpret_cast<__m256i>(a), reinterpret_cast<__m256i>(b)));
    }
    template <class Mask> [[gnu::target("avx2")]] static bool Any(Mask mask) {
        return _mm256_movemask_epi8(reinterpret_cast<__m256i>(mask)) != 0;
    }
    [[gnu::target("avx2")]] static F64 Sqrt(F64 value) { return _mm256_sqrt_pd(value); }
    [[gnu::target("avx2")]] static F64 Abs(F64 value) {
        return reinterpret_cast<F64>(reinterpret_cast<I64x4>(value) & INT64_MAX);
    }
    [[gnu::target("avx2")]] static I32x4 Truncate(F64 value) {
        return __builtin_convertvector(value, I32x4);
    }
    [[gnu::target("avx2")]] static int32_t MaskBits(I64x4 mask) {
        return _mm256_movemask_pd(reinterpret_cast<F64>(mask));
    }
};

// Whether this processor runs AvxLanes code.
inline bool HasAvx2() {
    return __builtin_cpu_supports("avx2");
}
#endif
#endif

// Lanes of values loaded from and stored to plain arrays.
template <class Lane> Lane LoadLanes(const void* from) {
    Lane lanes;
    std::memcpy(&lanes, from, sizeof lanes);
    return lanes;
}
template <class Lane> void StoreLanes(void* to, const Lane& lanes) {
    std::memcpy(to, &lanes, sizeof lanes);
}

// The larger of two values, as std::max: a when neither is less.
template <class Value> Value Larger(Value a, Value b) {
    return a < b ? b : a;
}

} // namespace lumivane::detail
