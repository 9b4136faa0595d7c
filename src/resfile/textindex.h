// The text index: the filed texts grouped by segment count, and the writer of
// the text index block ("TSPTMBGDV4") with "New-TextLst.txt".
#pragma once

#include <array>
#include <string>
#include <vector>

#include "input/lists.h"
#include "input/segment.h"
#include "platform/file.h"

namespace qm {

// One text of the index order: the normalised text and the prompt entry it
// came from, so its record takes that entry's audio.
struct IndexText {
    std::string text;
    int32_t entry = -1;
};

class CTextIndex {
public:
    // Segments the entry's text and files it at the end of its bucket.
    // promptNumber is the entry's 1-based position in the prompt list.
    bool AddText(const PromptEntry& entry, int32_t promptNumber, std::string& err);
    // Appends one block at the end of out, fills indexTexts in index order and
    // writes "New-TextLst.txt" in the current directory. out == nullptr (or not
    // open) fails with the no-stream message.
    bool WriteBlock(File* out, std::vector<IndexText>& indexTexts, std::string& err);
    void Clear();
    size_t TextCount() const;
    const std::array<std::vector<IndexedText>, kMaxSegments>& Buckets() const { return buckets_; }

private:
    std::array<std::vector<IndexedText>, kMaxSegments> buckets_;
};

}  // namespace qm
