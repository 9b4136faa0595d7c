// Open-loop pitch estimation on the weighted speech, and the block
// normalisation that the pitch searches of encoder and decoder work on.
#pragma once

#include <cstdint>

namespace qm::g7231 {

// Scales v in place by 2^(n - 3), n = norm_s(max |v|), so that its peak has
// about 12 bits (a right shift truncates toward minus infinity); returns
// n - 3.
int16_t NormalizeVector(int16_t* v, int len);

// The open-loop lag (18..142) of the 120 samples at buf[start], a
// normalised signal with at least 145 samples before them.
int16_t OpenLoopPitch(const int16_t* buf, int start, bool fast);

}  // namespace qm::g7231
