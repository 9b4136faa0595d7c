#include "codec/g7231/g7231.h"

#include <algorithm>
#include <cstring>

#include "codec/g7231/bitstream.h"
#include "codec/g7231/decoder.h"
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

int G7231DecodeClip(const uint8_t* frames, size_t bytes, int32_t n, int16_t* out,
                    G7231DecodeDetail* detail) {
    G7231DecodeDetail scratch;
    G7231DecodeDetail& d = detail ? *detail : scratch;
    d = G7231DecodeDetail{};
    if (frames == nullptr && bytes > 0) return kG7231NullFrames;
    if (bytes % g7231::kFrameBytes != 0) return kG7231PartialFrame;
    const size_t count = bytes / g7231::kFrameBytes;
    // Every frame's samples must be addressable as an int32_t count.
    if (count > static_cast<size_t>(INT32_MAX / g7231::kFrame)) return kG7231BadCount;
    const int32_t available = static_cast<int32_t>(count) * g7231::kFrame;
    if (n == kG7231AllSamples) n = available;
    if (n < 0 || n > available) return kG7231BadCount;
    if (out == nullptr && n > 0) return kG7231NullOutput;
    const int32_t used = (n + g7231::kFrame - 1) / g7231::kFrame;
    // Every frame is checked before anything is written.
    for (int32_t k = 0; k < used; ++k) {
        const int type = frames[static_cast<size_t>(k) * g7231::kFrameBytes] & 3;
        if (type != g7231::kFrameType53) {
            d.frame = k;
            d.frame_type = type;
            return kG7231FrameType;
        }
    }
    // The state lives on this call's stack, as the encoder's does.
    g7231::Decoder decoder;
    int16_t frame[g7231::kFrame];
    for (int32_t k = 0; k < used; ++k) {
        decoder.DecodeFrame(frames + static_cast<size_t>(k) * g7231::kFrameBytes, frame);
        if (decoder.fault()) {
            d.frame = k;
            return kG7231Fault;
        }
        const int32_t start = k * g7231::kFrame;
        const int32_t take = std::min<int32_t>(g7231::kFrame, n - start);
        std::memcpy(out + start, frame, static_cast<size_t>(take) * sizeof(int16_t));
    }
    return n;
}

std::string G7231DecodeMessage(int result, const G7231DecodeDetail& detail) {
    switch (result) {
        case kG7231NullFrames:
            return "no frame data";
        case kG7231PartialFrame:
            return "the coded size is not a whole number of 20-byte frames";
        case kG7231BadCount:
            return "the sample count does not fit the number of frames";
        case kG7231NullOutput:
            return "no room for the decoded samples";
        case kG7231FrameType:
            return "frame " + std::to_string(detail.frame) +
                   " is not a 5.3 kbit/s frame (type bits " + std::to_string(detail.frame_type) +
                   ")";
        case kG7231Fault:
            return "internal arithmetic fault in frame " + std::to_string(detail.frame);
        default:
            return result >= 0 ? "" : "unknown error " + std::to_string(result);
    }
}

}  // namespace qm
