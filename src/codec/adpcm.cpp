#include "codec/coders.h"

namespace qm {

namespace {

constexpr int16_t kStepSize[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr int8_t kIndexAdjust[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

// Samples per block; even, so consecutive blocks join without a half-filled byte.
constexpr uint32_t kBlockSamples = 80;

}  // namespace

int AdpcmEncodeBlock(AdpcmState& state, const int16_t* samples, uint32_t count,
                     unsigned char* out) {
    int32_t pred = state.valprev;
    int index = state.index;
    if (index < 0) index = 0;
    if (index > 88) index = 88;
    int32_t step = kStepSize[index];
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
        index += kIndexAdjust[code];
        if (index < 0) index = 0;
        if (index > 88) index = 88;
        step = kStepSize[index];
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
