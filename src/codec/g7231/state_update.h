// The encoder's memory update after a subframe: the excitation history, the
// excitation error estimates of the taming procedure, and the memory of the
// combined filter that gives the next subframe's ringing.
#pragma once

#include <cstdint>

#include "codec/g7231/impulse.h"

namespace qm::g7231 {

constexpr int kTamingBlocks = 5;
constexpr int32_t kTamingFloor = 4;

// Appends the 60 samples of a subframe's excitation to the 145-sample history.
void PushExcitation(int16_t* history, const int16_t* exc);

// Updates the five excitation error estimates (30-sample blocks, newest
// first) after a subframe with lag `lag` and adaptive gain index `gain_index`.
void UpdateTaming(int32_t* taming, int16_t lag, int16_t gain_index);

// Runs the subframe's excitation (Q0) through the synthesis and weighting
// filters to carry their memory forward; exc is overwritten by twice the
// synthesis output.
void UpdateRinging(int16_t* exc, const int16_t* a_Q13, const int16_t* w_Q13, RingingMemory& mem,
                   bool fast);

}  // namespace qm::g7231
