// The ten-tap filters that run over one subframe: the LPC synthesis filter,
// the zero and pole parts of the formant weighting filter, in the encoder's
// weighting, impulse response, ringing and memory update, and in the
// decoder's synthesis. Coefficients are in Q13, samples in Q0, accumulators
// hold a sample in their upper bits (Q16) before the final shift.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/isa.h"
#include "codec/g7231/sums.h"

#if QM_G7231_HAS_AVX2
#include <immintrin.h>
#endif

namespace qm::g7231 {

// Twice the sum of |coefficient| of a filter, the factor of its bound; with
// the shortcuts off, a value so large that every bound fails.
inline int64_t TwiceAbsSum(const int16_t* a, bool fast) {
    return fast ? 2 * int64_t{AbsSum(a, kLpcOrder)} : int64_t{1} << 40;
}

// The bound factors of the three filters of a subframe: synthesis (a_Q13),
// and the zero and pole halves of the formant weighting filter (w_Q13).
struct FilterSums {
    int64_t synthesis, zero, pole;
    FilterSums(const int16_t* a_Q13, const int16_t* w_Q13, bool fast)
        : synthesis(TwiceAbsSum(a_Q13, fast)),
          zero(TwiceAbsSum(w_Q13, fast)),
          pole(TwiceAbsSum(w_Q13 + kLpcOrder, fast)) {}
};

// The filters of a subframe run as passes over all 60 samples, each pass
// continuing every sample's accumulator in the same order of operations as
// one sample-by-sample loop would (so saturation acts at the same points).
// Only the recursive parts need a sample-by-sample loop; the zero part
// works on values known in advance.

// round_l(L_shl(acc, 2)) without branches: when 4 acc is out of range both
// give the nearer end, otherwise the same rounding.
inline int16_t RoundShl2(int32_t acc) {
    const int64_t r = (int64_t{acc} * 4 + 0x8000) >> 16;
    return static_cast<int16_t>(std::clamp<int64_t>(r, kMin16, kMax16));
}

// The largest |acc[i]| of a subframe, from the 32-bit extremes (a loop the
// compiler vectorises; |INT32_MIN| needs the 64-bit result).
inline int64_t AccAbsMax(const int32_t* acc) {
    int32_t lo = 0, hi = 0;
    for (int i = 0; i < kSubFrame; ++i) {
        lo = std::min(lo, acc[i]);
        hi = std::max(hi, acc[i]);
    }
    return std::max(int64_t{hi}, -int64_t{lo});
}

// The delay line `line` (newest first) as the head of a pass buffer (oldest first).
inline void LineToBuffer(const int16_t* line, int16_t* x) {
    for (int j = 0; j < kLpcOrder; ++j) x[kLpcOrder - 1 - j] = line[j];
}

// p[m] = sum over k < 6 - m of r[k] x[m + k] for m = 0..3 (reads x[0..5]):
// the taps of outputs x[10..13] over the values before the four outputs
// that precede them, with r the ten coefficients oldest tap first (with
// SSE2 when `vector`). The sums are taken modulo 2^32: exact when the
// caller's bound holds.
QM_G7231_BODY void OlderTaps(const int16_t* r, const int16_t* x, int32_t* p, bool vector) {
#if defined(__SSE2__)
    if (vector) {
        // x[0..5] and zeros in one register, loaded without touching x[6..9],
        // which were stored just now (a load across them would stall).
        int32_t x45;
        std::memcpy(&x45, x + 4, sizeof(x45));
        const __m128i v = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(x)),
                                             _mm_cvtsi32_si128(x45));
        // Lane m of pair q multiplies x[m + 2q], x[m + 2q + 1] by r[2q], r[2q + 1].
        const __m128i r01 = _mm_set1_epi32(int32_t{static_cast<uint16_t>(r[0])} |
                                           int32_t{static_cast<uint16_t>(r[1])} << 16);
        const __m128i r23 = _mm_set1_epi32(int32_t{static_cast<uint16_t>(r[2])} |
                                           int32_t{static_cast<uint16_t>(r[3])} << 16);
        const __m128i r45 = _mm_set1_epi32(int32_t{static_cast<uint16_t>(r[4])} |
                                           int32_t{static_cast<uint16_t>(r[5])} << 16);
        const __m128i v1 = _mm_srli_si128(v, 2);
        __m128i s = _mm_madd_epi16(_mm_unpacklo_epi16(v, v1), r01);
        s = _mm_add_epi32(
            s, _mm_madd_epi16(_mm_unpacklo_epi16(_mm_srli_si128(v, 4), _mm_srli_si128(v, 6)), r23));
        s = _mm_add_epi32(
            s,
            _mm_madd_epi16(_mm_unpacklo_epi16(_mm_srli_si128(v, 8), _mm_srli_si128(v, 10)), r45));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), s);
        return;
    }
#endif
    for (int m = 0; m < 4; ++m) {
        uint32_t s = 0;
        for (int k = 0; k < 6 - m; ++k) s += static_cast<uint32_t>(int32_t{r[k]} * x[m + k]);
        p[m] = static_cast<int32_t>(s);
    }
}

// Recursive part, a ten-tap all-pole filter: acc[i] += 2 sum a[j] line[j],
// then round(acc[i] << 2) enters the delay line (newest first) and goes to
// out[i]. `twice_abs` is 2 sum |a| (see TwiceAbsSum).
QM_G7231_BODY void PolePassBody(int32_t* acc, const int16_t* a, int16_t* line_io, int64_t twice_abs,
                                int16_t* out, bool vector) {
    // The delay line as a history that only grows (oldest first, then each
    // output): no values move per sample, and x = buf + i gives line[j] as
    // x[9 - j]. A local array: stores to `out` cannot alias it.
    int16_t buf[kLpcOrder + kSubFrame];
    LineToBuffer(line_io, buf);
    // ra[k] multiplies x[k], so the older taps are one contiguous sum.
    int16_t ra[kLpcOrder];
    for (int k = 0; k < kLpcOrder; ++k) ra[k] = a[kLpcOrder - 1 - k];
    // The pass runs without checks first and is kept when the bound of the
    // checked loop below, |acc| + 2 sum |a| (M + 1) <= 2^31 - 1 with M the
    // largest |value| in the delay line, holds for every sample. Every
    // value has |v| <= 32768, so for most filters that is known in advance;
    // for sharp ones (a large sum |a|) the pass is checked afterwards
    // against the largest |value| it actually met. That check is sound by
    // induction over the samples: while the outputs so far equal the
    // checked loop's, that loop's delay line holds no value past M, none of
    // its partial sums leaves 32 bits, and it computes the same exact sum;
    // the pass's modular older-tap sums then equal the exact ones, so it
    // gives the same next output. M is at least the largest |value| of the
    // line on entry, so a pass that fails with that alone is not tried.
    const int64_t acc_max = AccAbsMax(acc);
    const bool known = acc_max + twice_abs * (32768 + 1) <= kMax32;
    if (known || acc_max + twice_abs * (AbsMax(line_io, kLpcOrder) + 1) <= kMax32) {
        // The products may be added in any order. Each block of four
        // outputs takes the taps over values older than the block before it
        // with vectors; the taps over the previous block's outputs (z) and
        // its own (y) come from registers, so the chain from one output to
        // the next is one product, one sum and the rounding. The rounding
        // leaves out the clamp to 16 bits, which would lengthen that chain:
        // the pass notes any output past it and then runs again below from
        // the saved accumulators.
        static_assert(kSubFrame % 4 == 0);
        int32_t saved[kSubFrame];
        std::memcpy(saved, acc, sizeof(saved));
        int64_t z0 = buf[6], z1 = buf[7], z2 = buf[8], z3 = buf[9];
        const int64_t a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3], a4 = a[4], a5 = a[5], a6 = a[6];
        // The doubled taps of the chain, so that each output's last step is
        // one product and one sum.
        const int64_t c0 = 2 * a0, c1 = 2 * a1, c2 = 2 * a2;
        uint64_t clamped = 0;
        for (int i = 0; i < kSubFrame; i += 4) {
            int32_t p[4];
            OlderTaps(ra, buf + i, p, vector);
            // The previous block's part of each output first, off the chain,
            // with the rounding's 2^13 added in advance: round_l(L_shl(t, 2))
            // for outputs inside 16 bits is (t + 2^13) >> 14, so each output
            // is u >> 14 for u = t + 2^13.
            constexpr int64_t kHalf = 0x2000;
            const int64_t b0 = acc[i] + kHalf + 2 * (p[0] + a3 * z0 + a2 * z1 + a1 * z2);
            const int64_t b1 =
                acc[i + 1] + kHalf + 2 * (p[1] + a4 * z0 + a3 * z1 + a2 * z2 + a1 * z3);
            const int64_t b2 =
                acc[i + 2] + kHalf + 2 * (p[2] + a5 * z0 + a4 * z1 + a3 * z2 + a2 * z3);
            const int64_t b3 =
                acc[i + 3] + kHalf + 2 * (p[3] + a6 * z0 + a5 * z1 + a4 * z2 + a3 * z3);
            // The newest output's product is added last, to the sum of the
            // others, so the chain from one output to the next is a product,
            // a sum and a shift.
            const int64_t u0 = b0 + c0 * z3;
            const int64_t y0 = u0 >> 14;
            const int64_t u1 = b1 + c0 * y0;
            const int64_t y1 = u1 >> 14;
            const int64_t v2 = b2 + c1 * y0;
            const int64_t u2 = v2 + c0 * y1;
            const int64_t y2 = u2 >> 14;
            const int64_t v3 = b3 + c2 * y0 + c1 * y1;
            const int64_t u3 = v3 + c0 * y2;
            const int64_t y3 = u3 >> 14;
            const int64_t t0 = u0 - kHalf, t1 = u1 - kHalf, t2 = u2 - kHalf, t3 = u3 - kHalf;
            clamped |= static_cast<uint64_t>(y0 + 32768) | static_cast<uint64_t>(y1 + 32768) |
                       static_cast<uint64_t>(y2 + 32768) | static_cast<uint64_t>(y3 + 32768);
            acc[i] = static_cast<int32_t>(t0);
            acc[i + 1] = static_cast<int32_t>(t1);
            acc[i + 2] = static_cast<int32_t>(t2);
            acc[i + 3] = static_cast<int32_t>(t3);
            buf[kLpcOrder + i] = out[i] = static_cast<int16_t>(y0);
            buf[kLpcOrder + i + 1] = out[i + 1] = static_cast<int16_t>(y1);
            buf[kLpcOrder + i + 2] = out[i + 2] = static_cast<int16_t>(y2);
            buf[kLpcOrder + i + 3] = out[i + 3] = static_cast<int16_t>(y3);
            z0 = y0, z1 = y1, z2 = y2, z3 = y3;
            // An output past 16 bits sends the pass to the checked loop; it
            // also keeps the next block's sums inside 64 bits.
            if (clamped >= 65536) break;
        }
        // Every y + 32768 inside 0..65535 leaves no bit above the sixteenth.
        if (clamped < 65536 &&
            (known || acc_max + twice_abs * (AbsMax(buf, kLpcOrder + kSubFrame) + 1) <= kMax32)) {
            for (int j = 0; j < kLpcOrder; ++j) line_io[j] = buf[kLpcOrder + kSubFrame - 1 - j];
            return;
        }
        std::memcpy(acc, saved, sizeof(saved));
    }
    int64_t line_max = AbsMax(line_io, kLpcOrder);
    for (int i = 0; i < kSubFrame; ++i) {
        const int16_t* x = buf + i;
        if (std::abs(int64_t{acc[i]}) + twice_abs * (line_max + 1) <= kMax32) {
            // The older taps first: their sum does not wait for the newest
            // value, which adds one product at the end.
            int32_t older = 0;
            for (int k = 0; k < kLpcOrder - 1; ++k) older += int32_t{ra[k]} * x[k];
            acc[i] += 2 * (older + int32_t{a[0]} * x[kLpcOrder - 1]);
        } else {
            for (int j = 0; j < kLpcOrder; ++j) acc[i] = L_mac(acc[i], a[j], x[kLpcOrder - 1 - j]);
        }
        const int16_t y = RoundShl2(acc[i]);
        buf[kLpcOrder + i] = y;
        line_max = std::max<int64_t>(line_max, std::abs(int32_t{y}));
        out[i] = y;
    }
    for (int j = 0; j < kLpcOrder; ++j) line_io[j] = buf[kLpcOrder + kSubFrame - 1 - j];
}

#if QM_G7231_HAS_AVX2
QM_G7231_AVX2 inline void PolePassAvx2(int32_t* acc, const int16_t* a, int16_t* line_io,
                                       int64_t twice_abs, int16_t* out) {
    PolePassBody(acc, a, line_io, twice_abs, out, true);
}
#endif

inline void PolePass(int32_t* acc, const int16_t* a, int16_t* line_io, int64_t twice_abs,
                     int16_t* out) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) return PolePassAvx2(acc, a, line_io, twice_abs, out);
#endif
    PolePassBody(acc, a, line_io, twice_abs, out, ActiveIsa() != G7231Isa::Portable);
}

#if QM_G7231_HAS_AVX2
// The plain sums of ZeroPass with AVX2: eight outputs per register and two
// taps per multiply-add, the pair (a[j], a[j + 1]) against the pairs
// (x[k], x[k - 1]) at k = 9 + i - j. The sums are modular, and the caller
// has bounded them, so they are the bits of the plain loop.
QM_G7231_AVX2 inline void ZeroSumsAvx2(int32_t* acc, const int16_t* a, const int16_t* x) {
    constexpr int kPairs = 80;    // k = 0..79; x is zero past its 70 values
    int16_t xz[kPairs + 8] = {};  // xz[k + 1] = x[k]
    std::memcpy(xz + 1, x, (kLpcOrder + kSubFrame) * sizeof(int16_t));
    alignas(32) int16_t xp[2 * kPairs];
    for (int k = 0; k < kPairs; k += 8) {
        const __m128i cur = Load8(xz + k + 1), prev = Load8(xz + k);
        _mm_store_si128(reinterpret_cast<__m128i*>(xp + 2 * k), _mm_unpacklo_epi16(cur, prev));
        _mm_store_si128(reinterpret_cast<__m128i*>(xp + 2 * k + 8), _mm_unpackhi_epi16(cur, prev));
    }
    int32_t ap[kLpcOrder / 2];
    std::memcpy(ap, a, sizeof(ap));
    int32_t sums[kSubFrame + 4];
    for (int b = 0; b < (kSubFrame + 7) / 8; ++b) {
        __m256i s = _mm256_setzero_si256();
        for (int p = 0; p < kLpcOrder / 2; ++p)
            s = _mm256_add_epi32(
                s, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(
                                         xp + 2 * (kLpcOrder - 1 + 8 * b - 2 * p))),
                                     _mm256_set1_epi32(ap[p])));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + 8 * b), s);
    }
    for (int i = 0; i < kSubFrame; ++i) acc[i] -= 2 * sums[i];
}
#endif

// Zero part: acc[i] -= 2 sum a[j] x[9 + i - j], where x holds the ten values
// before the subframe (oldest first) and then the subframe's 60.
inline void ZeroPass(int32_t* acc, const int16_t* a, const int16_t* x, int64_t twice_abs) {
    const int64_t acc_max = AccAbsMax(acc);
    if (acc_max + twice_abs * (AbsMax(x, kLpcOrder + kSubFrame) + 1) <= kMax32) {
#if QM_G7231_HAS_AVX2
        if (UseAvx2()) return ZeroSumsAvx2(acc, a, x);
#endif
        for (int j = 0; j < kLpcOrder; ++j) {
            const int32_t c = 2 * int32_t{a[j]};
            for (int i = 0; i < kSubFrame; ++i) acc[i] -= c * x[kLpcOrder - 1 + i - j];
        }
        return;
    }
    for (int i = 0; i < kSubFrame; ++i)
        for (int j = 0; j < kLpcOrder; ++j) acc[i] = L_msu(acc[i], a[j], x[kLpcOrder - 1 + i - j]);
}

}  // namespace qm::g7231
