// The dry run of a build: reads everything the build would read, writes
// nothing, and collects every problem instead of stopping at the first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/problem.h"

namespace qm {

struct DryRun {
    int32_t buildType = 0;
    int32_t codeType = 0;
    std::string audioFolder;  // absolute, or taken from the current directory
    std::string packagePath;  // "" when no package is given: its checks are skipped
    bool audioLevels = true;  // read every sample for the level warnings
};

struct CheckReport {
    // The conditions under which the build refuses, in the order the build
    // meets them: the first carries the build's own message.
    std::vector<Problem> errors;
    std::vector<Problem> warnings;
};

// Runs the dry run. The current directory moves to the audio folder (and to
// each role folder while it is read) and ends at the audio folder.
CheckReport RunDryRun(const DryRun& run);

}  // namespace qm
