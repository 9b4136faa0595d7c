#include "codec/g7231/pitch_postfilter.h"

#include <algorithm>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/decoder_tables.h"
#include "codec/g7231/sums.h"

namespace qm::g7231 {
namespace {

// Sum of 2 a[j] b[j] over a subframe, saturating after every step. The
// search works on the normalised excitation, whose magnitudes are at most
// 4096: each term is at most 2^25 in magnitude and sixty of them stay below
// 2^31, so no partial sum saturates and the plain sum is the same; `fast`
// takes it.
int32_t MacSum(const int16_t* a, const int16_t* b, bool fast) {
    if (fast) return 2 * Dot(a, b, kSubFrame);
    int32_t acc = 0;
    for (int j = 0; j < kSubFrame; ++j) acc = L_mac(acc, a[j], b[j]);
    return acc;
}

// The lag's weight and scale from the 16-bit energy t of the subframe, the
// cross correlation c with the lagged segment and that segment's energy e.
void Gains(int16_t t, int16_t c, int16_t e, PitchPostfilter& pf, bool& fault) {
    // Only a correlation with c^2 > t e / 4 is worth filtering.
    if (L_mult(c, c) <= L_shr(L_mult(t, e), 2)) {
        pf.gain = 0;
        pf.scale = kMax16;
        return;
    }
    // Weight (Q15): 0.25 times the optimal gain c / e, at most 0.25.
    const int16_t w =
        c >= e ? kPitchPostfilterWeight : mult(div_s(c, e, fault), kPitchPostfilterWeight);
    // Energy of the filtered subframe over that of the subframe, for the scale.
    const int32_t half_t = L_shr(L_deposit_h(t), 1);
    int32_t a = L_add(half_t, L_mult(c, w));
    a = L_add(a, L_shr(L_mult(e, mult(w, w)), 1));
    const int16_t d = round_l(a);
    const int16_t sq = half_t >= L_deposit_h(d) ? kMax16 : div_l(half_t, d, fault);
    pf.scale = sqrt_l(L_deposit_h(sq));
    pf.gain = mult(w, pf.scale);
}

}  // namespace

PitchPostfilter FindPitchPostfilter(const int16_t* x, int16_t lag, int sfc, bool fast,
                                    bool& fault) {
    const int16_t* s = x + kPitchMax + sfc * kSubFrame;
    PitchPostfilter pf;
    // Best backward and forward lags: the first with the largest positive
    // correlation. A forward segment must lie within the frame.
    int32_t best = 0;
    for (int i = lag - kPitchPostfilterRange; i <= lag + kPitchPostfilterRange; ++i) {
        const int32_t b = MacSum(s, s - i, fast);
        if (b > best) {
            best = b;
            pf.backward_lag = static_cast<int16_t>(-i);
        }
    }
    best = 0;
    for (int i = lag - kPitchPostfilterRange; i <= lag + kPitchPostfilterRange; ++i) {
        if (sfc * kSubFrame + kSubFrame + i > kFrame) break;
        const int32_t f = MacSum(s, s + i, fast);
        if (f > best) {
            best = f;
            pf.forward_lag = static_cast<int16_t>(i);
        }
    }
    if (pf.backward_lag == 0 && pf.forward_lag == 0) return pf;

    // Subframe energy, then cross term and energy of each lag found,
    // normalised together to 16 bits.
    int32_t lcr[5] = {MacSum(s, s, fast), 0, 0, 0, 0};
    if (pf.backward_lag != 0) {
        const int16_t* b = s + pf.backward_lag;
        lcr[1] = MacSum(s, b, fast);
        lcr[2] = MacSum(b, b, fast);
    }
    if (pf.forward_lag != 0) {
        const int16_t* f = s + pf.forward_lag;
        lcr[3] = MacSum(s, f, fast);
        lcr[4] = MacSum(f, f, fast);
    }
    int32_t max = 0;
    for (int32_t v : lcr)
        if (v > max) max = v;
    const int16_t exp = norm_l(max);
    int16_t scr[5];
    for (int i = 0; i < 5; ++i) scr[i] = extract_h(L_shl(lcr[i], exp));

    // With both, the one with the larger c^2 / e.
    bool backward = pf.forward_lag == 0;
    if (pf.backward_lag != 0 && pf.forward_lag != 0)
        backward = L_mult(mult_r(scr[1], scr[1]), scr[4]) > L_mult(mult_r(scr[3], scr[3]), scr[2]);
    if (backward) {
        pf.lag = pf.backward_lag;
        Gains(scr[0], scr[1], scr[2], pf, fault);
    } else {
        pf.lag = pf.forward_lag;
        Gains(scr[0], scr[3], scr[4], pf, fault);
    }
    return pf;
}

void ApplyPitchPostfilter(const int16_t* e, const PitchPostfilter& pf, int16_t* out, bool fast) {
    if (fast) {
        // Scale and gain are non-negative, so neither product saturates and
        // the saturating sum of the two is the exact sum clamped.
        for (int n = 0; n < kSubFrame; ++n) {
            const int64_t v = 2 * (int64_t{e[n]} * pf.scale + int64_t{e[n + pf.lag]} * pf.gain);
            out[n] = round_l(static_cast<int32_t>(std::clamp<int64_t>(v, kMin32, kMax32)));
        }
        return;
    }
    for (int n = 0; n < kSubFrame; ++n)
        out[n] = round_l(L_mac(L_mult(e[n], pf.scale), e[n + pf.lag], pf.gain));
}

}  // namespace qm::g7231
