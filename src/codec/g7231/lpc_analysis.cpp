#include "codec/g7231/lpc_analysis.h"

#include <algorithm>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/isa.h"
#include "codec/g7231/sums.h"
#include "codec/g7231/tables.h"

namespace qm::g7231 {
namespace {

// Levinson-Durbin recursion on the normalised autocorrelation: corr_Q15[i]
// is lag i + 1 and err_Q15 lag 0 (both at the same block-floating scale).
// Returns the second reflection coefficient in Q15 (0x7fff when the
// recursion stopped at a coefficient of magnitude one).
QM_G7231_BODY int16_t Durbin(int16_t* a_Q13, const int16_t* corr_Q15, int16_t err_Q15,
                             bool& fault) {
    int16_t pk2 = 0;
    int16_t temp[kLpcOrder];
    for (int i = 0; i < kLpcOrder; ++i) a_Q13[i] = 0;
    for (int i = 0; i < kLpcOrder; ++i) {
        // Partial correlation: corr[i] minus the prediction from the lower lags.
        int32_t acc0 = L_shr(L_deposit_h(corr_Q15[i]), 2);
        for (int j = 0; j < i; ++j) acc0 = L_msu(acc0, a_Q13[j], corr_Q15[i - j - 1]);
        acc0 = L_shl(acc0, 2);
        const int32_t num = acc0;
        acc0 = L_abs(acc0);
        const int32_t acc2 = L_deposit_h(err_Q15);
        if (acc0 >= acc2) {  // reflection coefficient of magnitude one: stop here
            pk2 = kMax16;
            break;
        }
        // pk (Q15) is minus the reflection coefficient.
        int16_t pk = div_l(acc0, err_Q15, fault);
        if (num >= 0) pk = negate(pk);
        if (i == 1) pk2 = pk;
        a_Q13[i] = round_l(L_shr(L_deposit_h(negate(pk)), 2));
        err_Q15 = round_l(L_add(L_mls(num, pk), acc2));
        for (int j = 0; j < i; ++j) temp[j] = a_Q13[j];
        for (int j = 0; j < i; ++j)
            a_Q13[j] = round_l(L_mac(L_deposit_h(a_Q13[j]), pk, temp[i - j - 1]));
    }
    return pk2;
}

}  // namespace

namespace {

QM_G7231_BODY void AnalyseLpcBody(const int16_t* speech, int16_t* a_Q13, int16_t& sine_detect,
                                  bool fast, bool& fault) {
    for (int k = 0; k < kSubFrames; ++k) {
        // Scale the 180-sample window so that its peak has three bits of
        // headroom (the energy sum must not saturate), then apply the window
        // (Q15): vect is block-floating.
        int16_t vect[kLpcFrame];
        int16_t peak = 0;
        for (int i = 0; i < kLpcFrame; ++i) {
            vect[i] = speech[k * kSubFrame + i];
            int16_t a = abs_s(vect[i]);
            if (a > peak) peak = a;
        }
        const int16_t scale = sub(norm_s(peak), 3);
        if (fast) {
            // Neither operator saturates here: with scale >= 0, |v| <= peak
            // and peak << (scale + 3) < 2^15 (that is what norm_s counts), so
            // |v << scale| < 2^12; otherwise |v >> -scale| <= 2^12. A product with the window
            // (below 2^15) then stays under 2^27 and rounds into 16 bits.
            // Plain shifts and products let the compiler use vectors.
            const int left = std::max<int>(scale, 0), right = std::max<int>(-scale, 0);
            for (int i = 0; i < kLpcFrame; ++i) {
                const int32_t x = (int32_t{vect[i]} * (1 << left)) >> right;
                vect[i] = static_cast<int16_t>((x * kLpcHammingWindow[i] + 0x4000) >> 15);
            }
        } else {
            for (int i = 0; i < kLpcFrame; ++i)
                vect[i] = mult_r(shl(vect[i], scale), kLpcHammingWindow[i]);
        }
        // The window keeps |vect| below 32767, so each half product is the
        // plain product; a saturating sum of squares is the plain sum capped,
        // and when that sum fits, every lag sum (bounded by it) is plain too.
        const int64_t energy = LoopEnergy(vect, kLpcFrame);
        const bool plain = fast && energy <= kMax32;
        int32_t acc = static_cast<int32_t>(energy);
        if (!plain) {
            acc = 0;
            for (int j = 0; j < kLpcFrame; ++j)
                acc = L_add(acc, L_shr(L_mult(vect[j], vect[j]), 1));
        }
        acc = L_add(acc, L_shr(acc, 10));  // white-noise correction 1025/1024
        const int16_t exp = norm_l(acc);
        // Autocorrelation normalised so that lag 0 fills 16 bits (Q15 of it).
        int16_t acf_Q15[kLpcOrder + 1];
        acf_Q15[0] = round_l(L_shl(acc, exp));
        for (int i = 1; i <= kLpcOrder; ++i) {
            if (acf_Q15[0] == 0) {
                acf_Q15[i] = 0;
                continue;
            }
            int32_t s = 0;
            if (plain) {
                s = Dot(vect + i, vect, kLpcFrame - i);
            } else {
                for (int j = i; j < kLpcFrame; ++j)
                    s = L_add(s, L_shr(L_mult(vect[j], vect[j - i]), 1));
            }
            acf_Q15[i] = round_l(L_mls(L_shl(s, exp), kLpcBinomialWindow[i - 1]));
        }
        const int16_t pk2 = Durbin(a_Q13 + k * kLpcOrder, acf_Q15 + 1, acf_Q15[0], fault);
        // Sine detector: one bit per subframe, set when the second reflection
        // coefficient is close to one.
        sine_detect = static_cast<int16_t>(sine_detect << 1);
        if (pk2 > 0x799a) sine_detect = static_cast<int16_t>(sine_detect + 1);
    }
    sine_detect = static_cast<int16_t>(sine_detect & 0x7fff);
    int ones = 0;
    for (int i = 0; i < 15; ++i) ones += (sine_detect >> i) & 1;
    if (ones >= 14) sine_detect = static_cast<int16_t>(sine_detect | 0x8000);
}

#if QM_G7231_HAS_AVX2
QM_G7231_AVX2 void AnalyseLpcAvx2(const int16_t* speech, int16_t* a_Q13, int16_t& sine_detect,
                                  bool fast, bool& fault) {
    AnalyseLpcBody(speech, a_Q13, sine_detect, fast, fault);
}
#endif

}  // namespace

void AnalyseLpc(const int16_t* speech, int16_t* a_Q13, int16_t& sine_detect, bool fast,
                bool& fault) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) {
        AnalyseLpcAvx2(speech, a_Q13, sine_detect, fast, fault);
        return;
    }
#endif
    AnalyseLpcBody(speech, a_Q13, sine_detect, fast, fault);
}

}  // namespace qm::g7231
