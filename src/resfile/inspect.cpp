#include "resfile/inspect.h"

#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/text.h"
#include "resfile/package.h"

namespace qm {
namespace {

// A byte range of the package file, read on demand. Reads outside the range
// fail instead of reaching into the neighbouring data.
class Region {
  public:
    Region(File* file, uint64_t base, uint64_t size) : file_(file), base_(base), size_(size) {}
    uint64_t size() const { return size_; }
    bool Read(uint64_t off, void* out, size_t n) const {
        if (off > size_ || n > size_ - off) return false;
        return file_->Seek(static_cast<int64_t>(base_ + off)) && file_->ReadExact(out, n);
    }
    bool U32(uint64_t off, uint32_t& v) const {
        unsigned char b[4];
        if (!Read(off, b, 4)) return false;
        v = GetU32(b);
        return true;
    }
    bool All(std::vector<unsigned char>& out) const {
        out.resize(static_cast<size_t>(size_));
        return Read(0, out.data(), out.size());
    }
    // A part of this region; the caller has checked that it lies inside.
    Region Sub(uint64_t off, uint64_t size) const { return Region(file_, base_ + off, size); }

  private:
    File* file_;
    uint64_t base_;
    uint64_t size_;
};

// Collects the findings of one resource, each prefixed with its name.
class Findings {
  public:
    Findings(std::vector<std::string>* out, std::string prefix)
        : out_(out), prefix_(std::move(prefix)) {}
    void Add(const std::string& what) { out_->push_back(prefix_ + ": " + what); }

  private:
    std::vector<std::string>* out_;
    std::string prefix_;
};

// Counts per-item faults of one kind and reports them once, with the first.
class Tally {
  public:
    explicit Tally(std::string what) : what_(std::move(what)) {}
    void Hit(uint64_t item) {
        if (count_++ == 0) first_ = item;
    }
    void Report(Findings& f) const {
        if (count_ == 0) return;
        f.Add(Format("%llu %s, the first %llu", static_cast<unsigned long long>(count_),
                     what_.c_str(), static_cast<unsigned long long>(first_)));
    }

  private:
    std::string what_;
    uint64_t count_ = 0;
    uint64_t first_ = 0;
};

std::string Utf16ToUtf8(const unsigned char* p, size_t units) {
    std::string out;
    for (size_t i = 0; i < units; ++i) {
        char32_t u = GetU16(p + 2 * i);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units) {
            char32_t lo = GetU16(p + 2 * (i + 1));
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

// A text index block: its texts in index order, its inconsistencies.
void ParseTextIndex(const Region& region, Findings& f, std::vector<InspectText>& texts) {
    std::vector<unsigned char> b;
    if (region.size() < kTextIndexHeaderSize) {
        f.Add(Format("%llu bytes, too short for a text index block (%u)",
                     static_cast<unsigned long long>(region.size()), kTextIndexHeaderSize));
        return;
    }
    if (!region.All(b)) {
        f.Add("cannot be read");
        return;
    }
    if (std::memcmp(b.data(), kTextIndexMagic, sizeof kTextIndexMagic) != 0) {
        f.Add("no text index magic \"TSPTMBGDV4\"");
        return;
    }
    if (GetU16(b.data() + 10) != kTextIndexBuckets) {
        f.Add(Format("bucket count %u, not %u", GetU16(b.data() + 10), kTextIndexBuckets));
        return;
    }
    const uint64_t size = b.size();
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
            f.Add(Format("bucket %u starts at text %u, expected %llu", k, buckets[k].first,
                         static_cast<unsigned long long>(textCount)));
        }
        uint64_t expectedOffset = buckets[k].count == 0 ? 0 : segPos;
        if (buckets[k].offset != expectedOffset) {
            f.Add(Format("bucket %u: segment records at %u, expected %llu", k, buckets[k].offset,
                         static_cast<unsigned long long>(expectedOffset)));
        }
        textCount += buckets[k].count;
        segPos += uint64_t{2} * (k + 1) * buckets[k].count;
    }
    if (offTab != segPos) {
        f.Add(Format("text offset table at %u, expected %llu", offTab,
                     static_cast<unsigned long long>(segPos)));
    }
    if (lenTab != uint64_t{offTab} + 4 * textCount) {
        f.Add(Format("text length table at %u, expected %llu", lenTab,
                     static_cast<unsigned long long>(uint64_t{offTab} + 4 * textCount)));
    }
    if (poolOff != uint64_t{lenTab} + 2 * textCount) {
        f.Add(Format("text pool at %u, expected %llu", poolOff,
                     static_cast<unsigned long long>(uint64_t{lenTab} + 2 * textCount)));
    }
    if (uint64_t{offTab} + 4 * textCount > size || uint64_t{lenTab} + 2 * textCount > size ||
        poolOff > size) {
        f.Add(Format("the tables of %llu texts do not fit in the block of %llu bytes",
                     static_cast<unsigned long long>(textCount),
                     static_cast<unsigned long long>(size)));
        return;
    }

    Tally outside("texts lie outside the text pool");
    Tally gaps("texts do not follow the previous text in the pool");
    Tally segments("texts whose segment lengths do not add up to their length");
    Tally noSegments("texts whose segment records lie outside the block");
    uint64_t poolPos = 0;
    texts.clear();
    texts.reserve(static_cast<size_t>(textCount));
    uint32_t number = 0;
    for (uint32_t k = 0; k < kTextIndexBuckets; ++k) {
        for (uint32_t i = 0; i < buckets[k].count; ++i, ++number) {
            InspectText t;
            t.number = number;
            uint32_t off = GetU32(b.data() + offTab + 4 * uint64_t{number});
            uint32_t len = GetU16(b.data() + lenTab + 2 * uint64_t{number});
            if (off != poolPos) gaps.Hit(number);
            poolPos = uint64_t{off} + 2 * uint64_t{len};
            if (uint64_t{poolOff} + off + 2 * uint64_t{len} > size) {
                outside.Hit(number);
            } else {
                t.text = Utf16ToUtf8(b.data() + poolOff + off, len);
            }
            uint64_t rec = uint64_t{buckets[k].offset} + uint64_t{2} * (k + 1) * i;
            if (buckets[k].offset == 0 || rec + 2 * (k + 1) > size) {
                noSegments.Hit(number);
            } else {
                uint64_t sum = 0;
                for (uint32_t s = 0; s <= k; ++s) sum += b[rec + 2 * s + 1];
                if (sum != len) segments.Hit(number);
            }
            texts.push_back(std::move(t));
        }
    }
    outside.Report(f);
    gaps.Report(f);
    segments.Report(f);
    noSegments.Report(f);
    if (uint64_t{poolOff} + poolPos != size) {
        f.Add(Format("block of %llu bytes, its texts end at %llu",
                     static_cast<unsigned long long>(size),
                     static_cast<unsigned long long>(uint64_t{poolOff} + poolPos)));
    }
}

// A clip container: its header fields, each record's sample count, its
// inconsistencies. samples[k] is left absent (hasClip false) for a record
// that cannot be read.
struct ClipInfo {
    uint8_t rateByte = 0;
    uint8_t coding = 0;
    uint32_t count = 0;
    std::vector<bool> readable;
    std::vector<uint32_t> samples;
};

void ParseClips(const Region& region, Findings& f, ClipInfo& info) {
    unsigned char h[kClipHeaderSize];
    if (region.size() < kClipHeaderSize || !region.Read(0, h, sizeof h)) {
        f.Add(Format("%llu bytes, too short for a clip container (%u)",
                     static_cast<unsigned long long>(region.size()), kClipHeaderSize));
        return;
    }
    if (std::memcmp(h, kClipMagic, sizeof kClipMagic) != 0) {
        f.Add("no clip container magic \"Tessaphone Voice Data V3\"");
        return;
    }
    for (uint32_t i = sizeof kClipMagic; i < kClipMagicField; ++i) {
        if (h[i] != 0) {
            f.Add("magic field not padded with zero bytes");
            break;
        }
    }
    if (GetU16(h + 30) != kClipMarkerA || GetU16(h + 32) != kClipMarkerB) {
        f.Add(Format("markers 0x%04X 0x%04X, expected 0x1234 0xCCCC", GetU16(h + 30),
                     GetU16(h + 32)));
    }
    info.rateByte = h[kClipRateOffset];
    info.coding = h[kClipCodingOffset];
    info.count = GetU32(h + kClipCountOffset);
    if (RateFromByte(info.rateByte) == 0) {
        f.Add(Format("rate byte %u is not 8, 11, 16 or 22", info.rateByte));
    }
    uint64_t dummy;
    bool knownCoding = CodedRecordBytes(info.coding, 0, dummy);
    if (!knownCoding) f.Add(Format("unknown coding byte %u", info.coding));
    const uint64_t tableEnd = kClipHeaderSize + 4 * (uint64_t{info.count} + 1);
    if (tableEnd > region.size()) {
        f.Add(Format("offset table of %llu entries does not fit in %llu bytes",
                     static_cast<unsigned long long>(uint64_t{info.count} + 1),
                     static_cast<unsigned long long>(region.size())));
        return;
    }
    std::vector<unsigned char> raw(static_cast<size_t>(tableEnd - kClipHeaderSize));
    if (!region.Read(kClipHeaderSize, raw.data(), raw.size())) {
        f.Add("offset table cannot be read");
        return;
    }
    std::vector<uint32_t> table(info.count + size_t{1});
    for (size_t k = 0; k < table.size(); ++k) table[k] = GetU32(raw.data() + 4 * k);
    if (table[0] != tableEnd) {
        f.Add(Format("record 0 at %u, expected %llu", table[0],
                     static_cast<unsigned long long>(tableEnd)));
    }
    if (table[info.count] != region.size()) {
        f.Add(Format("records end at %u, the container is %llu bytes", table[info.count],
                     static_cast<unsigned long long>(region.size())));
    }
    Tally order("records do not start after the previous one");
    Tally outside("records lie outside the container");
    Tally lengths("records whose length does not match their sample count and coding");
    info.readable.assign(info.count, false);
    info.samples.assign(info.count, 0);
    for (uint32_t k = 0; k < info.count; ++k) {
        uint32_t from = table[k];
        uint32_t to = table[k + 1];
        if (to <= from) order.Hit(k);
        uint32_t n = 0;
        if (from < tableEnd || uint64_t{from} + 4 > region.size() || !region.U32(from, n)) {
            outside.Hit(k);
            continue;
        }
        info.readable[k] = true;
        info.samples[k] = n;
        uint64_t bytes = 0;
        if (knownCoding && CodedRecordBytes(info.coding, n, bytes) &&
            (to <= from || uint64_t{to} - from != 4 + bytes)) {
            lengths.Hit(k);
        }
    }
    order.Report(f);
    outside.Report(f);
    lengths.Report(f);
}

struct RoleTableEntry {
    uint32_t id = 0;
    uint32_t offset = 0;
    uint32_t length = 0;
    bool inside = false;
};

// The frame of a role index file (entry 12 bytes, with an identifier) or of a
// role clip container (entry 8 bytes). Checks the chain of inner blocks.
bool ParseRoleFrame(const Region& region, Findings& f, bool isIndex, InspectRoleFrame& frame,
                    std::vector<RoleTableEntry>& table) {
    const uint32_t headerSize = isIndex ? kRoleIndexHeaderSize : kRoleClipHeaderSize;
    std::vector<unsigned char> h(headerSize);
    if (region.size() < headerSize || !region.Read(0, h.data(), h.size())) {
        f.Add(Format("%llu bytes, too short for its %u-byte header",
                     static_cast<unsigned long long>(region.size()), headerSize));
        return false;
    }
    uint32_t countAt = isIndex ? 24 : 36;
    if (isIndex) {
        if (std::memcmp(h.data(), kRoleIndexMagic, sizeof kRoleIndexMagic) != 0) {
            f.Add("no role index magic \"kdResV6\"");
            return false;
        }
    } else {
        if (std::memcmp(h.data(), kClipMagic, sizeof kClipMagic) != 0) {
            f.Add("no clip container magic \"Tessaphone Voice Data V3\"");
            return false;
        }
        frame.rateByte = h[kClipRateOffset];
        frame.coding = h[kClipCodingOffset];
        if (frame.rateByte != 16) f.Add(Format("rate byte %u, expected 16", frame.rateByte));
        if (frame.coding != 0) f.Add(Format("coding byte %u, expected 0", frame.coding));
    }
    frame.present = true;
    frame.roles = GetU32(h.data() + countAt);
    frame.totalLength = GetU32(h.data() + countAt + 4);
    if (frame.totalLength != region.size()) {
        f.Add(Format("total length %u, the resource is %llu bytes", frame.totalLength,
                     static_cast<unsigned long long>(region.size())));
    }
    const uint32_t entrySize = isIndex ? 12 : 8;
    const uint64_t tableEnd = headerSize + uint64_t{entrySize} * frame.roles;
    if (tableEnd > region.size()) {
        f.Add(Format("role table of %u roles does not fit", frame.roles));
        return false;
    }
    std::vector<unsigned char> raw(static_cast<size_t>(tableEnd - headerSize));
    if (!region.Read(headerSize, raw.data(), raw.size())) {
        f.Add("role table cannot be read");
        return false;
    }
    table.assign(frame.roles, {});
    uint64_t expected = tableEnd;
    for (uint32_t k = 0; k < frame.roles; ++k) {
        const unsigned char* p = raw.data() + size_t{entrySize} * k;
        RoleTableEntry& e = table[k];
        if (isIndex) {
            e.id = GetU32(p);
            p += 4;
        }
        e.offset = GetU32(p);
        e.length = GetU32(p + 4);
        e.inside = e.offset >= tableEnd && uint64_t{e.offset} + e.length <= region.size();
        if (e.offset != expected) {
            f.Add(Format("role %u block at %u, expected %llu", k + 1, e.offset,
                         static_cast<unsigned long long>(expected)));
        }
        if (!e.inside) f.Add(Format("role %u block lies outside the resource", k + 1));
        expected = uint64_t{e.offset} + e.length;
    }
    if (expected != region.size()) {
        f.Add(Format("role blocks end at %llu, the resource is %llu bytes",
                     static_cast<unsigned long long>(expected),
                     static_cast<unsigned long long>(region.size())));
    }
    return true;
}

void FillClips(InspectSet& set, const ClipInfo& clips) {
    set.hasClips = true;
    set.rateByte = clips.rateByte;
    set.rate = RateFromByte(clips.rateByte);
    set.coding = clips.coding;
    set.records = clips.count;
}

void PairTexts(InspectSet& set, const ClipInfo& clips, std::vector<std::string>& problems) {
    for (InspectText& t : set.texts) {
        if (t.number < clips.samples.size() && clips.readable[t.number]) {
            t.hasClip = true;
            t.samples = clips.samples[t.number];
            if (set.rate > 0) {
                t.durationMs = static_cast<uint32_t>(
                    (uint64_t{t.samples} * 1000 + static_cast<uint64_t>(set.rate / 2)) /
                    static_cast<uint64_t>(set.rate));
            }
        }
    }
    if (set.hasIndex && set.hasClips && set.texts.size() != set.records) {
        problems.push_back(Format("%s: %zu texts but %u clip records", set.name.c_str(),
                                  set.texts.size(), set.records));
    }
}

// First directory entry with an identifier (as the rate reader takes it).
const InspectEntry* FindEntry(const InspectReport& r, const ResourceId& id) {
    for (const InspectEntry& e : r.entries) {
        if (e.id == id) return &e;
    }
    return nullptr;
}

bool InsideFile(const InspectReport& r, const InspectEntry& e) {
    return uint64_t{e.offset} + e.size <= r.fileSize;
}

void InspectPair(File& file, InspectReport& r, const char* name, const ResourceId& indexId,
                 const ResourceId& clipId) {
    const InspectEntry* index = FindEntry(r, indexId);
    const InspectEntry* clip = FindEntry(r, clipId);
    if (index == nullptr && clip == nullptr) return;
    InspectSet set;
    set.name = name;
    if (index != nullptr && InsideFile(r, *index)) {
        Findings f(&r.problems, index->name);
        ParseTextIndex(Region(&file, index->offset, index->size), f, set.texts);
        set.hasIndex = true;
    }
    ClipInfo clips;
    if (clip != nullptr && InsideFile(r, *clip)) {
        Findings f(&r.problems, clip->name);
        ParseClips(Region(&file, clip->offset, clip->size), f, clips);
        FillClips(set, clips);
    }
    PairTexts(set, clips, r.problems);
    r.sets.push_back(std::move(set));
}

void InspectRoles(File& file, InspectReport& r) {
    const InspectEntry* index = FindEntry(r, kRoleIndexId);
    const InspectEntry* clip = FindEntry(r, kRoleClipId);
    std::vector<RoleTableEntry> indexTable, clipTable;
    bool indexOk = false, clipOk = false;
    Region indexRegion(&file, 0, 0), clipRegion(&file, 0, 0);
    if (index != nullptr && InsideFile(r, *index)) {
        indexRegion = Region(&file, index->offset, index->size);
        Findings f(&r.problems, index->name);
        indexOk = ParseRoleFrame(indexRegion, f, true, r.roleIndex, indexTable);
    }
    if (clip != nullptr && InsideFile(r, *clip)) {
        clipRegion = Region(&file, clip->offset, clip->size);
        Findings f(&r.problems, clip->name);
        clipOk = ParseRoleFrame(clipRegion, f, false, r.roleClips, clipTable);
    }
    if (indexOk && clipOk && r.roleIndex.roles != r.roleClips.roles) {
        r.problems.push_back(
            Format("role index has %u roles, role clips %u", r.roleIndex.roles, r.roleClips.roles));
    }
    size_t roles = std::max(indexTable.size(), clipTable.size());
    for (size_t k = 0; k < roles; ++k) {
        InspectSet set;
        set.role = static_cast<int32_t>(k + 1);
        set.name = Format("role %zu", k + 1);
        if (k < indexTable.size()) {
            set.roleId = static_cast<int32_t>(indexTable[k].id);
            if (indexTable[k].inside) {
                Findings f(&r.problems, "role index, " + set.name);
                ParseTextIndex(indexRegion.Sub(indexTable[k].offset, indexTable[k].length), f,
                               set.texts);
                set.hasIndex = true;
            }
        }
        ClipInfo clips;
        if (k < clipTable.size() && clipTable[k].inside) {
            Findings f(&r.problems, "role clips, " + set.name);
            ParseClips(clipRegion.Sub(clipTable[k].offset, clipTable[k].length), f, clips);
            FillClips(set, clips);
        }
        PairTexts(set, clips, r.problems);
        r.sets.push_back(std::move(set));
    }
}

// Control characters of a text written as escapes, so one text stays one line.
std::string EscapeControls(const std::string& text) {
    std::string out;
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (u < 0x20 || u == 0x7F) {
            out += Format("\\x%02X", u);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// Seconds with three decimals from milliseconds, without floating point.
std::string Seconds(uint32_t ms) { return Format("%u.%03u", ms / 1000, ms % 1000); }

}  // namespace

std::string ClipCodingName(uint8_t coding) {
    switch (coding) {
        case CODING_PCM16:
            return "PCM16";
        case CODING_ALAW:
            return "A-law";
        case CODING_IMA_ADPCM:
            return "IMA ADPCM";
        case CODING_G7231:
            return "G.723.1";
        default:
            return "unknown";
    }
}

bool CodedRecordBytes(uint8_t coding, uint32_t n, uint64_t& bytes) {
    switch (coding) {
        case CODING_PCM16:
            bytes = uint64_t{n} * 2;
            return true;
        case CODING_ALAW:
            bytes = n;
            return true;
        case CODING_IMA_ADPCM:
            bytes = n / 2;
            return true;
        case CODING_G7231:
            bytes = 20 * ((uint64_t{n} + 239) / 240);
            return true;
        default:
            return false;
    }
}

bool InspectPackage(const std::string& path, InspectReport& report, std::string& err) {
    PackageDirectory dir;
    if (!ReadPackageDirectory(path, dir, err)) return false;
    File file;
    if (!file.Open(path, "rb")) {
        err = Format("Can not open file %s", path.c_str());
        return false;
    }
    InspectReport r;
    r.path = path;
    r.fileSize = dir.fileSize;
    r.dataEnd = dir.dataEnd;
    for (const PackageEntry& e : dir.entries)
        r.entries.push_back({e.id, ResourceName(e.id), e.offset, e.size});
    r.problems = PackageLayoutProblems(dir);
    for (size_t i = 0; i < r.entries.size(); ++i) {
        size_t times = 0;
        bool earlier = false;
        for (size_t j = 0; j < r.entries.size(); ++j) {
            if (r.entries[j].id != r.entries[i].id) continue;
            ++times;
            if (j < i) earlier = true;
        }
        if (times > 1 && !earlier) {
            r.problems.push_back(Format("identifier %s appears in %zu entries",
                                        ResourceIdText(r.entries[i].id).c_str(), times));
        }
    }
    InspectPair(file, r, "prompt", kPromptIndexId, kPromptClipId);
    InspectPair(file, r, "bgsound", kBgsoundIndexId, kBgsoundClipId);
    InspectRoles(file, r);
    report = std::move(r);
    return true;
}

std::string RenderInspectText(const InspectReport& r) {
    std::string out;
    out += "Package: " + r.path + "\n";
    out += Format("File size: %llu bytes, data end %u, %zu entries\n",
                  static_cast<unsigned long long>(r.fileSize), r.dataEnd, r.entries.size());
    out += "\nDirectory:\n";
    out += Format("  %3s  %-38s  %10s  %10s  %s\n", "#", "identifier", "offset", "size", "name");
    for (size_t k = 0; k < r.entries.size(); ++k) {
        const InspectEntry& e = r.entries[k];
        out += Format("  %3zu  %-38s  %10u  %10u  %s\n", k, ResourceIdText(e.id).c_str(), e.offset,
                      e.size, e.name.empty() ? "-" : e.name.c_str());
    }
    if (r.roleIndex.present) {
        out += Format("\nRole index: %u roles, total length %u\n", r.roleIndex.roles,
                      r.roleIndex.totalLength);
    }
    if (r.roleClips.present) {
        out += Format("Role clips: %u roles, total length %u, rate byte %u, coding %u\n",
                      r.roleClips.roles, r.roleClips.totalLength, r.roleClips.rateByte,
                      r.roleClips.coding);
    }
    for (const InspectSet& s : r.sets) {
        out += "\n" + s.name;
        if (s.role > 0) out += Format(" (id %d)", s.roleId);
        out += ":";
        if (s.hasIndex) {
            out += Format(" %zu texts;", s.texts.size());
        } else {
            out += " no text index;";
        }
        if (s.hasClips) {
            out += Format(" clips at %d Hz (rate byte %u), coding %u %s, %u records\n", s.rate,
                          s.rateByte, s.coding, ClipCodingName(s.coding).c_str(), s.records);
        } else {
            out += " no clips\n";
        }
        for (const InspectText& t : s.texts) {
            std::string duration = t.hasClip ? Seconds(t.durationMs) + " s" : "-";
            out += Format("  %5u  %9s  %s\n", t.number, duration.c_str(),
                          EscapeControls(t.text).c_str());
        }
    }
    if (r.problems.empty()) {
        out += "\nProblems: none\n";
    } else {
        out += Format("\nProblems: %zu\n", r.problems.size());
        for (const std::string& p : r.problems) out += "  - " + p + "\n";
    }
    return out;
}

std::string RenderInspectJson(const InspectReport& r) {
    using Json = nlohmann::ordered_json;
    Json j;
    j["path"] = r.path;
    j["fileSize"] = r.fileSize;
    j["dataEnd"] = r.dataEnd;
    Json entries = Json::array();
    for (const InspectEntry& e : r.entries) {
        Json je;
        je["id"] = ResourceIdText(e.id);
        je["name"] = e.name.empty() ? Json(nullptr) : Json(e.name);
        je["offset"] = e.offset;
        je["size"] = e.size;
        entries.push_back(std::move(je));
    }
    j["entries"] = std::move(entries);
    auto frame = [](const InspectRoleFrame& f, bool clips) {
        if (!f.present) return Json(nullptr);
        Json jf;
        jf["roles"] = f.roles;
        jf["totalLength"] = f.totalLength;
        if (clips) {
            jf["rateByte"] = f.rateByte;
            jf["coding"] = f.coding;
        }
        return jf;
    };
    j["roleIndex"] = frame(r.roleIndex, false);
    j["roleClips"] = frame(r.roleClips, true);
    Json sets = Json::array();
    for (const InspectSet& s : r.sets) {
        Json js;
        js["name"] = s.name;
        js["role"] = s.role > 0 ? Json(s.role) : Json(nullptr);
        js["roleId"] = s.role > 0 ? Json(s.roleId) : Json(nullptr);
        if (s.hasClips) {
            Json jc;
            jc["rate"] = s.rate;
            jc["rateByte"] = s.rateByte;
            jc["coding"] = s.coding;
            jc["codingName"] = ClipCodingName(s.coding);
            jc["records"] = s.records;
            js["clips"] = std::move(jc);
        } else {
            js["clips"] = nullptr;
        }
        if (s.hasIndex) {
            Json texts = Json::array();
            for (const InspectText& t : s.texts) {
                Json jt;
                jt["number"] = t.number;
                jt["text"] = t.text;
                jt["samples"] = t.hasClip ? Json(t.samples) : Json(nullptr);
                jt["durationMs"] = t.hasClip ? Json(t.durationMs) : Json(nullptr);
                texts.push_back(std::move(jt));
            }
            js["texts"] = std::move(texts);
        } else {
            js["texts"] = nullptr;
        }
        sets.push_back(std::move(js));
    }
    j["sets"] = std::move(sets);
    j["problems"] = r.problems;
    // The path may hold bytes that are not UTF-8; replace them rather than fail.
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace qm
