#include "codec/g7231/gain.h"

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/sums.h"
#include "codec/g7231/tables.h"

namespace qm::g7231 {

int16_t QuantizeFixedGain(const int16_t* x, int16_t* y, bool fast, bool& fault) {
    for (int i = 0; i < kSubFrame; ++i) y[i] = shr(y[i], 3);
    // With the shortcuts: the plain sums where the energies bound them (see
    // MacSafe), and the energy of y as the plain sum capped, which is what a
    // saturating sum of non-negative terms gives.
    const int64_t energy_y = Energy(y, kSubFrame);
    const bool plain = fast && MacSafe(Energy(x, kSubFrame), energy_y);
    int32_t lxy = plain ? 2 * Dot(x, y, kSubFrame) : 0;
    for (int i = 0; i < kSubFrame && !plain; ++i) lxy = L_mac(lxy, x[i], y[i]);
    int16_t exp_xy = norm_l(lxy);
    int16_t xy = extract_h(L_shl(lxy, exp_xy));
    if (xy <= 0) return 0;
    int32_t lyy = 0;
    if (fast) lyy = energy_y >= (int64_t{1} << 30) ? kMax32 : static_cast<int32_t>(2 * energy_y);
    for (int i = 0; i < kSubFrame && !fast; ++i) lyy = L_mac(lyy, y[i], y[i]);
    int16_t exp_yy = norm_l(lyy);
    int16_t yy = extract_h(L_shl(lyy, exp_yy));
    xy = shr(xy, 1);
    // The unquantised gain in the levels' scale (Q0): the ratio of the
    // mantissas (Q15) shifted by the difference of the exponents.
    int16_t gain_nq = div_s(xy, yy, fault);
    int16_t sh = sub(add(exp_xy, 5), exp_yy);
    gain_nq = shr(gain_nq, sh);
    int16_t best = 0;
    int16_t dist_min = abs_s(sub(gain_nq, kFixedCodebookGain[0]));
    for (int i = 1; i < kGainLevels; ++i) {
        int16_t dist = abs_s(sub(gain_nq, kFixedCodebookGain[i]));
        if (dist < dist_min) {
            dist_min = dist;
            best = static_cast<int16_t>(i);
        }
    }
    return best;
}

}  // namespace qm::g7231
