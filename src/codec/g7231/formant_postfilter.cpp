#include "codec/g7231/formant_postfilter.h"

#include <algorithm>
#include <cstring>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/decoder_tables.h"
#include "codec/g7231/filters.h"
#include "codec/g7231/pitch.h"

namespace qm::g7231 {

int32_t FormantPostfilter(const int16_t* syn, const int16_t* a_Q13, PostfilterMemory& mem,
                          int16_t* out, bool fast, bool& fault) {
    int16_t z_Q13[kLpcOrder];
    int16_t p_Q13[kLpcOrder];
    for (int j = 0; j < kLpcOrder; ++j) {
        z_Q13[j] = mult_r(a_Q13[j], kPostfilterZero[j]);
        p_Q13[j] = mult_r(a_Q13[j], kPostfilterPole[j]);
    }

    // Tilt: the first reflection coefficient of the subframe, from a
    // normalised copy.
    int16_t t[kSubFrame];
    std::memcpy(t, syn, sizeof(t));
    const int16_t exp = NormalizeVector(t, kSubFrame);
    int32_t r0 = L_mult(t[0], t[0]);
    int32_t r1 = 0;
    if (fast) {
        // |t| <= 4096 after the normalisation: sixty terms of at most 2^25
        // cannot saturate.
        r0 = 2 * Dot(t, t, kSubFrame);
        r1 = 2 * Dot(t + 1, t, kSubFrame - 1);
    } else {
        for (int i = 1; i < kSubFrame; ++i) {
            r0 = L_mac(r0, t[i], t[i]);
            r1 = L_mac(r1, t[i], t[i - 1]);
        }
    }
    const int32_t energy = L_shr(r0, static_cast<int16_t>(2 * exp + 4));
    int16_t k_Q15 = 0;
    if (extract_h(r0) != 0) {
        k_Q15 = div_l(L_abs(L_shr(r1, 1)), extract_h(r0), fault);
        if (r1 < 0) k_Q15 = negate(k_Q15);
    }
    mem.tilt_Q15 = round_l(L_mac(L_msu(L_deposit_h(mem.tilt_Q15), mem.tilt_Q15, kTiltSmoothing),
                                 k_Q15, kTiltSmoothing));
    const int16_t tau_Q15 = static_cast<int16_t>(mult(mem.tilt_Q15, kTiltFactor) & kTiltMask);

    // Pole-zero part, then the tilt compensation from the previous output.
    int32_t acc[kSubFrame];
    for (int i = 0; i < kSubFrame; ++i) acc[i] = L_shr(L_deposit_h(syn[i]), 2);
    int16_t x[kLpcOrder + kSubFrame];
    LineToBuffer(mem.fir, x);
    std::memcpy(x + kLpcOrder, syn, kSubFrame * sizeof(int16_t));
    for (int j = 0; j < kLpcOrder; ++j) mem.fir[j] = x[kLpcOrder + kSubFrame - 1 - j];
    ZeroPass(acc, z_Q13, x, TwiceAbsSum(z_Q13, fast));
    int16_t prev = mem.iir[0];
    int16_t v[kSubFrame];
    PolePass(acc, p_Q13, mem.iir, TwiceAbsSum(p_Q13, fast), v);
    for (int i = 0; i < kSubFrame; ++i) {
        out[i] = round_l(L_mac(L_shl(acc[i], 2), prev, tau_Q15));
        prev = v[i];
    }
    return energy;
}

int16_t ScaleGain(const int16_t* y, int32_t syn_energy, int16_t& state, int16_t* out, bool fast,
                  bool& fault) {
    int32_t e = 0;
    if (fast) {
        // A sum of squares saturates only by reaching the top.
        int64_t sum = 0;
        for (int i = 0; i < kSubFrame; ++i) {
            const int32_t s = y[i] >> 2;
            sum += s * s;
        }
        e = static_cast<int32_t>(std::min<int64_t>(2 * sum, kMax32));
    } else {
        for (int i = 0; i < kSubFrame; ++i) {
            const int16_t s = shr(y[i], 2);
            e = L_mac(e, s, s);
        }
    }
    int16_t g = kScaleGainInit;
    if (e != 0 && syn_energy != 0) {
        // sqrt(syn_energy / e) in Q12, from normalised mantissas and exponents.
        const int16_t a = norm_l(e);
        e = L_shl(e, a);
        const int16_t b = norm_l(syn_energy);
        const int32_t s = L_shr(L_shl(syn_energy, b), 1);
        int16_t shift = sub(6, add(sub(a, b), 1));
        if (shift < 0) shift = 0;
        g = sqrt_l(L_shr(L_deposit_h(div_l(s, extract_h(e), fault)), shift));
    }
    if (fast) {
        // The state stays in [0, 32767] (g is a square root, so
        // non-negative): 65536 G - w G + w g + 2^15 lies in [0, 2^31), so the
        // update is plain. The output's product cannot saturate (the factor
        // is non-negative); its shift and rounding are clamps.
        constexpr int32_t w = 2 * kScaleGainSmoothing;
        int32_t st = state;
        for (int i = 0; i < kSubFrame; ++i) {
            st = (st * 65536 - w * st + w * int32_t{g} + 0x8000) >> 16;
            const int64_t f = std::min<int32_t>(st + (st >> 4), kMax16);
            const int64_t v = std::clamp<int64_t>(32 * f * y[i], kMin32, kMax32);
            out[i] = static_cast<int16_t>(std::min<int64_t>(v + 0x8000, kMax32) >> 16);
        }
        state = static_cast<int16_t>(st);
        return g;
    }
    for (int i = 0; i < kSubFrame; ++i) {
        state = round_l(
            L_mac(L_msu(L_deposit_h(state), state, kScaleGainSmoothing), g, kScaleGainSmoothing));
        out[i] = round_l(L_shl(L_mult(y[i], add(state, shr(state, 4))), 4));
    }
    return g;
}

}  // namespace qm::g7231
