// The decoder's pitch postfilter: per subframe, the lag before or after the
// subframe that best predicts it, and a filter that adds that neighbour to
// the excitation with a gain and an energy-preserving scale.
#pragma once

#include <cstdint>

namespace qm::g7231 {

struct PitchPostfilter {
    int16_t backward_lag = 0;  // -i for the best lag i before the subframe, or 0
    int16_t forward_lag = 0;   // +i for the best lag i after it, or 0
    int16_t lag = 0;           // the one chosen, or 0
    int16_t gain = 0;          // Q15
    int16_t scale = 0x7fff;    // Q15
};

// The filter of subframe `sfc` searched within three lags of `lag` (the
// frame's lag of the subframe pair) in x, the normalised excitation (145
// history samples, then the frame's 240).
PitchPostfilter FindPitchPostfilter(const int16_t* x, int16_t lag, int sfc, bool fast, bool& fault);

// Filters the 60 samples at e (the excitation, Q0, with its history before
// it and the rest of the frame after it) into out.
void ApplyPitchPostfilter(const int16_t* e, const PitchPostfilter& pf, int16_t* out, bool fast);

}  // namespace qm::g7231
