#include "resfile/textindex.h"

#include <cstring>

#include "platform/bytes.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "resfile/findings.h"

namespace qm {
namespace {

constexpr const char* kTextListName = "New-TextLst.txt";
// Text numbers of the block are 16-bit.
constexpr size_t kMaxIndexTexts = 65535;

}  // namespace

bool CTextIndex::AddText(const std::string& text, int32_t promptNumber, std::string& err,
                         Problem* why) {
    if (TextCount() >= kMaxIndexTexts) {
        err = "the number of texts exceed the maximum limit（65535）!";
        return false;
    }
    IndexedText t;
    if (!SegmentText(text, promptNumber, t, err, why)) return false;
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
    // The text list is the writer's own file: a link at its name goes.
    if (!list.Create(kTextListName, "wb")) {
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

std::vector<unsigned char> EmptyTextIndexBlock() {
    std::vector<unsigned char> b(kTextIndexHeaderSize, 0);
    std::memcpy(b.data(), kTextIndexMagic, sizeof kTextIndexMagic);
    PutU16(b.data() + 10, kTextIndexBuckets);
    PutU32(b.data() + 12, kTextIndexHeaderSize);
    PutU32(b.data() + 16, kTextIndexHeaderSize);
    PutU32(b.data() + 20, kTextIndexHeaderSize);
    // Every bucket entry: offset 0, first text 0, count 0.
    return b;
}

std::string Utf16ToUtf8(std::u16string_view units) {
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t u = units[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size()) {
            const char32_t lo = units[i + 1];
            if (lo >= 0xDC00 && lo < 0xE000) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u < 0xE000) u = 0xFFFD;
        AppendUtf8(out, u);
    }
    return out;
}

void ReadTextIndexBlock(const ByteSource& src, std::vector<TextIndexText>& texts,
                        std::vector<std::string>& problems) {
    texts.clear();
    const unsigned long long size = src.Size();
    if (size < kTextIndexHeaderSize) {
        problems.push_back(Format("%llu bytes, too short for a text index block (%u)", size,
                                  kTextIndexHeaderSize));
        return;
    }
    std::vector<unsigned char> b;
    if (!src.ReadAll(b)) {
        problems.push_back("cannot be read");
        return;
    }
    if (std::memcmp(b.data(), kTextIndexMagic, sizeof kTextIndexMagic) != 0) {
        problems.push_back("no text index magic \"TSPTMBGDV4\"");
        return;
    }
    if (GetU16(b.data() + 10) != kTextIndexBuckets) {
        problems.push_back(
            Format("bucket count %u, not %u", GetU16(b.data() + 10), kTextIndexBuckets));
        return;
    }
    const uint32_t poolOff = GetU32(b.data() + 12);
    const uint32_t offTab = GetU32(b.data() + 16);
    const uint32_t lenTab = GetU32(b.data() + 20);

    // Buckets: consecutive text numbers, segment records back to back.
    struct Bucket {
        uint32_t offset;
        uint32_t first;
        uint32_t count;
    };
    std::vector<Bucket> buckets(kTextIndexBuckets);
    uint64_t textCount = 0;
    uint64_t segPos = kTextIndexHeaderSize;
    for (uint32_t k = 0; k < kTextIndexBuckets; ++k) {
        const unsigned char* p = b.data() + 24 + 8 * k;
        buckets[k] = {GetU32(p), GetU16(p + 4), GetU16(p + 6)};
        if (buckets[k].first != textCount % 65536) {
            problems.push_back(Format("bucket %u starts at text %u, expected %llu", k,
                                      buckets[k].first,
                                      static_cast<unsigned long long>(textCount)));
        }
        const uint64_t expectedOffset = buckets[k].count == 0 ? 0 : segPos;
        if (buckets[k].offset != expectedOffset) {
            problems.push_back(Format("bucket %u: segment records at %u, expected %llu", k,
                                      buckets[k].offset,
                                      static_cast<unsigned long long>(expectedOffset)));
        }
        textCount += buckets[k].count;
        segPos += uint64_t{2} * (k + 1) * buckets[k].count;
    }
    const unsigned long long offTabEnd = uint64_t{offTab} + 4 * textCount;
    const unsigned long long lenTabEnd = uint64_t{lenTab} + 2 * textCount;
    if (offTab != segPos) {
        problems.push_back(Format("text offset table at %u, expected %llu", offTab,
                                  static_cast<unsigned long long>(segPos)));
    }
    if (lenTab != offTabEnd) {
        problems.push_back(Format("text length table at %u, expected %llu", lenTab, offTabEnd));
    }
    if (poolOff != lenTabEnd) {
        problems.push_back(Format("text pool at %u, expected %llu", poolOff, lenTabEnd));
    }
    if (offTabEnd > size || lenTabEnd > size || poolOff > size) {
        problems.push_back(Format("the tables of %llu texts do not fit in the block of %llu bytes",
                                  static_cast<unsigned long long>(textCount), size));
        return;
    }

    Tally outside("texts lie outside the text pool");
    Tally gaps("texts do not follow the previous text in the pool");
    Tally segments("texts whose segment lengths do not add up to their length");
    Tally noSegments("texts whose segment records lie outside the block");
    uint64_t poolPos = 0;
    texts.reserve(static_cast<size_t>(textCount));
    uint32_t number = 0;
    for (uint32_t k = 0; k < kTextIndexBuckets; ++k) {
        for (uint32_t i = 0; i < buckets[k].count; ++i, ++number) {
            TextIndexText t;
            t.number = number;
            const uint32_t off = GetU32(b.data() + offTab + 4 * uint64_t{number});
            t.length = GetU16(b.data() + lenTab + 2 * uint64_t{number});
            if (off != poolPos) gaps.Hit(number);
            poolPos = uint64_t{off} + 2 * uint64_t{t.length};
            if (uint64_t{poolOff} + off + 2 * uint64_t{t.length} > size) {
                outside.Hit(number);
            } else {
                t.textInside = true;
                const unsigned char* p = b.data() + poolOff + off;
                t.text.resize(t.length);
                for (uint32_t u = 0; u < t.length; ++u) t.text[u] = GetU16(p + 2 * u);
            }
            const uint64_t rec = uint64_t{buckets[k].offset} + uint64_t{2} * (k + 1) * i;
            if (buckets[k].offset == 0 || rec + 2 * (k + 1) > size) {
                noSegments.Hit(number);
            } else {
                uint64_t sum = 0;
                t.segments.resize(k + 1);
                for (uint32_t s = 0; s <= k; ++s) {
                    t.segments[s] = {b[rec + 2 * s], b[rec + 2 * s + 1]};
                    sum += t.segments[s].length;
                }
                if (sum != t.length) segments.Hit(number);
            }
            texts.push_back(std::move(t));
        }
    }
    outside.Report(problems);
    gaps.Report(problems);
    segments.Report(problems);
    noSegments.Report(problems);
    if (uint64_t{poolOff} + poolPos != size) {
        problems.push_back(Format("block of %llu bytes, its texts end at %llu", size,
                                  static_cast<unsigned long long>(uint64_t{poolOff} + poolPos)));
    }
}

}  // namespace qm
