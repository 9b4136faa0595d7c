// G.723.1 at 5.3 kbit/s: one clip of n samples into 20-byte frames, and
// 20-byte frames back into samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qm {

// Returns 20 * ceil(n / 240); -1, -2, -3 for bad arguments (null samples,
// n <= 0, null output); -4 when an internal arithmetic fault occurred.
int G7231EncodeClip(const int16_t* samples, int32_t n, unsigned char* out);

// The vector instructions the encoder uses: the portable loops, SSE2 or
// AVX2. Every path gives the same bytes; the choice is process-wide and by
// default the widest the machine supports.
enum class G7231Isa { Portable, Sse2, Avx2, Best };
// True when this machine (and build) can run the path.
bool G7231IsaSupported(G7231Isa isa);
// Selects a path for every encoder from now on (Best: the widest supported)
// and returns the path in effect; an unsupported path leaves it unchanged.
// Meant to be called before encoding starts, by tests and benchmarks.
G7231Isa SetG7231Isa(G7231Isa isa);

// Passed as the sample count: decode every frame, 240 samples each.
constexpr int32_t kG7231AllSamples = -1;

// Where a decoding failed: the frame's index from 0 and its two type bits.
struct G7231DecodeDetail {
    int32_t frame = -1;
    int frame_type = -1;
};

enum : int {
    kG7231NullFrames = -1,    // frames null while bytes > 0
    kG7231PartialFrame = -2,  // bytes not a multiple of 20
    kG7231BadCount = -3,      // n negative (other than kG7231AllSamples) or beyond the frames
    kG7231NullOutput = -4,    // out null while there are samples to write
    kG7231FrameType = -5,     // a frame is not a 5.3 kbit/s active frame (detail names it)
    kG7231Fault = -6,         // internal arithmetic fault (detail names the frame)
};

// Decodes one clip of 20-byte frames from a fresh decoder state into
// out[0..n): frame k gives samples 240 k to 240 k + 239, and the output is
// trimmed to n samples (the frames past sample n are not decoded). Returns
// the number of samples written, or one of the negative codes above; a
// refusal writes nothing (every frame's type is checked first; a fault,
// which no input is known to cause, stops after the frames before it), and
// `detail`, when given, names the frame. A frame with an out-of-range lag or
// gain field is concealed, not refused.
int G7231DecodeClip(const uint8_t* frames, size_t bytes, int32_t n, int16_t* out,
                    G7231DecodeDetail* detail = nullptr);

// One line of English describing a negative result of G7231DecodeClip.
std::string G7231DecodeMessage(int result, const G7231DecodeDetail& detail);

}  // namespace qm
