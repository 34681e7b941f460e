#include "zip/Crc32Folding.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace orvanpush::zip::detail {

#if defined(__x86_64__)

namespace {

// Powers of x modulo the bit-reflected polynomial, for folding a 128-bit lane across 512 bits
// (k1, k2) and 128 bits (k3, k4), reducing 96 bits to 64 (k5), and the Barrett reduction to
// 32 bits (the polynomial and its quotient mu). From "Fast CRC Computation for Generic
// Polynomials Using PCLMULQDQ Instruction" (Gopal et al., Intel, 2009).
alignas(16) constexpr std::uint64_t kFold512[2] = {0x0154442bd4, 0x01c6e41596};
alignas(16) constexpr std::uint64_t kFold128[2] = {0x01751997d0, 0x00ccaa009e};
alignas(16) constexpr std::uint64_t kFold64[2] = {0x0163cd6124, 0};
alignas(16) constexpr std::uint64_t kBarrett[2] = {0x01db710641, 0x01f7011641};

#define ORVANPUSH_FOLDING_TARGET __attribute__((target("pclmul,sse4.1")))

ORVANPUSH_FOLDING_TARGET inline __m128i load(const std::uint8_t* bytes) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

ORVANPUSH_FOLDING_TARGET inline __m128i constants(const std::uint64_t* pair) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(pair));
}

// `lane` multiplied forward by the distance the constants stand for, added to `next`.
ORVANPUSH_FOLDING_TARGET inline __m128i fold(__m128i lane, __m128i keys, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(lane, keys, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, keys, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

}  // namespace

bool canFoldCrc32() noexcept {
    static const bool supported =
        __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return supported;
}

ORVANPUSH_FOLDING_TARGET std::uint32_t foldCrc32(const std::uint8_t* bytes, std::size_t length,
                                                 std::uint32_t state) noexcept {
    __m128i lanes[4] = {load(bytes), load(bytes + 16), load(bytes + 32), load(bytes + 48)};
    lanes[0] = _mm_xor_si128(lanes[0], _mm_cvtsi32_si128(static_cast<int>(state)));
    bytes += 64;
    length -= 64;

    // Four lanes, 64 bytes at a time.
    const __m128i fold512 = constants(kFold512);
    for (; length >= 64; bytes += 64, length -= 64) {
        for (int lane = 0; lane < 4; ++lane) {
            lanes[lane] = fold(lanes[lane], fold512, load(bytes + 16 * lane));
        }
    }

    // Into one lane, then 16 bytes at a time.
    const __m128i fold128 = constants(kFold128);
    __m128i value = fold(lanes[0], fold128, lanes[1]);
    value = fold(value, fold128, lanes[2]);
    value = fold(value, fold128, lanes[3]);
    for (; length >= 16; bytes += 16, length -= 16) {
        value = fold(value, fold128, load(bytes));
    }

    // 128 bits to 64.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    value = _mm_xor_si128(_mm_srli_si128(value, 8), _mm_clmulepi64_si128(value, fold128, 0x10));
    const __m128i fold64 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kFold64));
    value = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(value, low32), fold64, 0x00),
                          _mm_srli_si128(value, 4));

    // Barrett reduction to 32 bits.
    const __m128i barrett = constants(kBarrett);
    __m128i quotient = _mm_clmulepi64_si128(_mm_and_si128(value, low32), barrett, 0x10);
    quotient = _mm_clmulepi64_si128(_mm_and_si128(quotient, low32), barrett, 0x00);
    value = _mm_xor_si128(value, quotient);
    return static_cast<std::uint32_t>(_mm_extract_epi32(value, 1));
}

#undef ORVANPUSH_FOLDING_TARGET

#else

bool canFoldCrc32() noexcept {
    return false;
}

std::uint32_t foldCrc32(const std::uint8_t*, std::size_t, std::uint32_t state) noexcept {
    return state;
}

#endif

}  // namespace orvanpush::zip::detail
