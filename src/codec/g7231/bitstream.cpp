#include "codec/g7231/bitstream.h"

#include <cstring>

namespace qm::g7231 {
namespace {

// Writes `width` bits of `value`, least significant first, at bit `pos`.
inline void PutBits(uint8_t* out, int& pos, uint32_t value, int width) {
    for (int i = 0; i < width; ++i, ++pos)
        if ((value >> i) & 1u)
            out[pos >> 3] = static_cast<uint8_t>(out[pos >> 3] | (1u << (pos & 7)));
}

// Reads `width` bits, least significant first, from bit `pos`.
inline uint32_t GetBits(const uint8_t* in, int& pos, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i, ++pos) v |= uint32_t{(in[pos >> 3] >> (pos & 7)) & 1u} << i;
    return v;
}

}  // namespace

void PackFrame(const FrameFields& f, uint8_t* out) {
    uint8_t packed[24] = {};
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
    std::memcpy(out, packed, kFrameBytes);
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
