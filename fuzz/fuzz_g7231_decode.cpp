// The G.723.1 decoder on arbitrary frames: the clip API with any sample
// count, and frame by frame with and without the fast paths, which must give
// the same samples.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/g7231/decoder.h"
#include "codec/g7231/g7231.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    int32_t n;
    std::memcpy(&n, data, sizeof(n));
    const uint8_t* frames = data + 4;
    const size_t bytes = size - 4;
    const size_t whole = bytes / qm::g7231::kFrameBytes;
    std::vector<int16_t> out(whole * qm::g7231::kFrame + 1);
    // Any count, most of them out of range; then every sample.
    qm::G7231DecodeDetail detail;
    int r = qm::G7231DecodeClip(frames, bytes, n, out.data(), &detail);
    if (r < 0) (void)qm::G7231DecodeMessage(r, detail);
    r = qm::G7231DecodeClip(frames, whole * qm::g7231::kFrameBytes, qm::kG7231AllSamples,
                            out.data(), &detail);
    if (r < 0) (void)qm::G7231DecodeMessage(r, detail);

    qm::g7231::Decoder fast, exact;
    exact.SetFastPaths(false);
    int16_t a[qm::g7231::kFrame], b[qm::g7231::kFrame];
    for (size_t f = 0; f < whole; ++f) {
        // Decode every frame as a 5.3 kbit/s frame, whatever its type bits.
        uint8_t frame[qm::g7231::kFrameBytes];
        std::memcpy(frame, frames + f * qm::g7231::kFrameBytes, sizeof(frame));
        frame[0] = static_cast<uint8_t>((frame[0] & ~3) | qm::g7231::kFrameType53);
        qm::g7231::DecoderFrameTrace trace;
        if (!fast.DecodeFrame(frame, a, &trace) || !exact.DecodeFrame(frame, b)) std::abort();
        if (std::memcmp(a, b, sizeof(a)) != 0) std::abort();
        if (fast.fault() || exact.fault()) std::abort();
    }
    return 0;
}
