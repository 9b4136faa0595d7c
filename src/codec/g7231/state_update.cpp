#include "codec/g7231/state_update.h"

#include <algorithm>
#include <cstring>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/filters.h"
#include "codec/g7231/isa.h"
#include "codec/g7231/tables.h"

namespace qm::g7231 {

void PushExcitation(int16_t* history, const int16_t* exc) {
    std::memmove(history, history + kSubFrame, (kPitchMax - kSubFrame) * sizeof(int16_t));
    std::memcpy(history + kPitchMax - kSubFrame, exc, kSubFrame * sizeof(int16_t));
}

void UpdateTaming(int32_t* taming, int16_t lag, int16_t gain_index) {
    const int16_t beta = kTamingGain170[gain_index];
    auto grow = [&](int32_t e) { return L_add(kTamingFloor, L_shl(L_mls(e, beta), 2)); };
    // taming[k] holds the error of the 30-sample block k blocks back; the
    // second half of the new subframe becomes block 0, the first half block 1.
    int32_t second, first;
    if (lag <= kSubFrame / 2) {
        second = grow(taming[0]);
        first = second;
    } else {
        // mult() by 1092 gives lag / 30, one short when the lag is a multiple of 30.
        const int iz = mult(lag, 1092);
        if (30 * (iz + 1) == lag) {
            // Each half repeats exactly one earlier block.
            second = grow(taming[iz - 1]);
            first = grow(taming[iz]);
        } else {
            // Each half straddles two blocks; keep the worse one.
            const int32_t mid = grow(taming[iz - 1]);
            first = std::max(mid, grow(taming[iz]));
            second = iz >= 2 ? std::max(mid, grow(taming[iz - 2])) : first;
        }
    }
    for (int i = kTamingBlocks - 1; i >= 2; --i) taming[i] = taming[i - 2];
    taming[0] = second;
    taming[1] = first;
}

namespace {

QM_G7231_BODY void UpdateRingingBody(int16_t* exc, const int16_t* a_Q13, const int16_t* w_Q13,
                                     RingingMemory& mem, bool fast) {
    std::memmove(mem.err, mem.err + kSubFrame, (kPitchMax - kSubFrame) * sizeof(int16_t));
    const FilterSums sums(a_Q13, w_Q13, fast);
    int32_t acc[kSubFrame];
    for (int i = 0; i < kSubFrame; ++i) acc[i] = L_shr(L_deposit_h(exc[i]), 3);
    int16_t syn[kLpcOrder + kSubFrame];
    LineToBuffer(mem.fir, syn);
    PolePass(acc, a_Q13, mem.fir, sums.synthesis, syn + kLpcOrder);
    for (int i = 0; i < kSubFrame; ++i) exc[i] = shl(syn[kLpcOrder + i], 1);
    ZeroPass(acc, w_Q13, syn, sums.zero);
    PolePass(acc, w_Q13 + kLpcOrder, mem.iir, sums.pole, mem.err + kPitchMax - kSubFrame);
}

#if QM_G7231_HAS_AVX2
QM_G7231_AVX2 void UpdateRingingAvx2(int16_t* exc, const int16_t* a_Q13, const int16_t* w_Q13,
                                     RingingMemory& mem, bool fast) {
    UpdateRingingBody(exc, a_Q13, w_Q13, mem, fast);
}
#endif

}  // namespace

void UpdateRinging(int16_t* exc, const int16_t* a_Q13, const int16_t* w_Q13, RingingMemory& mem,
                   bool fast) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) return UpdateRingingAvx2(exc, a_Q13, w_Q13, mem, fast);
#endif
    UpdateRingingBody(exc, a_Q13, w_Q13, mem, fast);
}

}  // namespace qm::g7231
