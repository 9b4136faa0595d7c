// Closed-loop adaptive-codebook (pitch) search of a subframe.
#pragma once

#include <cstdint>

#include "codec/g7231/bitstream.h"

namespace qm::g7231 {

// Searches the lags around *olp (three for subframes 0 and 2, four for 1
// and 3) and the entries of the 170-entry gain codebook, limited by the
// taming test on the excitation errors `taming` (5 blocks) and the sine
// detector. Fills sf.lag_offset and sf.gain_index; for subframes 0 and 2 the
// chosen lag replaces *olp (and the offset is 1). Then subtracts the chosen
// contribution, filtered by imp_Q13, from target (Q0), and writes the
// contribution itself (60 samples, Q0) to `adaptive`. `hist_end` points just
// past the newest of the 145 excitation history samples.
void AdaptiveSearch(int16_t* target, const int16_t* imp_Q13, const int16_t* hist_end,
                    const int32_t* taming, int16_t sine_detect, int16_t* olp, int sfc,
                    SubframeFields& sf, int16_t* adaptive, bool fast);

// The gain codebook part of the search, for tests: hb lags of 20 normalised
// correlations each in vct, the first `bound` rows of the table; gid and lid
// receive the chosen row and lag (0 and 1 when no criterion is above zero).
// The path is the process-wide one (see SetG7231Isa).
void SearchGain(const int16_t* vct, int hb, int bound, bool fast, int16_t& gid, int16_t& lid);

}  // namespace qm::g7231
