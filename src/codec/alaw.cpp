#include "codec/coders.h"

namespace qm {

namespace {

// Largest scaled magnitude of each of the eight A-law segments.
constexpr int16_t kSegmentEnd[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};

unsigned char ALawByte(int16_t x) {
    // Arithmetic shift keeps the sign: -1 stays -1.
    int s = static_cast<int>(x) >> 3;
    int mask = 0xD5;
    if (s < 0) {
        s = -s - 1;
        mask = 0x55;
    }
    int seg = 0;
    while (seg < 8 && s > kSegmentEnd[seg]) ++seg;
    if (seg == 8) return static_cast<unsigned char>(0x7F ^ mask);
    int q = (seg < 2 ? (s >> 1) : (s >> seg)) & 0x0F;
    return static_cast<unsigned char>(((seg << 4) | q) ^ mask);
}

}  // namespace

int ALawEncode(const int16_t* samples, int32_t n, unsigned char* out) {
    if (samples == nullptr) return -1;
    if (n <= 0) return -2;
    if (out == nullptr) return -3;
    for (int32_t i = 0; i < n; ++i) out[i] = ALawByte(samples[i]);
    return n;
}

}  // namespace qm
