// Audio preparation for a clip container: one listed recording loaded,
// levelled, faded at its edges and converted to the package's rate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/lists.h"

namespace qm {

// Loads the entry's recording, levels its peak toward levelTarget (0 leaves
// the level unchanged), fades its edges and resamples it from the entry's
// rate to packageRate. False with the message in err when the recording
// cannot be read or converted. gain (when given) gets the levelling's gain
// and sourceSamples the recording's own length.
bool PrepareClip(const PromptEntry& entry, int32_t packageRate, float levelTarget,
                 std::vector<int16_t>& samples, std::string& err, double* gain = nullptr,
                 size_t* sourceSamples = nullptr);

}  // namespace qm
