// Recordings in any format libsndfile reads, brought to what the build takes:
// 16-bit mono samples, optionally resampled with libsoxr to an exact rate,
// written as a WAV with the plain 44-byte header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// What a recording was.
struct AudioFacts {
    std::string container;     // "WAV", "WAV (extensible)", "FLAC", "Ogg", "AIFF", ...
    bool plainHeader = false;  // a WAV whose header the build reads as it is
    std::string format;        // "16-bit", "24-bit", "float", "Vorbis", ...
    int channels = 0;
    int32_t rate = 0;
    int64_t frames = 0;
};

// The recording as the build takes it.
struct ConformedAudio {
    std::vector<int16_t> samples;
    int32_t rate = 0;
    uint64_t clipped = 0;  // samples beyond the 16-bit range, set to its limit
};

// Reads the recording at path (UTF-8) with libsndfile, takes the mean of its
// channels, and converts it to 16-bit (rounded to nearest, halves away from
// zero; out-of-range samples clipped and counted). With targetRate > 0 and
// another source rate, resamples with libsoxr at high quality to exactly
// targetRate first. Integer sources that need no resampling are converted in
// integer arithmetic, so a 16-bit mono source keeps its samples exactly.
// On failure err holds libsndfile's or libsoxr's reason.
bool ConformAudioFile(const std::string& path, int32_t targetRate, AudioFacts& facts,
                      ConformedAudio& out, std::string& err);

// Resamples mono samples in 16-bit units (full scale 32768) from one rate to
// another with libsoxr at high quality, then rounds and clips as above. The
// output holds round(n * to / from) samples.
bool ResampleTo16Bit(const std::vector<double>& in, int32_t from, int32_t to,
                     std::vector<int16_t>& out, uint64_t& clipped, std::string& err);

// A WAV file with the plain 44-byte header and 16-bit mono samples.
std::string PlainWavBytes(const std::vector<int16_t>& samples, int32_t rate);

}  // namespace qm
