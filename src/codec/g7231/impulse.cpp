#include "codec/g7231/impulse.h"

#include <cstring>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/filters.h"
#include "codec/g7231/isa.h"

namespace qm::g7231 {
namespace {

// Runs one subframe through the synthesis filter, the formant weighting filter
// and the harmonic weighting filter. With `impulse` the input is a unit
// impulse into filters at rest (the impulse response); otherwise the input is
// zero and the filters start from the given state (the ringing). out[i]
// receives the 32-bit output before rounding (the sample in the upper 16 bits).
namespace {

QM_G7231_BODY void CascadeBody(bool impulse, const int16_t* a_Q13, const int16_t* w_Q13,
                               HarmonicFilter pw, int16_t* fir, int16_t* iir, int16_t* temp,
                               int32_t* out, bool fast) {
    const FilterSums sums(a_Q13, w_Q13, fast);
    int32_t acc[kSubFrame] = {};
    if (impulse) acc[0] = 0x04000000;
    // The synthesis output, which both the synthesis and the zero part filter.
    int16_t syn[kLpcOrder + kSubFrame];
    LineToBuffer(fir, syn);
    PolePass(acc, a_Q13, fir, sums.synthesis, syn + kLpcOrder);
    ZeroPass(acc, w_Q13, syn, sums.zero);
    if (impulse)
        for (int i = 0; i < kSubFrame; ++i) acc[i] = L_shl(acc[i], 1);
    PolePass(acc, w_Q13 + kLpcOrder, iir, sums.pole, temp + kPitchMax);
    for (int i = 0; i < kSubFrame; ++i)
        out[i] = L_msu(L_deposit_h(temp[kPitchMax + i]), pw.gain, temp[kPitchMax - pw.lag + i]);
}

#if QM_G7231_HAS_AVX2
QM_G7231_AVX2 void CascadeAvx2(bool impulse, const int16_t* a_Q13, const int16_t* w_Q13,
                               HarmonicFilter pw, int16_t* fir, int16_t* iir, int16_t* temp,
                               int32_t* out, bool fast) {
    CascadeBody(impulse, a_Q13, w_Q13, pw, fir, iir, temp, out, fast);
}
#endif

}  // namespace

void Cascade(bool impulse, const int16_t* a_Q13, const int16_t* w_Q13, HarmonicFilter pw,
             int16_t* fir, int16_t* iir, int16_t* temp, int32_t* out, bool fast) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) return CascadeAvx2(impulse, a_Q13, w_Q13, pw, fir, iir, temp, out, fast);
#endif
    CascadeBody(impulse, a_Q13, w_Q13, pw, fir, iir, temp, out, fast);
}

}  // namespace

void ImpulseResponse(int16_t* imp_Q13, const int16_t* a_Q13, const int16_t* w_Q13,
                     HarmonicFilter pw, bool fast) {
    int16_t fir[kLpcOrder] = {};
    int16_t iir[kLpcOrder] = {};
    int16_t temp[kPitchMax + kSubFrame] = {};
    int32_t out[kSubFrame];
    Cascade(true, a_Q13, w_Q13, pw, fir, iir, temp, out, fast);
    for (int i = 0; i < kSubFrame; ++i) imp_Q13[i] = round_l(out[i]);
}

void SubtractRinging(int16_t* target, const int16_t* a_Q13, const int16_t* w_Q13, HarmonicFilter pw,
                     const RingingMemory& mem, bool fast) {
    int16_t fir[kLpcOrder];
    int16_t iir[kLpcOrder];
    int16_t temp[kPitchMax + kSubFrame];
    std::memcpy(temp, mem.err, sizeof(mem.err));
    std::memcpy(fir, mem.fir, sizeof(fir));
    std::memcpy(iir, mem.iir, sizeof(iir));
    int32_t out[kSubFrame];
    Cascade(false, a_Q13, w_Q13, pw, fir, iir, temp, out, fast);
    for (int i = 0; i < kSubFrame; ++i) target[i] = round_l(L_sub(L_deposit_h(target[i]), out[i]));
}

}  // namespace qm::g7231
