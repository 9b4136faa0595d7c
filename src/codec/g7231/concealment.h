// Frame erasure concealment: the voicing analysis that a valid frame leaves
// for a following invalid one, and the excitation of an invalid frame.
#pragma once

#include <cstdint>

namespace qm::g7231 {

// What a valid frame leaves for the concealment of invalid frames, and the
// concealment's own state.
struct ConcealmentState {
    int16_t erasures = 0;     // invalid frames in a row, at most kErasureMaxCount
    int16_t gain = 0;         // gain of the noise excitation (Q0)
    int16_t voicing_lag = 0;  // lag of the periodic excitation, 0 when unvoiced
    uint16_t seed = 0;        // noise generator
};

// The voicing lag of a valid frame: the lag around `lag` (the frame's lag of
// subframes 2 and 3) that best predicts the frame's last 120 samples in x,
// the normalised excitation (145 history samples, then the frame's 240), when
// the prediction gain is high enough; otherwise 0.
int16_t VoicingLag(const int16_t* x, int16_t lag, bool fast);

// The 240 excitation samples (Q0) of an invalid frame, after the erasure
// count and gain have been updated; `history` (145 samples, newest last) is
// read and replaced.
void ConcealExcitation(ConcealmentState& state, int16_t* history, int16_t* out);

}  // namespace qm::g7231
