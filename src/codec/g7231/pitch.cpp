#include "codec/g7231/pitch.h"

#include <algorithm>
#include <cstdlib>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/decoder_tables.h"
#include "codec/g7231/isa.h"
#include "codec/g7231/sums.h"

namespace qm::g7231 {

int16_t NormalizeVector(int16_t* v, int len) {
    int32_t peak = 0;  // largest |v|, -32768 counted as 32767
    for (int i = 0; i < len; ++i) peak = std::max(peak, std::abs(int32_t{v[i]}));
    peak = std::min(peak, int32_t{kMax16});
    const int16_t n = norm_s(static_cast<int16_t>(peak));
    // factor 2^n, 32767 for 15; factor |v| <= 2^15, so the doubled product
    // never saturates and the shift is plain.
    const int32_t factor = kNormalizationShift[n];
    for (int i = 0; i < len; ++i) v[i] = static_cast<int16_t>((2 * factor * v[i]) >> 4);
    return static_cast<int16_t>(n - 3);
}

namespace {

// l << n for n = norm_l(l), which keeps every value in range.
inline int32_t ShlNorm(int32_t l, int16_t n) {
    return static_cast<int32_t>(static_cast<uint32_t>(l) << n);
}

QM_G7231_BODY int16_t OpenLoopPitchBody(const int16_t* buf, int start, bool fast) {
    int16_t index = kPitchMin;
    // Best normalised correlation so far as exponent mxp and mantissas
    // mcr / mnr (each 16 bits, block-floating).
    int16_t mxp = 30;
    int16_t mcr = 0x4000;
    int16_t mnr = 0x7fff;
    int pr = start - kPitchMin + 1;
    int32_t energy = 0;
    for (int j = 0; j < 2 * kSubFrame; ++j) energy = L_mac(energy, buf[pr + j], buf[pr + j]);
    // Exact energies of the two segments bound the cross correlation.
    const int64_t cur_energy = LoopEnergy(buf + start, 2 * kSubFrame);
    int64_t lag_energy = LoopEnergy(buf + pr, 2 * kSubFrame);
    for (int i = kPitchMin; i <= kPitchMax - 3; ++i) {
        --pr;
        energy = L_msu(energy, buf[pr + 2 * kSubFrame], buf[pr + 2 * kSubFrame]);
        energy = L_mac(energy, buf[pr], buf[pr]);
        lag_energy +=
            int32_t{buf[pr]} * buf[pr] - int32_t{buf[pr + 2 * kSubFrame]} * buf[pr + 2 * kSubFrame];
        int32_t acc = 0;
        if (fast && MacSafe(cur_energy, lag_energy)) {
            acc = 2 * Dot(buf + start, buf + pr, 2 * kSubFrame);
        } else {
            for (int j = 0; j < 2 * kSubFrame; ++j) acc = L_mac(acc, buf[start + j], buf[pr + j]);
        }
        if (acc <= 0) continue;
        // Squared normalised cross correlation as mantissa ccr / enr and
        // exponent. A shift by norm_l never saturates, and ccr >= 0 here, so
        // its square is the plain doubled product: plain operations.
        int16_t exp = norm_l(acc);
        acc = ShlNorm(acc, exp);
        exp = shl(exp, 1);
        int16_t ccr = round_l(acc);
        acc = 2 * int32_t{ccr} * ccr;
        ccr = norm_l(acc);
        acc = ShlNorm(acc, ccr);
        exp = add(exp, ccr);
        ccr = extract_h(acc);
        int16_t enr = norm_l(energy);
        acc = ShlNorm(energy, enr);
        exp = sub(exp, enr);
        enr = round_l(acc);
        if (ccr >= enr) {
            exp = sub(exp, 1);
            ccr = shr(ccr, 1);
        }
        if (exp > mxp) continue;
        if (exp + 1 < mxp) {
            index = static_cast<int16_t>(i);
            mxp = exp;
            mcr = ccr;
            mnr = enr;
            continue;
        }
        int16_t tmp = (exp + 1 == mxp) ? shr(mcr, 1) : mcr;
        acc = L_msu(L_mult(ccr, mnr), enr, tmp);
        if (acc <= 0) continue;
        if (i - index < kPitchMin) {
            index = static_cast<int16_t>(i);
            mxp = exp;
            mcr = ccr;
            mnr = enr;
        } else {
            // A lag far from the current best must win by a margin.
            acc = L_negate(L_shr(L_mult(ccr, mnr), 2));
            acc = L_mac(acc, ccr, mnr);
            acc = L_msu(acc, enr, tmp);
            if (acc > 0) {
                index = static_cast<int16_t>(i);
                mxp = exp;
                mcr = ccr;
                mnr = enr;
            }
        }
    }
    return index;
}

#if QM_G7231_HAS_AVX2
QM_G7231_AVX2 int16_t OpenLoopPitchAvx2(const int16_t* buf, int start, bool fast) {
    return OpenLoopPitchBody(buf, start, fast);
}
#endif

}  // namespace

int16_t OpenLoopPitch(const int16_t* buf, int start, bool fast) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) return OpenLoopPitchAvx2(buf, start, fast);
#endif
    return OpenLoopPitchBody(buf, start, fast);
}

}  // namespace qm::g7231
