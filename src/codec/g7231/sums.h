// Small helpers of the fast paths: plain sums that replace saturating ones
// once a bound has shown that no partial sum can leave the 32-bit range, the
// bounds themselves, and the SSE2 load the vector blocks share.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

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

// Exact sum of squares.
inline int64_t Energy(const int16_t* a, int n) {
    int64_t s = 0;
    for (int i = 0; i < n; ++i) s += int32_t{a[i]} * a[i];
    return s;
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
