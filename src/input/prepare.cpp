#include "input/prepare.h"

#include <utility>

#include "input/audio.h"

namespace qm {

bool PrepareClip(const PromptEntry& entry, int32_t packageRate, float levelTarget,
                 std::vector<int16_t>& samples, std::string& err) {
    CAudioData audio;
    if (!audio.Load(entry.path, entry.kind, err)) return false;
    audio.Normalize(levelTarget);
    audio.Fade();
    if (!audio.Resample(entry.sampleRate, packageRate, err)) return false;
    samples = std::move(audio.samples);
    return true;
}

}  // namespace qm
