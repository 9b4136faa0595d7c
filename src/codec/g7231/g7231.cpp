#include "codec/g7231/g7231.h"

namespace qm {

// Placeholder until the encoder lands: checks the arguments only.
int G7231EncodeClip(const int16_t* samples, int32_t n, unsigned char* out) {
    if (samples == nullptr) return -1;
    if (n <= 0) return -2;
    if (out == nullptr) return -3;
    return -4;
}

}  // namespace qm
