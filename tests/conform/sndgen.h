// Recordings in many formats, written through libsndfile at test time.
#pragma once

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qmtest {

// Before: a LIST chunk and a "junk" chunk ahead of the data; after: a LIST
// chunk behind it.
enum Chunks { kNoChunks = 0, kChunksBefore = 1, kChunksAfter = 2 };

// Writes interleaved frames (full scale 1.0) in one format; integer formats
// are written as left-aligned 32-bit integers, so values on the format's grid
// are stored exactly.
inline bool WriteSnd(const std::string& path, int format, int channels, int rate,
                     const std::vector<double>& frames, int chunks = kNoChunks) {
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    if (chunks & kChunksBefore) {
        SF_CHUNK_INFO ci = {};
        std::strcpy(ci.id, "junk");
        ci.id_size = 4;
        char data[8] = "filler";
        ci.data = data;
        ci.datalen = 8;
        sf_set_chunk(f, &ci);
        sf_set_string(f, SF_STR_TITLE, "before the data");
    }
    const sf_count_t n = static_cast<sf_count_t>(frames.size()) / channels;
    const int sub = format & SF_FORMAT_SUBMASK;
    bool ok;
    if (sub >= SF_FORMAT_PCM_S8 && sub <= SF_FORMAT_PCM_U8) {
        std::vector<int> ints;
        for (double x : frames) {
            ints.push_back(static_cast<int>(
                std::clamp(std::round(x * 2147483648.0), -2147483648.0, 2147483647.0)));
        }
        ok = sf_writef_int(f, ints.data(), n) == n;
    } else {
        ok = sf_writef_double(f, frames.data(), n) == n;
    }
    if (chunks & kChunksAfter) sf_set_string(f, SF_STR_COMMENT, "after the data");
    return sf_close(f) == 0 && ok;
}

// A tone (amplitude in 16-bit units) as full-scale doubles on the grid of a
// `bits`-bit format, the same on every channel but for a per-channel offset
// of `spread` steps, so that channel means have halves.
inline std::vector<double> Tone(size_t frames, int channels, double freq, int rate,
                                double amplitude, int bits = 16, int spread = 0) {
    const double steps = std::ldexp(1.0, bits - 1);
    std::vector<double> v;
    for (size_t i = 0; i < frames; ++i) {
        const double s =
            std::round(amplitude / 32768 * steps * std::sin(2 * M_PI * freq * i / rate));
        for (int c = 0; c < channels; ++c) v.push_back((s + c * spread) / steps);
    }
    return v;
}

// The 16-bit mono samples of interleaved frames: the channel mean, rounded
// to nearest with halves away from zero, clipped.
inline std::vector<int16_t> Expected16(const std::vector<double>& frames, int channels) {
    std::vector<int16_t> out;
    for (size_t i = 0; i + channels <= frames.size(); i += channels) {
        double sum = 0;
        for (int c = 0; c < channels; ++c) sum += frames[i + c];
        const long r = std::lround(sum / channels * 32768.0);
        out.push_back(static_cast<int16_t>(std::clamp(r, -32768L, 32767L)));
    }
    return out;
}

}  // namespace qmtest
