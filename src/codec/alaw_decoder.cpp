#include <array>

#include "codec/decoders.h"

namespace qm {

namespace {

// G.711 expansion of one byte: undo the even-bit inversion, then bit 7 is the
// sign (set for positive), bits 6..4 the segment and bits 3..0 the mantissa.
// The value is the middle of the code's interval, in 16-bit units.
constexpr int16_t Expand(uint8_t code) {
    const int a = code ^ 0x55;
    const int seg = (a >> 4) & 7;
    int t = (a & 0x0F) << 4;
    if (seg == 0) {
        t += 8;
    } else {
        t = (t + 0x108) << (seg - 1);
    }
    return static_cast<int16_t>((a & 0x80) ? t : -t);
}

constexpr std::array<int16_t, 256> MakeTable() {
    std::array<int16_t, 256> t{};
    for (int c = 0; c < 256; ++c) t[static_cast<size_t>(c)] = Expand(static_cast<uint8_t>(c));
    return t;
}

constexpr std::array<int16_t, 256> kExpand = MakeTable();

}  // namespace

int ALawDecode(const uint8_t* in, int32_t n, int16_t* out) {
    if (in == nullptr && n > 0) return kDecodeNullInput;
    if (n < 0) return kDecodeBadCount;
    if (out == nullptr && n > 0) return kDecodeNullOutput;
    for (int32_t i = 0; i < n; ++i) out[i] = kExpand[in[i]];
    return n;
}

}  // namespace qm
