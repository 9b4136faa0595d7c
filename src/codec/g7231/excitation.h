// Reconstruction of a subframe's excitation from its coded fields, shared by
// the encoder (which keeps the decoder's excitation history) and the
// decoder: the adaptive-codebook (pitch) contribution from the excitation
// history, the fixed-codebook pulses with their pitch sharpening, and their
// sum. Excitation samples are Q0; the fixed contribution is at half scale.
#pragma once

#include <cstdint>

#include "codec/g7231/bitstream.h"

namespace qm::g7231 {

// The 64 samples r of the pitch residual for `lag` (17..145): r[0] and r[1]
// are the history samples lag + 2 and lag + 1 back, then the last `lag`
// samples repeated. `hist_end` points just past the newest history sample,
// with at least lag + 2 samples before it.
void PitchResidual(const int16_t* hist_end, int lag, int16_t* r);

// The 60-sample adaptive-codebook contribution for `lag` and entry
// `gain_index` (0..169) of the 170-entry gain codebook (Q14 taps).
void AdaptiveExcitation(const int16_t* hist_end, int lag, int gain_index, int16_t* out, bool fast);

// The 60-sample fixed-codebook contribution (half scale) of a subframe whose
// lag is `lag`: four pulses of the quantised gain placed by the position,
// grid and sign fields (pulses past sample 59 are dropped), then sharpened by
// the pitch contribution that the adaptive gain index selects.
void FixedExcitation(const SubframeFields& sf, int lag, int16_t* out);

// The excitation: twice the fixed contribution plus the adaptive one.
void CombineExcitation(const int16_t* fixed, const int16_t* adaptive, int16_t* out);

}  // namespace qm::g7231
