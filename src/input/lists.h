// The two list files of a prompt folder: "TextList.txt" and "WaveList.txt".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/audio.h"
#include "platform/problem.h"

namespace qm {

struct PromptEntry {
    std::string text;        // code page 936 bytes, trimmed, 1..512 bytes
    std::string path;        // native UTF-8 path: folder + "/" + listed name
    std::string listedName;  // the name as written in "WaveList.txt" (code page 936)
    AudioKind kind = AUDIO_WAV;
    int32_t sampleRate = 0;
    size_t line = 0;  // its line in both lists (1-based)
};

// Reads "TextList.txt" and "WaveList.txt" from the current directory and
// appends one entry per line pair to list; folder (UTF-8, no trailing "/")
// forms the audio paths. On failure err holds the message (UTF-8) and why
// (when given) the whole account of the first problem.
bool LoadPromptLists(std::vector<PromptEntry>& list, int32_t packageRate, const std::string& folder,
                     std::string& err, Problem* why = nullptr);
// The same load, going on past problems: appends every entry that passes its
// checks to list and every problem, in the order a build meets them, to
// problems, stopping after limit problems. The first problem is the one
// LoadPromptLists reports; duplicates are sought only when all else passed
// or the limit allows going on.
void ScanPromptLists(std::vector<PromptEntry>& list, int32_t packageRate, const std::string& folder,
                     size_t limit, std::vector<Problem>& problems);

// Reads a list file the way the Windows text mode and 1023-byte line reads
// see it: each element is one read (trimmed later by the caller).
bool ReadListLines(const std::string& name, std::vector<std::string>& lines);

}  // namespace qm
