// Fixed-point primitives of the G.723.1 encoder and decoder: saturating 16- and 32-bit
// arithmetic with the exact rounding, shifting and saturation behaviour the
// coded bytes depend on. Everything here is a pure function; the only error
// state (an operand outside a division's domain) is reported through a flag
// that the caller owns, so any number of encoders can run at once.
#pragma once

#include <cstdint>

namespace qm::g7231 {

constexpr int16_t kMax16 = 0x7fff;
constexpr int16_t kMin16 = -0x8000;
constexpr int32_t kMax32 = 0x7fffffff;
constexpr int32_t kMin32 = -0x7fffffff - 1;

inline int16_t Saturate(int32_t v) {
    if (v > kMax16) return kMax16;
    if (v < kMin16) return kMin16;
    return static_cast<int16_t>(v);
}

inline int16_t add(int16_t a, int16_t b) { return Saturate(int32_t{a} + b); }
inline int16_t sub(int16_t a, int16_t b) { return Saturate(int32_t{a} - b); }
// |a| capped at 32767 (only -32768 saturates), as a form that loops vectorise.
inline int16_t abs_s(int16_t a) {
    const int32_t m = a < 0 ? -int32_t{a} : int32_t{a};
    return static_cast<int16_t>(m < kMax16 ? m : kMax16);
}
inline int16_t negate(int16_t a) { return a == kMin16 ? kMax16 : int16_t(-a); }
inline int16_t extract_h(int32_t l) { return static_cast<int16_t>(l >> 16); }
inline int16_t extract_l(int32_t l) { return static_cast<int16_t>(l); }
inline int32_t L_deposit_h(int16_t a) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) << 16);
}
inline int32_t L_deposit_l(int16_t a) { return a; }

// Product scaled by 2^-15, truncated toward minus infinity; only
// -32768 * -32768 saturates.
inline int16_t mult(int16_t a, int16_t b) { return Saturate((int32_t{a} * b) >> 15); }
// The same product rounded to nearest (ties up).
inline int16_t mult_r(int16_t a, int16_t b) { return Saturate((int32_t{a} * b + 0x4000) >> 15); }
// Plain 16-bit product, saturated.
inline int16_t i_mult(int16_t a, int16_t b) { return Saturate(int32_t{a} * b); }

inline int16_t shr(int16_t a, int16_t n);
// Left shift; a negative count shifts right. Saturates when bits are lost.
inline int16_t shl(int16_t a, int16_t n) {
    if (n < 0) return shr(a, n < -16 ? int16_t(16) : int16_t(-n));
    if (a == 0) return 0;
    if (n > 15) return a > 0 ? kMax16 : kMin16;
    int32_t r = int32_t{a} * (int32_t{1} << n);
    if (r != static_cast<int16_t>(r)) return a > 0 ? kMax16 : kMin16;
    return static_cast<int16_t>(r);
}
// Arithmetic right shift (toward minus infinity); a negative count shifts left.
inline int16_t shr(int16_t a, int16_t n) {
    if (n < 0) return shl(a, n < -16 ? int16_t(16) : int16_t(-n));
    if (n >= 15) return a < 0 ? int16_t(-1) : int16_t(0);
    return static_cast<int16_t>(a >> n);
}
// Right shift with rounding (ties up).
inline int16_t shr_r(int16_t a, int16_t n) {
    if (n > 15) return 0;
    int16_t r = shr(a, n);
    if (n > 0 && (a & (1 << (n - 1))) != 0) r = static_cast<int16_t>(r + 1);
    return r;
}

inline int32_t L_add(int32_t a, int32_t b) {
    int32_t r;
    if (__builtin_add_overflow(a, b, &r)) return a < 0 ? kMin32 : kMax32;
    return r;
}
inline int32_t L_sub(int32_t a, int32_t b) {
    int32_t r;
    if (__builtin_sub_overflow(a, b, &r)) return a < 0 ? kMin32 : kMax32;
    return r;
}
inline int32_t L_negate(int32_t a) { return a == kMin32 ? kMax32 : -a; }
inline int32_t L_abs(int32_t a) { return a == kMin32 ? kMax32 : (a < 0 ? -a : a); }

// 2 * a * b; only -32768 * -32768 saturates.
inline int32_t L_mult(int16_t a, int16_t b) {
    int32_t p = int32_t{a} * b;
    return p == 0x40000000 ? kMax32 : p * 2;
}
inline int32_t L_mac(int32_t acc, int16_t a, int16_t b) { return L_add(acc, L_mult(a, b)); }
inline int32_t L_msu(int32_t acc, int16_t a, int16_t b) { return L_sub(acc, L_mult(a, b)); }

// Rounds a 32-bit value to its upper 16 bits (adds 2^15 with saturation first).
// Only values above 2^31 - 1 - 2^15 saturate, and they all give 32767, as
// that value does: so a clamp without a branch, which loops can vectorise.
inline int16_t round_l(int32_t l) {
    return extract_h((l < kMax32 - 0x8000 ? l : kMax32 - 0x8000) + 0x8000);
}

inline int32_t L_shr(int32_t l, int16_t n);
// Left shift with saturation; a negative count shifts right.
inline int32_t L_shl(int32_t l, int16_t n) {
    if (n <= 0) return L_shr(l, n < -32 ? int16_t(32) : int16_t(-n));
    if (l == 0) return 0;
    if (n >= 31) return l > 0 ? kMax32 : kMin32;
    int64_t r = int64_t{l} * (int64_t{1} << n);
    if (r > kMax32) return kMax32;
    if (r < kMin32) return kMin32;
    return static_cast<int32_t>(r);
}
// Arithmetic right shift; a negative count shifts left with saturation.
inline int32_t L_shr(int32_t l, int16_t n) {
    if (n < 0) return L_shl(l, n < -32 ? int16_t(32) : int16_t(-n));
    if (n >= 31) return l < 0 ? -1 : 0;
    return l >> n;
}

// Number of left shifts that normalise a (0 for 0, 15 for -1).
inline int16_t norm_s(int16_t a) {
    if (a == 0) return 0;
    if (a == -1) return 15;
    int32_t v = a < 0 ? ~int32_t{a} : int32_t{a};
    return static_cast<int16_t>(__builtin_clz(static_cast<uint32_t>(v)) - 17);
}
// Number of left shifts that normalise l (0 for 0, 31 for -1).
inline int16_t norm_l(int32_t l) {
    if (l == 0) return 0;
    if (l == -1) return 31;
    uint32_t v = static_cast<uint32_t>(l < 0 ? ~l : l);
    return static_cast<int16_t>(__builtin_clz(v) - 1);
}

// 32-bit value times a Q15 fraction, keeping 32 bits of the product.
inline int32_t L_mls(int32_t lv, int16_t v) {
    int32_t t = (lv & 0xffff) * int32_t{v};
    t = L_shr(t, 15);
    return L_mac(t, v, extract_h(lv));
}

// Fractional division num / den for 0 <= num <= den, den > 0, result in Q15.
// Outside that domain it sets `fault` and returns 0. The quotient is the one
// fifteen steps of restoring division give, floor(num 2^15 / den).
inline int16_t div_s(int16_t num, int16_t den, bool& fault) {
    if (num > den || num < 0 || den < 0 || den == 0) {
        fault = true;
        return 0;
    }
    if (num == den) return kMax16;
    return static_cast<int16_t>((int32_t{num} << 15) / den);
}

// Division of a non-negative 32-bit value by (den << 16), den > 0, result in
// Q15, saturating at 0x7fff. Outside that domain it sets `fault` and returns 0.
// Restoring division of num / 2 by (den << 16) / 2 over fifteen steps gives
// floor((num / 2) 2^15 / (den 2^15)), that is floor(floor(num / 2) / den).
inline int16_t div_l(int32_t num, int16_t den, bool& fault) {
    if (den <= 0 || num < 0) {
        fault = true;
        return 0;
    }
    if (num >= L_deposit_h(den)) return kMax16;
    return static_cast<int16_t>((num >> 1) / den);
}

// Square root of a non-negative 32-bit value read as Q31, in Q15: fourteen
// steps that keep each bit from 2^14 down to 2^1 when its square still fits.
inline int16_t sqrt_l(int32_t n) {
    int16_t r = 0;
    for (int16_t bit = 0x4000; bit > 1; bit = static_cast<int16_t>(bit >> 1)) {
        const int16_t t = add(r, bit);
        if (n >= L_mult(t, t)) r = t;
    }
    return r;
}

}  // namespace qm::g7231
