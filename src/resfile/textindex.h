// The text index: the filed texts grouped by segment count, the writer of the
// text index block ("TSPTMBGDV4") with "New-TextLst.txt", and its reader.
//
// The block: a 344-byte header (magic, bucket count 40, the offsets of the
// text pool, the text offset table and the text length table, 40 bucket
// entries of first-record offset, first text number and text count), then
// per text one (class, length) byte pair per segment, T u32 text offsets
// into the pool, T u16 text lengths and the pool of UTF-16LE text. Bucket b
// holds the texts of b + 1 segments. Offsets are relative to the block.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "resfile/byte_source.h"
#include "resfile/segment.h"

namespace qm {

inline constexpr char kTextIndexMagic[10] = {'T', 'S', 'P', 'T', 'M', 'B', 'G', 'D', 'V', '4'};
inline constexpr uint32_t kTextIndexBuckets = 40;
inline constexpr uint32_t kTextIndexHeaderSize = 344;

// One text of the index order: the normalised text and the prompt entry it
// came from, so its record takes that entry's audio.
struct IndexText {
    std::string text;
    int32_t entry = -1;
};

class CTextIndex {
  public:
    // Segments a prompt entry's text and files it at the end of its bucket.
    // promptNumber is the entry's 1-based position in the prompt list.
    // why (when given) gets the account of a refusal.
    bool AddText(const std::string& text, int32_t promptNumber, std::string& err,
                 Problem* why = nullptr);
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

// The bytes of a block without texts: the header alone, its three section
// offsets all 344, every bucket empty.
std::vector<unsigned char> EmptyTextIndexBlock();

// One text of a block as read back, in index order.
struct TextSegment {
    uint8_t segmentClass = 0;
    uint8_t length = 0;  // UTF-16 units
};
struct TextIndexText {
    uint32_t number = 0;
    uint16_t length = 0;                // from the length table, in UTF-16 units
    bool textInside = false;            // the text lies inside the block
    std::u16string text;                // empty when it does not
    std::vector<TextSegment> segments;  // empty when its records lie outside the block
};

// Reads and checks a text index block. texts gets every text once the tables
// fit in the block; problems gets every inconsistency, one English sentence
// each: too short, magic, bucket count, buckets whose numbers or records do
// not follow each other, tables that do not follow each other or do not fit,
// texts outside the pool or not following each other, segment lengths that
// do not add up to the text's length, a block that does not end with its
// last text. Never reads outside the source.
void ReadTextIndexBlock(const ByteSource& src, std::vector<TextIndexText>& texts,
                        std::vector<std::string>& problems);

// UTF-16 code units as UTF-8; a unit of an unpaired surrogate gives U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);

}  // namespace qm
