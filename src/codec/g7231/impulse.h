// The combined filter of a subframe (synthesis, formant weighting, harmonic
// weighting): its impulse response, and the ringing of its memory that is
// taken off the target before the codebook searches.
#pragma once

#include <cstdint>

#include "codec/g7231/constants.h"
#include "codec/g7231/weighting.h"

namespace qm::g7231 {

// Memory of the combined filter carried from subframe to subframe: the last
// 145 outputs of the formant weighting (the harmonic filter's history, Q0)
// and the delay lines of the synthesis filter and the weighting filter's
// pole part (Q0, newest first).
struct RingingMemory {
    int16_t err[kPitchMax] = {};
    int16_t fir[kLpcOrder] = {};
    int16_t iir[kLpcOrder] = {};
};

// The 60-sample impulse response (imp_Q13: 8192 is a unit response) of the
// filter with synthesis coefficients a_Q13, weighting w_Q13 and harmonic
// filter pw.
void ImpulseResponse(int16_t* imp_Q13, const int16_t* a_Q13, const int16_t* w_Q13,
                     HarmonicFilter pw, bool fast);

// Subtracts from target (Q0) the filter's response to zero input from `mem`.
void SubtractRinging(int16_t* target, const int16_t* a_Q13, const int16_t* w_Q13, HarmonicFilter pw,
                     const RingingMemory& mem, bool fast);

}  // namespace qm::g7231
