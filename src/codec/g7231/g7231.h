// G.723.1 encoder at 5.3 kbit/s: one clip of n samples into 20-byte frames.
#pragma once

#include <cstdint>

namespace qm {

// Returns 20 * ceil(n / 240); -1, -2, -3 for bad arguments (null samples,
// n <= 0, null output); -4 when an internal arithmetic fault occurred.
int G7231EncodeClip(const int16_t* samples, int32_t n, unsigned char* out);

}  // namespace qm
