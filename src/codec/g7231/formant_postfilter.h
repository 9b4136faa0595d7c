// The decoder's output stages after synthesis: the formant postfilter with
// its tilt compensation, and the gain scaling that restores the energy of
// the synthesised speech.
#pragma once

#include <cstdint>

#include "codec/g7231/constants.h"

namespace qm::g7231 {

struct PostfilterMemory {
    int16_t fir[kLpcOrder] = {};  // last ten inputs (Q0), newest first
    int16_t iir[kLpcOrder] = {};  // last ten outputs of the pole-zero part (Q0), newest first
    int16_t tilt_Q15 = 0;         // smoothed first reflection coefficient
};

// Filters 60 synthesised samples (Q0) with the postfilter of a_Q13 into out;
// returns the energy of the synthesised subframe that the gain scaling
// compares the output with.
int32_t FormantPostfilter(const int16_t* syn, const int16_t* a_Q13, PostfilterMemory& mem,
                          int16_t* out, bool fast, bool& fault);

// Scales the 60 postfiltered samples y (Q0) into out so that their energy
// follows `syn_energy`, smoothing the gain through `state` (Q12, 4096 is
// unity). Returns the subframe's target gain (Q12).
int16_t ScaleGain(const int16_t* y, int32_t syn_energy, int16_t& state, int16_t* out, bool fast,
                  bool& fault);

}  // namespace qm::g7231
