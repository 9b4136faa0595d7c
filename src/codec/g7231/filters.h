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
#include "codec/g7231/sums.h"

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

// The delay line `line` (newest first) as the head of a pass buffer (oldest first).
inline void LineToBuffer(const int16_t* line, int16_t* x) {
    for (int j = 0; j < kLpcOrder; ++j) x[kLpcOrder - 1 - j] = line[j];
}

// Recursive part, a ten-tap all-pole filter: acc[i] += 2 sum a[j] line[j],
// then round(acc[i] << 2) enters the delay line (newest first) and goes to
// out[i]. `twice_abs` is 2 sum |a| (see TwiceAbsSum).
inline void PolePass(int32_t* acc, const int16_t* a, int16_t* line_io, int64_t twice_abs,
                     int16_t* out) {
    // The delay line as a history that only grows (oldest first, then each
    // output): no values move per sample, and x = buf + i gives line[j] as
    // x[9 - j]. A local array: stores to `out` cannot alias it.
    int16_t buf[kLpcOrder + kSubFrame];
    LineToBuffer(line_io, buf);
    // ra[k] multiplies x[k], so the older taps are one contiguous sum.
    int16_t ra[kLpcOrder];
    for (int k = 0; k < kLpcOrder; ++k) ra[k] = a[kLpcOrder - 1 - k];
    // Every delay-line value has |v| <= 32768, so when the largest |acc|
    // leaves room for that, each sample's own bound below holds and the
    // pass needs no checks.
    int64_t acc_max = 0;
    for (int i = 0; i < kSubFrame; ++i) acc_max = std::max(acc_max, std::abs(int64_t{acc[i]}));
    if (acc_max + twice_abs * (32768 + 1) <= kMax32) {
        for (int i = 0; i < kSubFrame; ++i) {
            const int16_t* x = buf + i;
            int32_t older = 0;
            for (int k = 0; k < kLpcOrder - 1; ++k) older += int32_t{ra[k]} * x[k];
            acc[i] += 2 * (older + int32_t{a[0]} * x[kLpcOrder - 1]);
            out[i] = buf[kLpcOrder + i] = RoundShl2(acc[i]);
        }
        for (int j = 0; j < kLpcOrder; ++j) line_io[j] = buf[kLpcOrder + kSubFrame - 1 - j];
        return;
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

// Zero part: acc[i] -= 2 sum a[j] x[9 + i - j], where x holds the ten values
// before the subframe (oldest first) and then the subframe's 60.
inline void ZeroPass(int32_t* acc, const int16_t* a, const int16_t* x, int64_t twice_abs) {
    int64_t acc_max = 0;
    for (int i = 0; i < kSubFrame; ++i) acc_max = std::max(acc_max, std::abs(int64_t{acc[i]}));
    if (acc_max + twice_abs * (AbsMax(x, kLpcOrder + kSubFrame) + 1) <= kMax32) {
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
