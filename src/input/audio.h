// Recordings: the WAV header check, and one recording in memory with its
// levelling, edge fades and sample-rate conversion.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/problem.h"

namespace qm {

enum AudioKind : int32_t { AUDIO_PCM = 0, AUDIO_WAV = 1 };

// Checks the canonical 44-byte WAV header of the file at path (UTF-8). On
// success gives the sample rate (the header's full 32-bit value). On failure
// why (when given) gets the word, reason and fix of the refusal.
bool CheckWaveHeader(const std::string& path, std::string& err, int32_t& sampleRate,
                     Problem* why = nullptr);

// Length of each edge fade, and the cosines of its window angles
// (float(i) * float(pi)) / 119, i = 0 .. 119, as a generated table
// (tools/gen_audio_tables.cpp) so the window does not depend on the C library.
inline constexpr int kFadeLength = 120;
extern const float kFadeCosine[kFadeLength];

// One recording: 16-bit mono samples.
class CAudioData {
  public:
    virtual ~CAudioData() = default;

    // Reads the recording; wanted < 0 asks for all samples. The sample count
    // is at most what the file really holds.
    bool Load(const std::string& path, AudioKind kind, std::string& err, int64_t wanted = -1);
    // Scales toward the peak target (0 leaves the level unchanged) and
    // returns the gain applied (1 when the samples were left as they were).
    double Normalize(float target);
    // Raised-cosine fades over the first and last 120 samples.
    void Fade();
    // Converts from the source to the target rate (Hz).
    bool Resample(int32_t sourceRate, int32_t targetRate, std::string& err);
    void Release();

    std::vector<int16_t> samples;
    uint32_t count() const { return static_cast<uint32_t>(samples.size()); }

  private:
    // Set by a successful Load and cleared by Release: a recording that was
    // loaded but holds no samples is still a loaded recording.
    bool loaded_ = false;
};

}  // namespace qm
