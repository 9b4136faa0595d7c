// Fixed-codebook search of a subframe at 5.3 kbit/s: four signed pulses on
// one of two grids, found by a depth-first search with a threshold and a
// per-frame budget of candidate sets.
#pragma once

#include <cstdint>

#include "codec/g7231/bitstream.h"

namespace qm::g7231 {

// Candidate sets the search may try per subframe; what a subframe leaves
// unused carries over to the next one of the same frame.
constexpr int16_t kSearchAllowance = 120;

// Finds the pulses and their gain for `target` (Q0, what the adaptive
// contribution left over) given the impulse response imp_Q13 (halved in
// place and sharpened by the pitch contribution of sf.gain_index), and fills
// sf.grid, sf.signs, sf.positions and sf.fixed_gain. The target is replaced
// by the quantised fixed contribution (half scale). `lag` is the subframe's
// lag; `allowance` is the search budget carried between the subframes of a
// frame.
void PulseSearch(int16_t* target, int16_t* imp_Q13, int lag, SubframeFields& sf, int16_t& allowance,
                 bool fast, bool& fault);

}  // namespace qm::g7231
