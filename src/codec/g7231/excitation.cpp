#include "codec/g7231/excitation.h"

#include <algorithm>
#include <cstring>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/isa.h"
#include "codec/g7231/sums.h"
#include "codec/g7231/tables.h"

namespace qm::g7231 {

void PitchResidual(const int16_t* hist_end, int lag, int16_t* r) {
    // The history from lag + 2 samples back; a lag shorter than the span
    // repeats its last `lag` samples.
    constexpr int kSpan = kSubFrame + kPitchOrder / 2;
    const int first = std::min(lag, kSpan);
    std::memcpy(r, hist_end - lag - kPitchOrder / 2, (kPitchOrder / 2 + first) * sizeof(int16_t));
    for (int i = first; i < kSpan; ++i) r[kPitchOrder / 2 + i] = r[kPitchOrder / 2 + i - lag];
}

namespace {

QM_G7231_BODY void AdaptiveExcitationBody(const int16_t* hist_end, int lag, int gain_index,
                                          int16_t* out, bool fast) {
    int16_t rez[kSubFrame + kPitchOrder - 1];
    PitchResidual(hist_end, lag, rez);
    const int16_t* g_Q14 = kAdaptiveCodebookGain170 + gain_index * 20;
    // The bound in 64 bits: a full-scale history and a large gain entry take
    // it past 2^31.
    if (fast &&
        2 * int64_t{AbsMax(rez, kSubFrame + kPitchOrder - 1)} * AbsSum(g_Q14, kPitchOrder) <=
            kMax32) {
        // L_shl by one as a clamp of the doubled sum, without branches.
        for (int i = 0; i < kSubFrame; ++i)
            out[i] = round_l(static_cast<int32_t>(std::clamp<int64_t>(
                4 * int64_t{Dot(rez + i, g_Q14, kPitchOrder)}, kMin32, kMax32)));
        return;
    }
    for (int i = 0; i < kSubFrame; ++i) {
        int32_t acc = 0;
        for (int j = 0; j < kPitchOrder; ++j) acc = L_mac(acc, rez[i + j], g_Q14[j]);
        out[i] = round_l(L_shl(acc, 1));
    }
}

#if QM_G7231_HAS_AVX2
QM_G7231_AVX2 void AdaptiveExcitationAvx2(const int16_t* hist_end, int lag, int gain_index,
                                          int16_t* out, bool fast) {
    AdaptiveExcitationBody(hist_end, lag, gain_index, out, fast);
}
#endif

}  // namespace

void AdaptiveExcitation(const int16_t* hist_end, int lag, int gain_index, int16_t* out, bool fast) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) return AdaptiveExcitationAvx2(hist_end, lag, gain_index, out, fast);
#endif
    AdaptiveExcitationBody(hist_end, lag, gain_index, out, fast);
}

void FixedExcitation(const SubframeFields& sf, int lag, int16_t* out) {
    const int16_t gain = kFixedCodebookGain[sf.fixed_gain];
    for (int i = 0; i < kSubFrame; ++i) out[i] = 0;
    for (int k = 0; k < 4; ++k) {
        const int pos = 8 * ((sf.positions >> (3 * k)) & 7) + sf.grid + 2 * k;
        if (pos < kSubFrame) out[pos] = (sf.signs >> k) & 1 ? gain : negate(gain);
    }
    const int t0 = lag + kAcelpPitchLagOffset170[sf.gain_index];
    const int16_t gain_t0_Q15 = kAcelpPitchGain170[sf.gain_index];
    if (t0 < kSubFrame - 2)
        for (int i = t0; i < kSubFrame; ++i) out[i] = add(out[i], mult(out[i - t0], gain_t0_Q15));
}

namespace {

QM_G7231_BODY void CombineExcitationBody(const int16_t* fixed, const int16_t* adaptive,
                                         int16_t* out) {
    // add(shl(f, 1), a), as two clamps.
    for (int i = 0; i < kSubFrame; ++i) {
        const int32_t twice = std::clamp(2 * int32_t{fixed[i]}, int32_t{kMin16}, int32_t{kMax16});
        out[i] =
            static_cast<int16_t>(std::clamp(twice + adaptive[i], int32_t{kMin16}, int32_t{kMax16}));
    }
}

#if QM_G7231_HAS_AVX2
QM_G7231_AVX2 void CombineExcitationAvx2(const int16_t* fixed, const int16_t* adaptive,
                                         int16_t* out) {
    CombineExcitationBody(fixed, adaptive, out);
}
#endif

}  // namespace

void CombineExcitation(const int16_t* fixed, const int16_t* adaptive, int16_t* out) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) return CombineExcitationAvx2(fixed, adaptive, out);
#endif
    CombineExcitationBody(fixed, adaptive, out);
}

}  // namespace qm::g7231
