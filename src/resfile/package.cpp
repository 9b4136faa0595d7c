#include "resfile/package.h"

#include <cstring>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qm {
namespace {

constexpr const char* kBadFormat = "Incorrect IRF file format";

// The rate byte of the first resource with the identifier (none: not found).
bool ReadClipRate(const std::string& path, const PackageDirectory& dir, const ResourceId* wanted,
                  int32_t& rate, std::string& err) {
    const PackageEntry* found = nullptr;
    for (const PackageEntry& e : dir.entries) {
        if (wanted != nullptr && e.id == *wanted) {
            found = &e;
            break;
        }
    }
    if (found == nullptr) {
        err = "IRF file dose't contains the resource";
        return false;
    }
    // The clip container header must lie after the directory and inside both
    // the resource and the file.
    if (found->offset < PackageDirectoryEnd(dir) || found->size < kClipHeaderSize ||
        uint64_t{found->offset} + found->size > dir.fileSize) {
        err = kBadFormat;
        return false;
    }
    File in;
    if (!in.Open(path, "rb")) {
        err = Format("Can not open file %s", path.c_str());
        return false;
    }
    ClipContainerReader clips;
    FileRangeSource src(in, found->offset, found->size);
    if (!clips.ReadHeader(src) || !clips.Header().magic) {
        err = kBadFormat;
        return false;
    }
    const int32_t hz = RateFromByte(clips.Header().rateByte);
    if (hz == 0) {
        err = "Incorrect sampling rate";
        return false;
    }
    rate = hz;
    return true;
}

}  // namespace

std::vector<PackageEntry> DecodePackageEntries(const unsigned char* raw, uint32_t count) {
    std::vector<PackageEntry> entries(count);
    for (uint32_t k = 0; k < count; ++k) {
        const unsigned char* p = raw + size_t{k} * kPackageEntrySize;
        std::memcpy(entries[k].id.data(), p, 16);
        entries[k].offset = GetU32(p + 16);
        entries[k].size = GetU32(p + 20);
    }
    return entries;
}

bool ReadPackageDirectory(const std::string& path, PackageDirectory& dir, std::string& err) {
    File in;
    // A folder would open for reading here; it is no file to read.
    if (!PathIsFile(path) || !in.Open(path, "rb")) {
        err = Format("Can not open file %s", path.c_str());
        return false;
    }
    int64_t size = in.Size();
    unsigned char header[kPackageHeaderSize];
    if (size < 0 || !in.ReadExact(header, sizeof header) ||
        std::memcmp(header, kPackageMagic, sizeof kPackageMagic) != 0) {
        err = kBadFormat;
        return false;
    }
    uint32_t count = GetU32(header + 12);
    if (count == 0 || count > kPackageMaxEntries) {
        err = kBadFormat;
        return false;
    }
    std::vector<unsigned char> raw(size_t{count} * kPackageEntrySize);
    if (!in.ReadExact(raw.data(), raw.size())) {
        err = kBadFormat;
        return false;
    }
    PackageDirectory out;
    out.dataEnd = GetU32(header + 8);
    out.fileSize = static_cast<uint64_t>(size);
    out.entries = DecodePackageEntries(raw.data(), count);
    dir = std::move(out);
    return true;
}

std::vector<std::string> PackageLayoutProblems(const PackageDirectory& dir) {
    std::vector<std::string> problems;
    const uint64_t dirEnd = PackageDirectoryEnd(dir);
    uint64_t prevEnd = dirEnd;
    for (size_t k = 0; k < dir.entries.size(); ++k) {
        const PackageEntry& e = dir.entries[k];
        uint64_t end = uint64_t{e.offset} + e.size;
        if (e.offset < dirEnd) {
            problems.push_back(
                Format("entry %zu: offset %u overlaps the directory (which ends at %llu)", k,
                       e.offset, static_cast<unsigned long long>(dirEnd)));
        } else if (k > 0 && e.offset < prevEnd) {
            problems.push_back(
                Format("entry %zu: offset %u lies before the end of the previous resource (%llu)",
                       k, e.offset, static_cast<unsigned long long>(prevEnd)));
        }
        if (end > dir.fileSize) {
            problems.push_back(
                Format("entry %zu: resource ends at %llu, past the end of the file (%llu)", k,
                       static_cast<unsigned long long>(end),
                       static_cast<unsigned long long>(dir.fileSize)));
        }
        if (end > prevEnd) prevEnd = end;
    }
    if (!dir.entries.empty()) {
        const PackageEntry& last = dir.entries.back();
        uint64_t end = uint64_t{last.offset} + last.size;
        if (end != dir.dataEnd) {
            problems.push_back(
                Format("data end %u differs from the end of the last resource (%llu)", dir.dataEnd,
                       static_cast<unsigned long long>(end)));
        }
    }
    if (dir.dataEnd > dir.fileSize) {
        problems.push_back(Format("data end %u lies past the end of the file (%llu)", dir.dataEnd,
                                  static_cast<unsigned long long>(dir.fileSize)));
    }
    return problems;
}

bool ReadClipResourceRate(const std::string& path, const ResourceId& id, int32_t& rate,
                          std::string& err) {
    PackageDirectory dir;
    if (!ReadPackageDirectory(path, dir, err)) return false;
    return ReadClipRate(path, dir, &id, rate, err);
}

bool ReadPackageRate(int buildType, const std::string& path, int32_t& rate, std::string& err) {
    // The directory is read first, so an unreadable package is reported as
    // such whatever the build type.
    PackageDirectory dir;
    if (!ReadPackageDirectory(path, dir, err)) return false;
    return ReadClipRate(path, dir, ClipResourceId(buildType), rate, err);
}

std::vector<std::string> RepeatedIdentifierProblems(const PackageDirectory& dir) {
    std::vector<std::string> problems;
    const std::vector<PackageEntry>& e = dir.entries;
    for (size_t i = 0; i < e.size(); ++i) {
        size_t times = 0;
        bool earlier = false;
        for (size_t j = 0; j < e.size(); ++j) {
            if (e[j].id != e[i].id) continue;
            ++times;
            if (j < i) earlier = true;
        }
        if (times > 1 && !earlier) {
            problems.push_back(Format("identifier %s appears in %zu entries",
                                      ResourceIdText(e[i].id).c_str(), times));
        }
    }
    return problems;
}

std::string ResourceName(const ResourceId& id) {
    if (id == kPromptIndexId) return "prompt index";
    if (id == kPromptClipId) return "prompt clips";
    if (id == kBgsoundIndexId) return "bgsound index";
    if (id == kBgsoundClipId) return "bgsound clips";
    if (id == kRoleIndexId) return "role index";
    if (id == kRoleClipId) return "role clips";
    return "";
}

std::string ResourceIdText(const ResourceId& id) {
    const unsigned char* p = id.data();
    return Format("{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", GetU32(p), GetU16(p + 4),
                  GetU16(p + 6), p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
}

}  // namespace qm
