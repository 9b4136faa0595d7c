// Measurements behind the warnings about a build's inputs: how a list file
// looks encoded, what a WAV header claims against what its file holds, and
// the level, offset and silences of a recording.
#pragma once

#include <cstdint>
#include <string>

#include "input/audio.h"

namespace qm {

// Thresholds of the warnings (the README lists them).
inline constexpr int32_t kClipLevel = 32767;        // |sample| at or above: full scale
inline constexpr uint32_t kClipRun = 3;             // consecutive full-scale samples: clipped
inline constexpr int32_t kSilentPeak = 100;         // a peak below this: nearly silent (-50 dBFS)
inline constexpr int32_t kQuietLevel = 500;         // |sample| below this counts as silence
inline constexpr double kDcOffsetLimit = 1000.0;    // |mean sample| above this: DC offset
inline constexpr double kEdgeSilenceSeconds = 1.0;  // leading or trailing silence longer than this
inline constexpr double kPaceFactor = 3.0;    // seconds per character this far from the median
inline constexpr size_t kPaceMinPrompts = 5;  // fewest prompts for the pace comparison
inline constexpr double kPaceMinSecondsPerChar = 0.05;  // a median below this: no comparison

// "UTF-8" or "UTF-16" when the file's bytes look encoded so rather than in
// code page 936 (a byte-order mark; NUL bytes in every other place; or
// non-ASCII bytes that all form valid UTF-8 sequences), else "". why gets
// what gave it away.
std::string GuessListEncoding(const std::string& path, std::string& why);

// The samples a WAV header claims and the samples its file holds behind the
// header; false when the file cannot be read.
bool WaveDataSizes(const std::string& path, uint64_t& claimed, uint64_t& held);

struct AudioLevels {
    uint64_t samples = 0;
    int32_t peak = 0;
    uint64_t clippedRuns = 0;  // runs of kClipRun or more full-scale samples
    double mean = 0.0;
    uint64_t leadingQuiet = 0;   // samples below kQuietLevel at the start
    uint64_t trailingQuiet = 0;  // and at the end
};

// Reads every sample of the recording as a build would load it.
bool MeasureRecording(const std::string& path, AudioKind kind, AudioLevels& levels);

// The number of characters of a code page 936 text (a double-byte character
// counts once).
size_t CharacterCount(const std::string& text);

}  // namespace qm
