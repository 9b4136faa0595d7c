#include "resfile/textindex.h"

#include <cstring>

#include "platform/bytes.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "resfile/formats.h"

namespace qm {
namespace {

constexpr const char* kTextListName = "New-TextLst.txt";
// Text numbers of the block are 16-bit.
constexpr size_t kMaxIndexTexts = 65535;

}  // namespace

bool CTextIndex::AddText(const PromptEntry& entry, int32_t promptNumber, std::string& err) {
    if (TextCount() >= kMaxIndexTexts) {
        err = "the number of texts exceed the maximum limit（65535）!";
        return false;
    }
    IndexedText t;
    if (!SegmentText(entry.text, promptNumber, t, err)) return false;
    t.entry = promptNumber - 1;
    buckets_[static_cast<size_t>(t.segmentCount - 1)].push_back(std::move(t));
    return true;
}

void CTextIndex::Clear() {
    for (auto& b : buckets_) {
        b.clear();
        b.shrink_to_fit();
    }
}

size_t CTextIndex::TextCount() const {
    size_t n = 0;
    for (const auto& b : buckets_) n += b.size();
    return n;
}

bool CTextIndex::WriteBlock(File* out, std::vector<IndexText>& indexTexts, std::string& err) {
    if (out == nullptr || !out->IsOpen()) {
        err = "打开文件TextLst.txt失败！";
        return false;
    }
    const size_t total = TextCount();
    if (total > kMaxIndexTexts) {
        err = "the number of texts exceed the maximum limit（65535）!";
        return false;
    }
    const std::string outName = PathFindFileName(out->Path());
    if (!out->SeekEnd()) {
        err = Format("Can not write file %s！", outName.c_str());
        return false;
    }
    const int64_t start = out->Tell();
    if (start < 0) {
        err = Format("Can not write file %s！", outName.c_str());
        return false;
    }
    File list;
    if (!list.Open(kTextListName, "wb")) {
        err = Format("刷新文件%s失败！", kTextListName);
        return false;
    }

    // Sizes first: the records come from the bucket sizes, the pool from the
    // UTF-16 lengths of the segments, converted as the second pass does.
    size_t recordBytes = 0;
    size_t poolUnits = 0;
    for (size_t b = 0; b < kMaxSegments; ++b) {
        recordBytes += buckets_[b].size() * 2 * (b + 1);
        for (const IndexedText& t : buckets_[b]) {
            size_t pos = 0;
            for (int32_t k = 0; k < t.segmentCount; ++k) {
                const size_t len = static_cast<size_t>(t.lengths[k]);
                poolUnits += Cp936ToUtf16(std::string_view(t.text).substr(pos, len)).size();
                pos += len;
            }
        }
    }
    const size_t recordsAt = kTextIndexHeaderSize;
    const size_t offsetsAt = recordsAt + recordBytes;
    const size_t lengthsAt = offsetsAt + 4 * total;
    const size_t poolAt = lengthsAt + 2 * total;
    const size_t blockSize = poolAt + 2 * poolUnits;
    std::vector<unsigned char> block(blockSize, 0);

    std::memcpy(block.data(), kTextIndexMagic, sizeof kTextIndexMagic);
    PutU16(&block[10], static_cast<uint16_t>(kTextIndexBuckets));
    PutU32(&block[12], static_cast<uint32_t>(poolAt));
    PutU32(&block[16], static_cast<uint32_t>(offsetsAt));
    PutU32(&block[20], static_cast<uint32_t>(lengthsAt));

    indexTexts.reserve(indexTexts.size() + total);
    size_t recordPos = recordsAt;
    size_t number = 0;
    size_t poolByte = 0;
    for (size_t b = 0; b < kMaxSegments; ++b) {
        unsigned char* entry = &block[24 + 8 * b];
        const size_t count = buckets_[b].size();
        PutU32(entry, count == 0 ? 0u : static_cast<uint32_t>(recordPos));
        PutU16(entry + 4, static_cast<uint16_t>(number));
        PutU16(entry + 6, static_cast<uint16_t>(count));
        for (const IndexedText& t : buckets_[b]) {
            // Each segment is converted on its own; its units give the
            // record's length byte and go into the pool in order.
            const size_t textByte = poolByte;
            size_t pos = 0;
            for (int32_t k = 0; k < t.segmentCount; ++k) {
                const size_t len = static_cast<size_t>(t.lengths[k]);
                std::u16string seg = Cp936ToUtf16(std::string_view(t.text).substr(pos, len));
                pos += len;
                block[recordPos++] = static_cast<unsigned char>(t.classes[k]);
                // Segmentation refuses segments over 255 units, so this is exact.
                block[recordPos++] = static_cast<unsigned char>(seg.size());
                for (char16_t u : seg) {
                    PutU16(&block[poolAt + poolByte], static_cast<uint16_t>(u));
                    poolByte += 2;
                }
            }
            PutU32(&block[offsetsAt + 4 * number], static_cast<uint32_t>(textByte));
            PutU16(&block[lengthsAt + 2 * number],
                   static_cast<uint16_t>((poolByte - textByte) / 2));
            list.Write(t.text.data(), t.text.size());
            list.Write("\r\n", 2);
            indexTexts.push_back(IndexText{t.text, t.entry});
            ++number;
        }
    }

    // The stream is left just after the header, as after a header written
    // last over its placeholder; the flush makes a full disk show here.
    if (!out->Write(block.data(), blockSize) ||
        !out->Seek(start + static_cast<int64_t>(kTextIndexHeaderSize)) || !out->Flush()) {
        err = Format("Can not write file %s！", outName.c_str());
        return false;
    }
    if (!list.Close()) {
        err = Format("Can not write file %s！", kTextListName);
        return false;
    }
    return true;
}

}  // namespace qm
