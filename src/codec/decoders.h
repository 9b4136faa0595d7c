// The speech decoders: coded bytes of one clip back to 16-bit samples, the
// inverse of the coders in coders.h. Each returns the number of samples
// written or one of the negative results below. A pointer may be null only
// when nothing is read or written through it (an empty clip).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

inline constexpr int kDecodeNullInput = -1;   // coded bytes to read, but no input
inline constexpr int kDecodeBadCount = -2;    // negative sample count
inline constexpr int kDecodeNullOutput = -3;  // samples to write, but no output
inline constexpr int kDecodeShortInput = -4;  // fewer coded bytes than the count needs

// A fixed English text for a decoder result.
const char* DecoderResultText(int result);

// G.711 A-law, one byte per sample, even bits inverted as transmitted: the n
// bytes of in become n samples in out. Returns n.
int ALawDecode(const uint8_t* in, int32_t n, int16_t* out);

// IMA ADPCM as AdpcmEncode writes it: two 4-bit codes per byte, high nibble
// first, from predictor 0 and step index 0. A clip of n samples needs n / 2
// bytes (rounded down); further bytes are not read. When n is odd the coder
// dropped the last sample's code, and the last sample decodes as the
// predictor's value after the last stored code (0 for n = 1). Returns n.
int AdpcmDecode(const uint8_t* in, size_t bytes, int32_t n, int16_t* out);

}  // namespace qm
