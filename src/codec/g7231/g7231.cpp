#include "codec/g7231/g7231.h"

#include <algorithm>
#include <cstring>

#include "codec/g7231/encoder.h"

namespace qm {

int G7231EncodeClip(const int16_t* samples, int32_t n, unsigned char* out) {
    if (samples == nullptr) return -1;
    if (n <= 0) return -2;
    if (out == nullptr) return -3;
    // The state lives on this call's stack: clips are independent of each
    // other and may be coded on several threads at once.
    g7231::Encoder encoder;
    const int32_t frames = n / g7231::kFrame + (n % g7231::kFrame != 0 ? 1 : 0);
    int16_t frame[g7231::kFrame];
    for (int32_t f = 0; f < frames; ++f) {
        const int32_t start = f * g7231::kFrame;
        const int32_t count = std::min<int32_t>(g7231::kFrame, n - start);
        std::memset(frame, 0, sizeof(frame));
        std::memcpy(frame, samples + start, static_cast<size_t>(count) * sizeof(int16_t));
        encoder.EncodeFrame(frame, out + static_cast<size_t>(f) * g7231::kFrameBytes);
        if (encoder.fault()) return -4;
    }
    return frames * g7231::kFrameBytes;
}

}  // namespace qm
