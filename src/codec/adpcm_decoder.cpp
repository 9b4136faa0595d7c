#include "codec/adpcm_tables.h"
#include "codec/decoders.h"

namespace qm {

namespace {

// The predictor and step index of one clip, moved by each 4-bit code exactly
// as the coder moves its own state after choosing that code.
struct ImaPredictor {
    int32_t pred = 0;
    int index = 0;

    int16_t Step(int code) {
        const int32_t step = kAdpcmStepSize[index];
        int32_t vpdiff = step >> 3;
        if (code & 4) vpdiff += step;
        if (code & 2) vpdiff += step >> 1;
        if (code & 1) vpdiff += step >> 2;
        pred = (code & 8) ? pred - vpdiff : pred + vpdiff;
        if (pred > 32767) pred = 32767;
        if (pred < -32768) pred = -32768;
        index += kAdpcmIndexAdjust[code];
        if (index < 0) index = 0;
        if (index > 88) index = 88;
        return static_cast<int16_t>(pred);
    }
};

}  // namespace

const char* DecoderResultText(int result) {
    switch (result) {
        case kDecodeNullInput:
            return "no coded data to decode";
        case kDecodeBadCount:
            return "negative sample count";
        case kDecodeNullOutput:
            return "no room for the decoded samples";
        case kDecodeShortInput:
            return "fewer coded bytes than the sample count needs";
        default:
            return result >= 0 ? "decoded" : "unknown decoder result";
    }
}

int AdpcmDecode(const uint8_t* in, size_t bytes, int32_t n, int16_t* out) {
    if (in == nullptr && bytes > 0) return kDecodeNullInput;
    if (n < 0) return kDecodeBadCount;
    if (out == nullptr && n > 0) return kDecodeNullOutput;
    const size_t pairs = static_cast<size_t>(n) / 2;
    if (bytes < pairs) return kDecodeShortInput;
    ImaPredictor p;
    for (size_t i = 0; i < pairs; ++i) {
        out[2 * i] = p.Step(in[i] >> 4);
        out[2 * i + 1] = p.Step(in[i] & 0x0F);
    }
    if (n % 2 != 0) out[n - 1] = static_cast<int16_t>(p.pred);
    return n;
}

}  // namespace qm
