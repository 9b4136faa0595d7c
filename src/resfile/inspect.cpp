#include "resfile/inspect.h"

#include <algorithm>

#include "platform/file.h"
#include "platform/text.h"
#include "resfile/byte_source.h"
#include "resfile/clip_container.h"
#include "resfile/package.h"
#include "resfile/role_files.h"
#include "resfile/textindex.h"

namespace qm {
namespace {

// The findings of one resource, each prefixed with its name.
void AddFindings(std::vector<std::string>& out, const std::string& prefix,
                 const std::vector<std::string>& found) {
    for (const std::string& f : found) out.push_back(prefix + ": " + f);
}

void ReadTexts(const ByteSource& src, const std::string& prefix, InspectSet& set,
               std::vector<std::string>& problems) {
    std::vector<TextIndexText> texts;
    std::vector<std::string> found;
    ReadTextIndexBlock(src, texts, found);
    AddFindings(problems, prefix, found);
    set.hasIndex = true;
    set.texts.reserve(texts.size());
    for (const TextIndexText& t : texts) {
        InspectText it;
        it.number = t.number;
        it.text = Utf16ToUtf8(t.text);
        size_t at = 0;
        for (const TextSegment& seg : t.segments) {
            it.classes.push_back(seg.segmentClass);
            // Lengths that overrun the text give what is left of it.
            const size_t from = std::min(at, t.text.size());
            it.segments.push_back(
                Utf16ToUtf8(std::u16string_view(t.text).substr(from, seg.length)));
            at += seg.length;
        }
        set.texts.push_back(std::move(it));
    }
}

ClipContainerCheck ReadClips(const ByteSource& src, const std::string& prefix, InspectSet& set,
                             std::vector<std::string>& problems) {
    ClipContainerCheck clips = CheckClipContainer(src);
    AddFindings(problems, prefix, clips.problems);
    set.hasClips = true;
    set.rateByte = clips.rateByte;
    set.rate = RateFromByte(clips.rateByte);
    set.coding = clips.coding;
    set.records = clips.count;
    return clips;
}

// Record k of a container at `base` in the package, as text t pairs with it.
void SetRecord(InspectText& t, const InspectSet& set, const ClipContainerCheck& clips,
               uint64_t base, uint32_t k) {
    t.hasClip = true;
    t.samples = clips.samples[k];
    if (set.rate > 0) {
        t.durationMs = static_cast<uint32_t>(
            (uint64_t{t.samples} * 1000 + static_cast<uint64_t>(set.rate / 2)) /
            static_cast<uint64_t>(set.rate));
    }
    t.offset = base + clips.offsets[k];
    uint64_t bytes = 0;
    if (CodedRecordBytes(clips.coding, t.samples, bytes)) {
        t.length = 4 + bytes;
    } else {
        const uint64_t next = k + 1 < clips.offsets.size() ? clips.offsets[k + 1] : 0;
        t.length = next > clips.offsets[k] ? next - clips.offsets[k] : 4;
    }
}

// Text t pairs with record t: its duration and place, and the counts must
// agree. Records past the last text are kept apart.
void PairTexts(InspectSet& set, const ClipContainerCheck& clips, uint64_t base,
               std::vector<std::string>& problems) {
    for (InspectText& t : set.texts) {
        if (t.number < clips.samples.size() && clips.readable[t.number]) {
            SetRecord(t, set, clips, base, t.number);
        }
    }
    for (size_t k = set.texts.size(); k < clips.samples.size(); ++k) {
        if (!clips.readable[k]) continue;
        InspectText t;
        t.number = static_cast<uint32_t>(k);
        SetRecord(t, set, clips, base, t.number);
        set.unindexed.push_back(std::move(t));
    }
    if (set.hasIndex && set.hasClips && set.texts.size() != set.records) {
        problems.push_back(Format("%s: %zu texts but %u clip records", set.name.c_str(),
                                  set.texts.size(), set.records));
    }
}

// First directory entry with an identifier (as the rate reader takes it),
// when its resource lies inside the file.
const InspectEntry* FindResource(const InspectReport& r, const ResourceId& id) {
    for (const InspectEntry& e : r.entries) {
        if (e.id == id) return uint64_t{e.offset} + e.size <= r.fileSize ? &e : nullptr;
    }
    return nullptr;
}

bool HasEntry(const InspectReport& r, const ResourceId& id) {
    return std::any_of(r.entries.begin(), r.entries.end(),
                       [&](const InspectEntry& e) { return e.id == id; });
}

void InspectPair(File& file, InspectReport& r, const char* name, const ResourceId& indexId,
                 const ResourceId& clipId) {
    if (!HasEntry(r, indexId) && !HasEntry(r, clipId)) return;
    InspectSet set;
    set.name = name;
    if (const InspectEntry* index = FindResource(r, indexId)) {
        ReadTexts(FileRangeSource(file, index->offset, index->size), index->name, set, r.problems);
    }
    ClipContainerCheck clips;
    uint64_t base = 0;
    if (const InspectEntry* clip = FindResource(r, clipId)) {
        clips =
            ReadClips(FileRangeSource(file, clip->offset, clip->size), clip->name, set, r.problems);
        base = clip->offset;
        set.clipsOffset = base;
        set.clipsSize = clip->size;
    }
    PairTexts(set, clips, base, r.problems);
    r.sets.push_back(std::move(set));
}

bool ReadFrame(const ByteSource& src, RoleFrameKind kind, const std::string& prefix,
               InspectRoleFrame& out, RoleFrame& frame, std::vector<std::string>& problems) {
    std::vector<std::string> found;
    const bool tableRead = ReadRoleFrame(src, kind, frame, found);
    AddFindings(problems, prefix, found);
    out.present = frame.headerRead;
    out.roles = frame.roles;
    out.totalLength = frame.totalLength;
    out.rateByte = frame.rateByte;
    out.coding = frame.coding;
    return tableRead;
}

void InspectRoles(File& file, InspectReport& r) {
    const InspectEntry* index = FindResource(r, kRoleIndexId);
    const InspectEntry* clip = FindResource(r, kRoleClipId);
    FileRangeSource indexSrc(file, index ? index->offset : 0, index ? index->size : 0);
    FileRangeSource clipSrc(file, clip ? clip->offset : 0, clip ? clip->size : 0);
    RoleFrame indexFrame, clipFrame;
    const bool indexOk = index != nullptr && ReadFrame(indexSrc, RoleFrameKind::kIndex, index->name,
                                                       r.roleIndex, indexFrame, r.problems);
    const bool clipOk = clip != nullptr && ReadFrame(clipSrc, RoleFrameKind::kClips, clip->name,
                                                     r.roleClips, clipFrame, r.problems);
    if (indexOk && clipOk && r.roleIndex.roles != r.roleClips.roles) {
        r.problems.push_back(
            Format("role index has %u roles, role clips %u", r.roleIndex.roles, r.roleClips.roles));
    }
    // A frame whose role table could not be read contributes no roles.
    const size_t indexRoles = indexOk ? indexFrame.blocks.size() : 0;
    const size_t clipRoles = clipOk ? clipFrame.blocks.size() : 0;
    for (size_t k = 0; k < std::max(indexRoles, clipRoles); ++k) {
        InspectSet set;
        set.role = static_cast<int32_t>(k + 1);
        set.name = Format("role %zu", k + 1);
        if (k < indexRoles) {
            const RoleBlock& b = indexFrame.blocks[k];
            set.roleId = b.id;
            if (indexFrame.inside[k]) {
                ReadTexts(SubSource(indexSrc, b.offset, b.length), "role index, " + set.name, set,
                          r.problems);
            }
        }
        ClipContainerCheck clips;
        uint64_t base = 0;
        if (k < clipRoles && clipFrame.inside[k]) {
            const RoleBlock& b = clipFrame.blocks[k];
            clips = ReadClips(SubSource(clipSrc, b.offset, b.length), "role clips, " + set.name,
                              set, r.problems);
            base = uint64_t{clip->offset} + b.offset;
            set.clipsOffset = base;
            set.clipsSize = b.length;
        }
        PairTexts(set, clips, base, r.problems);
        r.sets.push_back(std::move(set));
    }
}

}  // namespace

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
    for (std::string& p : RepeatedIdentifierProblems(dir)) r.problems.push_back(std::move(p));
    InspectPair(file, r, "prompt", kPromptIndexId, kPromptClipId);
    InspectPair(file, r, "bgsound", kBgsoundIndexId, kBgsoundClipId);
    InspectRoles(file, r);
    report = std::move(r);
    return true;
}

}  // namespace qm
