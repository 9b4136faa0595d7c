#include "codec/adpcm_tables.h"
#include "codec/coders.h"

namespace qm {

namespace {

// Samples per block; even, so consecutive blocks join without a half-filled byte.
constexpr uint32_t kBlockSamples = 80;

}  // namespace

int AdpcmEncodeBlock(AdpcmState& state, const int16_t* samples, uint32_t count,
                     unsigned char* out) {
    int32_t pred = state.valprev;
    int index = state.index;
    if (index < 0) index = 0;
    if (index > 88) index = 88;
    int32_t step = kAdpcmStepSize[index];
    bool high = true;
    unsigned char pending = 0;
    uint32_t written = 0;
    for (uint32_t i = 0; i < count; ++i) {
        int32_t diff = static_cast<int32_t>(samples[i]) - pred;
        int sign = 0;
        if (diff < 0) {
            sign = 8;
            diff = -diff;
        }
        int code = 0;
        int32_t vpdiff = step >> 3;
        if (diff >= step) {
            code = 4;
            diff -= step;
            vpdiff += step;
        }
        step >>= 1;
        if (diff >= step) {
            code |= 2;
            diff -= step;
            vpdiff += step;
        }
        step >>= 1;
        if (diff >= step) {
            code |= 1;
            vpdiff += step;
        }
        pred = sign ? pred - vpdiff : pred + vpdiff;
        if (pred > 32767) pred = 32767;
        if (pred < -32768) pred = -32768;
        code |= sign;
        index += kAdpcmIndexAdjust[code];
        if (index < 0) index = 0;
        if (index > 88) index = 88;
        step = kAdpcmStepSize[index];
        if (high) {
            pending = static_cast<unsigned char>(code << 4);
        } else {
            out[written++] = static_cast<unsigned char>(pending | code);
        }
        high = !high;
    }
    state.valprev = static_cast<int16_t>(pred);
    state.index = static_cast<int8_t>(index);
    return static_cast<int>(count / 2);
}

int AdpcmEncode(const int16_t* samples, int32_t n, unsigned char* out) {
    if (samples == nullptr) return -1;
    if (n <= 0) return -2;
    if (out == nullptr) return -3;
    AdpcmState state;
    const uint32_t total = static_cast<uint32_t>(n);
    uint32_t done = 0;
    int bytes = 0;
    while (done < total) {
        uint32_t count = total - done < kBlockSamples ? total - done : kBlockSamples;
        bytes += AdpcmEncodeBlock(state, samples + done, count, out + bytes);
        done += count;
    }
    return bytes;
}

}  // namespace qm
