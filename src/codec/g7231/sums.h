// Small helpers of the fast paths: plain sums that replace saturating ones
// once a bound has shown that no partial sum can leave the 32-bit range, the
// bounds themselves, and the SSE2 load the vector blocks share.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "codec/g7231/isa.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qm::g7231 {

// Plain dot product; the caller has proved that no partial sum overflows.
inline int32_t Dot(const int16_t* a, const int16_t* b, int n) {
    int32_t s = 0;
    for (int i = 0; i < n; ++i) s += int32_t{a[i]} * b[i];
    return s;
}

#if defined(__SSE2__)
// Eight 16-bit values from any address.
inline __m128i Load8(const int16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
#endif

// Exact sum of squares as a plain loop, which the compiler widens to 64
// bits per product; a caller that also loads the same values for other sums
// may share those loads with it.
inline int64_t LoopEnergy(const int16_t* a, int n) {
    int64_t s = 0;
    for (int i = 0; i < n; ++i) s += int32_t{a[i]} * a[i];
    return s;
}

#if defined(__SSE2__)
// Exact sum of squares by multiply-add pairs: a pair is at most
// 2 * 32768^2 = 2^31, which fits 32 bits read without sign, so each pair sum
// is zero-extended (the low and high halves of a 64-bit lane taken apart)
// and added in 64 bits.
inline int64_t PairEnergy(const int16_t* a, int n) {
    const __m128i low = _mm_set1_epi64x(0xffffffff);
    __m128i acc = _mm_setzero_si128();
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128i v = Load8(a + i);
        const __m128i m = _mm_madd_epi16(v, v);
        acc = _mm_add_epi64(acc, _mm_add_epi64(_mm_and_si128(m, low), _mm_srli_epi64(m, 32)));
    }
    int64_t lanes[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), acc);
    return lanes[0] + lanes[1] + LoopEnergy(a + i, n - i);
}
#endif

// Exact sum of squares, by pairs on the vector paths.
inline int64_t Energy(const int16_t* a, int n) {
#if defined(__SSE2__)
    if (ActiveIsa() != G7231Isa::Portable) return PairEnergy(a, n);
#endif
    return LoopEnergy(a, n);
}

// True when ea * eb < 2^60 for two energies (sums of squares). Then, by the
// Cauchy-Schwarz inequality, the sum of |a[i] b[i]| is below 2^30, so every
// partial sum of L_mult(a[i], b[i]) stays inside the 32-bit range and no
// product is the saturating -32768 * -32768.
// Energies are never negative, so a product past 2^63 is past 2^60 too; a
// multiplication, as a division per call costs tens of cycles.
inline bool MacSafe(int64_t ea, int64_t eb) {
    int64_t product;
    return !__builtin_mul_overflow(ea, eb, &product) && product < (int64_t{1} << 60);
}

inline int32_t AbsMax(const int16_t* a, int n) {
    int32_t m = 0;
    for (int i = 0; i < n; ++i) m = std::max(m, std::abs(int32_t{a[i]}));
    return m;
}

inline int32_t AbsSum(const int16_t* a, int n) {
    int32_t s = 0;
    for (int i = 0; i < n; ++i) s += std::abs(int32_t{a[i]});
    return s;
}

}  // namespace qm::g7231
