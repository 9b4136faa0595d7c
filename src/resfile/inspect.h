// The package inspector: what a package holds (its directory, the rate and
// coding of each clip resource, the texts of each text index with the
// duration of their clips) and what it finds inconsistent, as plain data for
// the front ends to render. The format readers check each resource; the
// inspector pairs them (texts with records, role index with role clips). It
// reads any file without trusting a single number in it; a damaged package
// yields findings, never a crash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resfile/formats.h"

namespace qm {

struct InspectEntry {
    ResourceId id{};
    std::string name;  // "prompt index", ..., or "" for a resource the tool does not own
    uint32_t offset = 0;
    uint32_t size = 0;
};

// One text of a text index, in index order, with its clip record.
struct InspectText {
    uint32_t number = 0;
    std::string text;      // UTF-8
    bool hasClip = false;  // the clip container has a readable record for it
    uint32_t samples = 0;
    uint32_t durationMs = 0;  // samples at the container's rate, rounded to the nearest ms
    // Where the record lies in the package: the offset of its sample count
    // from the start of the file, and its length (the count and the data its
    // sample count and coding call for; for an unknown coding, up to the next
    // table entry). Set with hasClip.
    uint64_t offset = 0;
    uint64_t length = 0;
    std::vector<uint8_t> classes;       // segment classes of the text, in segment order
    std::vector<std::string> segments;  // the text of each segment (UTF-8)
};

// A text index and its clip container: the prompt pair, the background pair,
// or one role of the role pair.
struct InspectSet {
    std::string name;    // "prompt", "bgsound", "role 1", "role 2", ...
    int32_t role = 0;    // 1-based role number; 0 for the prompt and background sets
    int32_t roleId = 0;  // the role identifier from the role index table
    bool hasIndex = false;
    bool hasClips = false;
    uint8_t rateByte = 0;
    int32_t rate = 0;  // Hz; 0 when the rate byte is not one of the four
    uint8_t coding = 0;
    uint32_t records = 0;  // clip count of the container header
    // Where the clip container lies in the package (with hasClips).
    uint64_t clipsOffset = 0;
    uint64_t clipsSize = 0;
    std::vector<InspectText> texts;
    // Readable records past the last text (all of them when there is no text
    // index), numbered from texts.size(), with an empty text.
    std::vector<InspectText> unindexed;
};

// The outer frame of the role index file or of the role clip container.
struct InspectRoleFrame {
    bool present = false;
    uint32_t roles = 0;
    uint32_t totalLength = 0;
    uint8_t rateByte = 0;  // role clip container only
    uint8_t coding = 0;    // role clip container only
};

struct InspectReport {
    std::string path;
    uint64_t fileSize = 0;
    uint32_t dataEnd = 0;
    std::vector<InspectEntry> entries;
    InspectRoleFrame roleIndex;
    InspectRoleFrame roleClips;
    std::vector<InspectSet> sets;
    std::vector<std::string> problems;  // empty when nothing is inconsistent
};

// Reads the package at path. False (with "Can not open file %s" or
// "Incorrect IRF file format") only when the file cannot be read or is no
// package at all (magic, entry count, directory cut short); everything else
// it finds wrong goes into report.problems.
bool InspectPackage(const std::string& path, InspectReport& report, std::string& err);

}  // namespace qm
