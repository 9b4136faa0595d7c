#include "input/prepare.h"

#include <utility>

#include "input/audio.h"

namespace qm {

bool PrepareClip(const PromptEntry& entry, int32_t packageRate, float levelTarget,
                 std::vector<int16_t>& samples, std::string& err, double* gain,
                 size_t* sourceSamples) {
    CAudioData audio;
    if (!audio.Load(entry.path, entry.kind, err)) return false;
    if (sourceSamples != nullptr) *sourceSamples = audio.samples.size();
    const double applied = audio.Normalize(levelTarget);
    if (gain != nullptr) *gain = applied;
    audio.Fade();
    if (!audio.Resample(entry.sampleRate, packageRate, err)) return false;
    samples = std::move(audio.samples);
    return true;
}

}  // namespace qm
