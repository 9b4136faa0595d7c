// What changed between two packages, set by set: texts added and removed,
// texts whose decoded audio or whose coding or rate changed, records that
// cannot be decoded, and the resources outside the tool's six that differ.
// Plain data; the command line renders it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resfile/inspect.h"

namespace qm {

// A text of a set as the comparison names it: its text (or, for a record
// without a text, its number) and the record numbers on each side.
struct DiffItem {
    bool hasText = true;
    std::string text;
    uint32_t oldRecord = 0;
    uint32_t newRecord = 0;
    std::string detail;  // coding change or error
};

// One set (the prompt set, the background set, or a role) of either package.
// A coding or rate change alone does not make a set differ; its audio does.
struct SetDiff {
    std::string name;  // "prompt", "bgsound", "role 1", ...
    int32_t roleId = 0;
    bool role = false;
    std::vector<DiffItem> added, removed, audioChanged, codingChanged, errors;
    bool Same() const {
        return added.empty() && removed.empty() && audioChanged.empty() && errors.empty();
    }
};

// A resource outside the tool's six, by identifier (the first entry of each).
struct ResourceDiff {
    std::string id;
    std::string change;  // "added", "removed", "changed"
};

// Same: the packages hold the same texts and audio and the same other resources.
struct PackageDiff {
    std::vector<SetDiff> sets;
    std::vector<ResourceDiff> resources;
    bool Same() const {
        for (const SetDiff& s : sets)
            if (!s.Same()) return false;
        return resources.empty();
    }
};

// Compares two inspected packages (read again from their paths to decode
// the records, on `jobs` threads, 0 for one per core). Roles are matched by
// identifier (repeated identifiers by their order), texts by their text
// (repeated texts by their order); audio is compared on decoded samples and
// the rate, so a re-coded clip that decodes to the same samples is the same.
PackageDiff ComparePackages(const std::string& oldPath, const InspectReport& oldReport,
                            const std::string& newPath, const InspectReport& newReport, int jobs);

}  // namespace qm
