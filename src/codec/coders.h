// The speech coders. Each codes one clip of n 16-bit samples into out and
// returns the number of bytes written; -1 for a null sample pointer, -2 for
// n <= 0, -3 for a null output pointer, tested in that order.
#pragma once

#include <cstdint>

namespace qm {

int ALawEncode(const int16_t* samples, int32_t n, unsigned char* out);

struct AdpcmState {
    int16_t valprev = 0;
    int8_t index = 0;
};
int AdpcmEncode(const int16_t* samples, int32_t n, unsigned char* out);
int AdpcmEncodeBlock(AdpcmState& state, const int16_t* samples, uint32_t count, unsigned char* out);

}  // namespace qm
