// Every record of a package's clip sets with its text, and its audio decoded
// whatever its coding: what `extract` writes and `diff` compares. The records
// come from the inspector's reading of the package, so a damaged package
// gives records with errors, never a read outside the file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "resfile/inspect.h"

namespace qm {

// One record of a clip set, or one text without a readable record.
struct PackageRecord {
    std::string set;     // "prompt", "bgsound" or "role"
    int32_t role = 0;    // 1-based role number; 0 for the prompt and background sets
    int32_t roleId = 0;  // the role identifier from the role index table
    uint32_t number = 0;
    bool hasText = false;  // the text index has text `number`
    std::string text;      // UTF-8; empty without a text
    std::vector<uint8_t> classes;
    std::vector<std::string> segments;  // the text of each segment, UTF-8
    bool hasClip = false;               // the clip container has a readable record `number`
    uint32_t samples = 0;
    uint32_t durationMs = 0;
    uint8_t coding = 0;
    uint8_t rateByte = 0;
    int32_t rate = 0;           // 0 when the rate byte is not one of the four
    uint64_t offset = 0;        // of the record's sample count from the start of the package
    uint64_t length = 0;        // the count and the data
    uint64_t containerEnd = 0;  // end of its clip container in the package
};

// Which records to take: empty lists take everything.
struct RecordSelection {
    std::vector<std::string> sets;  // "prompt", "bgsound", "role"
    std::vector<int32_t> roleIds;   // role identifiers
    std::vector<uint32_t> numbers;  // record numbers
};

// The records of an inspected package in set order (prompt, background,
// roles in role order), each set in record order, filtered by the selection.
std::vector<PackageRecord> PackageRecords(const InspectReport& report,
                                          const RecordSelection& selection = {});

// Decodes one record read from the open package into 16-bit samples (its
// sample count of them). False with a one-line English error when it has
// no record, its coding is unknown, its data lies outside its clip container
// or the decoder refuses it.
bool DecodeRecord(File& package, const PackageRecord& record, std::vector<int16_t>& samples,
                  std::string& err);

// Runs work(i) for i in [0, count) on `jobs` threads (0: one per core, at
// most 16), each index once. work must be safe to run concurrently for
// different indices.
void ForEachIndex(size_t count, int jobs, const std::function<void(size_t)>& work);

// Decodes every record on `jobs` threads, each opening the package on its
// own, and hands each result to done(index, samples, error) on the thread
// that decoded it (error empty on success). False with err when the package
// cannot be opened.
bool DecodeRecords(
    const std::string& path, const std::vector<PackageRecord>& records, int jobs,
    const std::function<void(size_t, const std::vector<int16_t>&, const std::string&)>& done,
    std::string& err);

}  // namespace qm
