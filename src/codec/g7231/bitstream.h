// The fields of one coded 5.3 kbit/s frame and their 20-byte layout: bit i
// is bit i mod 8 of byte i div 8, every field least significant bit first.
#pragma once

#include <cstdint>

#include "codec/g7231/constants.h"

namespace qm::g7231 {

constexpr int kFrameType53 = 1;  // the two type bits of a 5.3 kbit/s active frame

// Per subframe: the adaptive-codebook lag offset (0..3 meaning -1..+2 around
// the lag of subframe 0 or 2, which carry 1) and gain index (0..169), the
// fixed-codebook gain index (0..23), the pulse grid (0 even, 1 odd), the four
// pulse signs (bit k set: pulse k positive) and the four 3-bit pulse
// positions (pulse 0 in the lowest bits).
struct SubframeFields {
    int16_t lag_offset = 1;
    int16_t gain_index = 0;
    int16_t fixed_gain = 0;
    int16_t grid = 0;
    int16_t signs = 0;
    int16_t positions = 0;
};

struct FrameFields {
    int32_t lsp_index = 0;                    // 24 bits: band 0 in the high 8, band 2 in the low 8
    int16_t lag[2] = {kPitchMin, kPitchMin};  // lags of subframes 0 and 2 (7-bit field + 18)
    SubframeFields sf[kSubFrames];
};

// Lag of subframe `s`: the frame's lag of its pair, moved by the offset.
inline int16_t SubframeLag(const FrameFields& f, int s) {
    return static_cast<int16_t>(f.lag[s >> 1] - 1 + f.sf[s].lag_offset);
}

// Writes the 20 bytes of a frame.
void PackFrame(const FrameFields& f, uint8_t* out);

// Reads the fields of a frame and returns its two type bits. The combined
// gain field is split as it stands: an adaptive gain index of 170 (a field
// of 4080 or more) is left for the caller to reject.
int UnpackFrame(const uint8_t* in, FrameFields& f);

}  // namespace qm::g7231
