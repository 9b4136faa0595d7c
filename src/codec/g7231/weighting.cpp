#include "codec/g7231/weighting.h"

#include <algorithm>
#include <cstring>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/filters.h"
#include "codec/g7231/isa.h"
#include "codec/g7231/sums.h"
#include "codec/g7231/tables.h"

namespace qm::g7231 {
namespace {

constexpr int kHarmonicRange = 3;
constexpr int16_t kHarmonicGain = 0x2800;  // largest filter gain, Q15

}  // namespace

void WeightingFilters(const int16_t* a_Q13, int16_t* w_Q13) {
    for (int i = 0; i < kSubFrames; ++i)
        for (int j = 0; j < kLpcOrder; ++j) {
            w_Q13[2 * kLpcOrder * i + j] =
                mult_r(a_Q13[i * kLpcOrder + j], kWeightingFilterZero[j]);
            w_Q13[2 * kLpcOrder * i + kLpcOrder + j] =
                mult_r(a_Q13[i * kLpcOrder + j], kWeightingFilterPole[j]);
        }
}

namespace {

QM_G7231_BODY void WeightSpeechBody(int16_t* speech, const int16_t* w_Q13, WeightingMemory& mem,
                                    bool fast) {
    for (int k = 0; k < kSubFrames; ++k, w_Q13 += 2 * kLpcOrder) {
        int16_t* d = speech + k * kSubFrame;
        int16_t x[kLpcOrder + kSubFrame];
        LineToBuffer(mem.fir, x);
        std::memcpy(x + kLpcOrder, d, kSubFrame * sizeof(int16_t));
        for (int j = 0; j < kLpcOrder; ++j) mem.fir[j] = x[kLpcOrder + kSubFrame - 1 - j];
        int32_t acc[kSubFrame];  // Q16 sample in the upper bits, prescaled by 1/4
        for (int i = 0; i < kSubFrame; ++i) acc[i] = L_shr(L_deposit_h(d[i]), 2);
        ZeroPass(acc, w_Q13, x, TwiceAbsSum(w_Q13, fast));
        PolePass(acc, w_Q13 + kLpcOrder, mem.iir, TwiceAbsSum(w_Q13 + kLpcOrder, fast), d);
    }
}

#if QM_G7231_HAS_AVX2
QM_G7231_AVX2 void WeightSpeechAvx2(int16_t* speech, const int16_t* w_Q13, WeightingMemory& mem,
                                    bool fast) {
    WeightSpeechBody(speech, w_Q13, mem, fast);
}
#endif

}  // namespace

void WeightSpeech(int16_t* speech, const int16_t* w_Q13, WeightingMemory& mem, bool fast) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) return WeightSpeechAvx2(speech, w_Q13, mem, fast);
#endif
    WeightSpeechBody(speech, w_Q13, mem, fast);
}

namespace {

QM_G7231_BODY HarmonicFilter FindHarmonicFilterBody(const int16_t* buf, int start, int16_t olp,
                                                    bool fast, bool& fault) {
    // Energy of the subframe, then energy and cross correlation of each lag.
    int32_t lcr[15];
    lcr[0] = 0;
    for (int i = 0; i < kSubFrame; ++i) lcr[0] = L_mac(lcr[0], buf[start + i], buf[start + i]);
    const int64_t cur_energy = Energy(buf + start, kSubFrame);
    for (int i = 0; i <= 2 * kHarmonicRange; ++i) {
        const int16_t* d = buf + start - (olp - kHarmonicRange + i);
        int32_t ccr = 0;
        int32_t enr = 0;
        // A saturating sum of squares is the plain sum capped; the cross sum
        // is plain when the energies bound it.
        const int64_t lag_energy = Energy(d, kSubFrame);
        if (fast && MacSafe(cur_energy, lag_energy)) {
            ccr = 2 * Dot(buf + start, d, kSubFrame);
            enr = lag_energy >= (int64_t{1} << 30) ? kMax32 : static_cast<int32_t>(2 * lag_energy);
        } else {
            for (int j = 0; j < kSubFrame; ++j) {
                ccr = L_mac(ccr, buf[start + j], d[j]);
                enr = L_mac(enr, d[j], d[j]);
            }
        }
        lcr[2 * i + 1] = enr;
        lcr[2 * i + 2] = ccr;
    }
    int32_t max = 0;
    for (int i = 0; i < 15; ++i) {
        int32_t a = L_abs(lcr[i]);
        if (a > max) max = a;
    }
    int16_t exp = norm_l(max);
    int16_t scr[15];  // the same, normalised together to 16 bits
    for (int i = 0; i < 15; ++i) scr[i] = round_l(L_shl(lcr[i], exp));

    HarmonicFilter pw;
    int best = -1;
    int16_t mcr = 1;
    int16_t mnr = 0x7fff;
    for (int i = 0; i <= 2 * kHarmonicRange; ++i) {
        int16_t enr = scr[2 * i + 1];
        int16_t ccr = scr[2 * i + 2];
        if (ccr <= 0) continue;
        int16_t sq = mult_r(ccr, ccr);
        if (L_msu(L_mult(sq, mnr), enr, mcr) > 0) {
            mcr = sq;
            mnr = enr;
            best = i;
        }
    }
    if (best == -1) {
        pw.lag = olp;
        return pw;
    }
    // Use the filter only if the prediction gain is high enough.
    int32_t a0 = L_mult(scr[0], mnr);
    a0 = L_add(L_shr(a0, 2), L_shr(a0, 3));
    a0 = L_sub(a0, L_mult(scr[2 * best + 2], scr[2 * best + 2]));
    if (a0 < 0) {
        int16_t c = scr[2 * best + 2];
        if (c >= mnr) {
            pw.gain = kHarmonicGain;
        } else {
            pw.gain = mult_r(div_s(c, mnr, fault), kHarmonicGain);
        }
    }
    pw.lag = static_cast<int16_t>(olp - kHarmonicRange + best);
    return pw;
}

#if QM_G7231_HAS_AVX2
QM_G7231_AVX2 HarmonicFilter FindHarmonicFilterAvx2(const int16_t* buf, int start, int16_t olp,
                                                    bool fast, bool& fault) {
    return FindHarmonicFilterBody(buf, start, olp, fast, fault);
}
#endif

}  // namespace

HarmonicFilter FindHarmonicFilter(const int16_t* buf, int start, int16_t olp, bool fast,
                                  bool& fault) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) return FindHarmonicFilterAvx2(buf, start, olp, fast, fault);
#endif
    return FindHarmonicFilterBody(buf, start, olp, fast, fault);
}

namespace {

// round_l(L_msu(L_deposit_h(x), g, y)) without saturating steps. With d the
// exact x 2^16 - 2 g y, the saturating subtraction and round_l's cap give
// clamp((d + 2^15) >> 16) to 16 bits (past either end both give that end),
// and as x 2^16 is a whole multiple that is x + ((2^14 - g y) >> 15), all in
// 32 bits. L_mult's one saturating product (-32768 * -32768, 2^31 - 1 for
// 2^31) moves d by one inside the same step of 2^16.
QM_G7231_BODY void ApplyHarmonicFiltersBody(const int16_t* buf, const HarmonicFilter* pw,
                                            int16_t* out) {
    for (int s = 0; s < kSubFrames; ++s) {
        const int32_t g = pw[s].gain;
        const int16_t* x = buf + kPitchMax + s * kSubFrame;
        const int16_t* y = x - pw[s].lag;
        for (int i = 0; i < kSubFrame; ++i)
            out[s * kSubFrame + i] = static_cast<int16_t>(
                std::clamp(x[i] + ((0x4000 - g * y[i]) >> 15), int32_t{kMin16}, int32_t{kMax16}));
    }
}

#if QM_G7231_HAS_AVX2
QM_G7231_AVX2 void ApplyHarmonicFiltersAvx2(const int16_t* buf, const HarmonicFilter* pw,
                                            int16_t* out) {
    ApplyHarmonicFiltersBody(buf, pw, out);
}
#endif

}  // namespace

void ApplyHarmonicFilters(const int16_t* buf, const HarmonicFilter* pw, int16_t* out) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) return ApplyHarmonicFiltersAvx2(buf, pw, out);
#endif
    ApplyHarmonicFiltersBody(buf, pw, out);
}

}  // namespace qm::g7231
