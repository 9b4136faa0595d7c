#include "codec/g7231/bitstream.h"

#include <cstring>

namespace qm::g7231 {
namespace {

// Writes the low `width` (at most 32) bits of `value`, least significant
// first, at bit `pos` of a stream held in 64-bit words (bit b of the stream
// is bit b % 64 of word b / 64): whole fields at once, no branch per bit.
inline void PutBits(uint64_t* words, int& pos, uint32_t value, int width) {
    const uint64_t v = value & ((uint64_t{1} << width) - 1);
    const int shift = pos & 63;
    words[pos >> 6] |= v << shift;
    if (shift + width > 64) words[(pos >> 6) + 1] |= v >> (64 - shift);
    pos += width;
}

// Reads `width` bits, least significant first, from bit `pos`.
inline uint32_t GetBits(const uint8_t* in, int& pos, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i, ++pos) v |= uint32_t{(in[pos >> 3] >> (pos & 7)) & 1u} << i;
    return v;
}

}  // namespace

void PackFrame(const FrameFields& f, uint8_t* out) {
    uint64_t packed[3] = {};
    int pos = 0;
    PutBits(packed, pos, kFrameType53, 2);
    PutBits(packed, pos, static_cast<uint32_t>(f.lsp_index), 24);
    PutBits(packed, pos, static_cast<uint32_t>(f.lag[0] - kPitchMin), 7);
    PutBits(packed, pos, static_cast<uint32_t>(f.sf[1].lag_offset), 2);
    PutBits(packed, pos, static_cast<uint32_t>(f.lag[1] - kPitchMin), 7);
    PutBits(packed, pos, static_cast<uint32_t>(f.sf[3].lag_offset), 2);
    for (const SubframeFields& s : f.sf)
        PutBits(packed, pos, static_cast<uint32_t>(s.gain_index * kGainLevels + s.fixed_gain), 12);
    for (const SubframeFields& s : f.sf) PutBits(packed, pos, static_cast<uint32_t>(s.grid), 1);
    for (const SubframeFields& s : f.sf)
        PutBits(packed, pos, static_cast<uint32_t>(s.positions), 12);
    for (const SubframeFields& s : f.sf) PutBits(packed, pos, static_cast<uint32_t>(s.signs), 4);
    for (int k = 0; k < kFrameBytes; ++k)
        out[k] = static_cast<uint8_t>(packed[k >> 3] >> (8 * (k & 7)));
}

int UnpackFrame(const uint8_t* in, FrameFields& f) {
    int pos = 0;
    const int type = static_cast<int>(GetBits(in, pos, 2));
    f.lsp_index = static_cast<int32_t>(GetBits(in, pos, 24));
    f.lag[0] = static_cast<int16_t>(GetBits(in, pos, 7) + kPitchMin);
    f.sf[0].lag_offset = 1;
    f.sf[1].lag_offset = static_cast<int16_t>(GetBits(in, pos, 2));
    f.lag[1] = static_cast<int16_t>(GetBits(in, pos, 7) + kPitchMin);
    f.sf[2].lag_offset = 1;
    f.sf[3].lag_offset = static_cast<int16_t>(GetBits(in, pos, 2));
    for (SubframeFields& s : f.sf) {
        const int gain = static_cast<int>(GetBits(in, pos, 12));
        s.gain_index = static_cast<int16_t>(gain / kGainLevels);
        s.fixed_gain = static_cast<int16_t>(gain % kGainLevels);
    }
    for (SubframeFields& s : f.sf) s.grid = static_cast<int16_t>(GetBits(in, pos, 1));
    for (SubframeFields& s : f.sf) s.positions = static_cast<int16_t>(GetBits(in, pos, 12));
    for (SubframeFields& s : f.sf) s.signs = static_cast<int16_t>(GetBits(in, pos, 4));
    return type;
}

}  // namespace qm::g7231
