// The clip set of a build: the package's sample rate and the accepted prompt
// entries, and the uncoded clip container made of their prepared recordings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/lists.h"
#include "platform/file.h"
#include "platform/progress.h"
#include "resfile/textindex.h"

namespace qm {

class CClipSet {
  public:
    // Opens the package and takes the build type's clip resource rate.
    // Returns 1 on success, 0 with err set.
    int OpenPackage(int buildType, const std::string& path, std::string& err);
    // Appends one uncoded clip container at the end of out (opened "wb"), one
    // record per index text, in index order, each recording levelled toward
    // levelTarget. Returns 1, or 0 with err set.
    int WriteClipContainer(float levelTarget, File* out, const std::vector<IndexText>& indexTexts,
                           std::string& err);
    void Clear();

    int32_t sampleRate = 0;
    std::vector<PromptEntry> entries;
    // The account of a recording that WriteClipContainer could not prepare.
    Problem problem;
    // Told "writing clips", k of n, as each record is written (may be null).
    ProgressSink* progress = nullptr;
};

}  // namespace qm
