// `conform`: turns a folder of recordings in any common format, with lists
// in any common encoding, into a folder the build takes: lists in code page
// 936 with CR LF line ends, recordings as 16-bit mono WAVs with the plain
// 44-byte header (optionally at an exact rate), the layout kept. The input
// folder is only read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/conform_audio.h"
#include "input/conform_text.h"

namespace qm {

struct ConformOptions {
    std::string inDir;
    std::string outDir;
    int32_t rate = 0;  // 0: every recording keeps its rate
    ListEncoding lists = ListEncoding::kAuto;
    bool force = false;  // replace files that exist in outDir
};

// One list file ("TextList.txt", "WaveList.txt" or "Config.ini").
struct ConformedList {
    std::string path;  // relative to both folders, "/"-separated (UTF-8)
    bool ok = false;
    std::string error;
    std::string encoding;  // as ListText::encoding
    size_t lines = 0;
    size_t droppedBlank = 0;
    size_t renamed = 0;  // WaveList lines whose extension became ".wav"
};

// One recording named by a WaveList line.
struct ConformedRecording {
    std::string list;    // the WaveList, relative to the folders
    size_t line = 0;     // its line number in that list
    std::string source;  // relative to the input folder (UTF-8)
    std::string output;  // relative to the output folder (UTF-8)
    bool ok = false;
    std::string error;
    bool raw = false;       // a ".pcm" file, copied as it is
    size_t sameAsLine = 0;  // a repeat of an earlier line of the same list
    AudioFacts in;
    int32_t outRate = 0;
    uint64_t outSamples = 0;
    uint64_t clipped = 0;
    std::vector<std::string> changes;  // what changed, e.g. "channels 2 -> 1"
};

// A failure that belongs to no list file or recording (a role folder).
struct ConformProblem {
    std::string where;
    std::string message;
};

struct ConformTotals {
    size_t recordings = 0, conformed = 0, changed = 0, failed = 0;
    size_t lists = 0, listsFailed = 0, problems = 0;
    uint64_t clipped = 0;
};

struct ConformReport {
    std::vector<ConformedList> lists;
    std::vector<ConformedRecording> recordings;
    std::vector<ConformProblem> problems;
    ConformTotals Totals() const;
};

enum class ConformOutcome {
    kAllConformed,  // exit 0
    kSomeFailed,    // exit 1: the report lists them
    kRefused,       // exit 1: nothing was done; err says why
    kBadUsage,      // exit 2: err says why
};

// Runs the whole conversion. For kRefused and kBadUsage, err holds the
// message as its first line, possibly followed by lines indented by two
// spaces.
ConformOutcome ConformFolder(const ConformOptions& options, ConformReport& report,
                             std::string& err);

}  // namespace qm
