#include "resfile/package.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qm {
namespace {

constexpr const char* kBadFormat = "Incorrect IRF file format";

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

bool ReadPackageRate(int buildType, const std::string& path, int32_t& rate, std::string& err) {
    const ResourceId* wanted = ClipResourceId(buildType);
    PackageDirectory dir;
    if (!ReadPackageDirectory(path, dir, err)) return false;
    if (wanted == nullptr) {
        err = "IRF file dose't contains the resource";
        return false;
    }
    const PackageEntry* found = nullptr;
    for (const PackageEntry& e : dir.entries) {
        if (e.id == *wanted) {
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
    unsigned char header[kClipHeaderSize];
    if (!in.Open(path, "rb")) {
        err = Format("Can not open file %s", path.c_str());
        return false;
    }
    if (!in.Seek(found->offset) || !in.ReadExact(header, sizeof header) ||
        std::memcmp(header, kClipMagic, sizeof kClipMagic) != 0) {
        err = kBadFormat;
        return false;
    }
    int32_t hz = RateFromByte(header[kClipRateOffset]);
    if (hz == 0) {
        err = "Incorrect sampling rate";
        return false;
    }
    rate = hz;
    return true;
}

bool WritePackage(const std::string& path, const std::vector<PackageResource>& resources,
                  bool replace, std::string& err) {
    if (resources.empty() || resources.size() > kPackageMaxEntries) {
        err = kBadFormat;
        return false;
    }
    uint64_t offset = kPackageHeaderSize + uint64_t{kPackageEntrySize} * resources.size();
    std::vector<unsigned char> head(static_cast<size_t>(offset));
    std::memcpy(head.data(), kPackageMagic, sizeof kPackageMagic);
    PutU32(head.data() + 12, static_cast<uint32_t>(resources.size()));
    for (size_t k = 0; k < resources.size(); ++k) {
        unsigned char* p = head.data() + kPackageHeaderSize + k * kPackageEntrySize;
        std::memcpy(p, resources[k].id.data(), 16);
        PutU32(p + 16, static_cast<uint32_t>(offset));
        PutU32(p + 20, static_cast<uint32_t>(resources[k].data.size()));
        offset += resources[k].data.size();
        if (offset > UINT32_MAX) {
            err = kBadFormat;
            return false;
        }
    }
    PutU32(head.data() + 8, static_cast<uint32_t>(offset));

    // A temporary file beside the target, so the rename stays on one file system.
    std::string folder = path.substr(0, path.size() - PathFindFileName(path).size());
    std::string tmpl = folder + ".qm-package-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        err = Format("Can not create file %s！", path.c_str());
        return false;
    }
    ::close(fd);
    std::string tmp(name.data());
    File out;
    bool ok = out.Open(tmp, "wb") && out.Write(head.data(), head.size());
    for (size_t k = 0; ok && k < resources.size(); ++k) {
        ok = out.Write(resources[k].data.data(), resources[k].data.size());
    }
    ok = out.Close() && ok;
    ok = ok && SyncFile(tmp);
    if (!ok) {
        RemoveFile(tmp);
        err = Format("Can not write file %s！", path.c_str());
        return false;
    }
    // mkstemp creates the file readable by its owner only; give it the
    // permissions an ordinary new file gets.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(tmp.c_str(), 0666 & ~mask);
    if (replace) {
        ok = RenameReplace(tmp, path);
    } else {
        // link() refuses an existing target, so no file that appeared in the
        // meantime is replaced.
        ok = ::link(tmp.c_str(), path.c_str()) == 0;
        int linkErr = ok ? 0 : errno;
        if (linkErr == EPERM || linkErr == EOPNOTSUPP || linkErr == ENOSYS) {
            // A file system without hard links: check, then rename.
            linkErr = PathFileExists(path) ? EEXIST : 0;
            ok = linkErr == 0 && RenameReplace(tmp, path);
        }
        RemoveFile(tmp);
        if (linkErr == EEXIST) {
            err = Format("File %s already exists", path.c_str());
            return false;
        }
    }
    if (!ok) {
        RemoveFile(tmp);
        err = Format("Can not write file %s！", path.c_str());
        return false;
    }
    return true;
}

bool WritePackage(const std::string& path, const std::vector<PackageResource>& resources) {
    std::string err;
    return WritePackage(path, resources, true, err);
}

std::vector<unsigned char> EmptyClipContainer(int32_t rate) {
    uint8_t rateByte = RateByte(rate);
    if (rateByte == 0) return {};
    std::vector<unsigned char> b(kClipHeaderSize + 4, 0);
    std::memcpy(b.data(), kClipMagic, sizeof kClipMagic - 1);
    PutU16(b.data() + 30, kClipMarkerA);
    PutU16(b.data() + 32, kClipMarkerB);
    b[kClipRateOffset] = rateByte;
    b[kClipCodingOffset] = CODING_PCM16;
    PutU32(b.data() + kClipCountOffset, 0);
    PutU32(b.data() + kClipHeaderSize, kClipHeaderSize + 4);
    return b;
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

std::vector<unsigned char> EmptyRoleIndexFile() {
    std::vector<unsigned char> b(kRoleIndexHeaderSize, 0);
    std::memcpy(b.data(), kRoleIndexMagic, sizeof kRoleIndexMagic);
    PutU32(b.data() + 24, 0);
    PutU32(b.data() + 28, kRoleIndexHeaderSize);
    return b;
}

std::vector<unsigned char> EmptyRoleClipContainer() {
    std::vector<unsigned char> b(kRoleClipHeaderSize, 0);
    std::memcpy(b.data(), kClipMagic, sizeof kClipMagic - 1);
    PutU16(b.data() + 30, kClipMarkerA);
    PutU16(b.data() + 32, kClipMarkerB);
    b[kClipRateOffset] = 16;
    b[kClipCodingOffset] = 0;
    PutU32(b.data() + 36, 0);
    PutU32(b.data() + 40, kRoleClipHeaderSize);
    return b;
}

ResourceId OpaqueResourceId(int k) {
    // "QMOPAQUE" then the number: never one of the six identifiers the tool owns.
    ResourceId id = {'Q', 'M', 'O', 'P', 'A', 'Q', 'U', 'E', 0, 0, 0, 0, 0, 0, 0, 0};
    PutU32(id.data() + 8, static_cast<uint32_t>(k));
    PutU32(id.data() + 12, 0x5a5a5a5au ^ static_cast<uint32_t>(k));
    return id;
}

uint32_t OpaqueResourceSize(int k) {
    // Sizes that are not multiples of 4, so a replacement before them must pad.
    return 37 + 26 * static_cast<uint32_t>(k % 11);
}

std::vector<PackageResource> SkeletonResources(int32_t rate, int extraCount) {
    std::vector<PackageResource> own = {
        {kPromptIndexId, EmptyTextIndexBlock()},  {kPromptClipId, EmptyClipContainer(rate)},
        {kBgsoundIndexId, EmptyTextIndexBlock()}, {kBgsoundClipId, EmptyClipContainer(rate)},
        {kRoleIndexId, EmptyRoleIndexFile()},     {kRoleClipId, EmptyRoleClipContainer()},
    };
    // Gap g (0..6) lies before own resource g; gap 6 is after the last one.
    std::vector<std::vector<PackageResource>> gaps(own.size() + 1);
    for (int k = 0; k < extraCount; ++k) {
        size_t gap = extraCount == 1 ? 2 : static_cast<size_t>(k) * own.size() / (extraCount - 1);
        PackageResource r;
        r.id = OpaqueResourceId(k);
        r.data.resize(OpaqueResourceSize(k));
        // A linear congruential sequence seeded by the resource number.
        uint32_t x = 0x9e3779b9u * static_cast<uint32_t>(k + 1);
        for (unsigned char& c : r.data) {
            x = x * 1664525u + 1013904223u;
            c = static_cast<unsigned char>(x >> 24);
        }
        gaps[gap].push_back(std::move(r));
    }
    std::vector<PackageResource> all;
    for (size_t g = 0; g < gaps.size(); ++g) {
        for (PackageResource& r : gaps[g]) all.push_back(std::move(r));
        if (g < own.size()) all.push_back(std::move(own[g]));
    }
    return all;
}

bool WriteSkeletonPackage(const std::string& path, int32_t rate, int extraCount, std::string& err,
                          bool replace) {
    if (RateByte(rate) == 0) {
        err = "工具不支持的资源包采样率！";
        return false;
    }
    if (extraCount < 0 || extraCount > kSkeletonMaxExtra) {
        err = Format("The number of extra resources must lie between 0 and %d", kSkeletonMaxExtra);
        return false;
    }
    if (path.empty()) {
        err = Format("Can not create file %s！", path.c_str());
        return false;
    }
    if (!replace && PathFileExists(path)) {
        err = Format("File %s already exists", path.c_str());
        return false;
    }
    return WritePackage(path, SkeletonResources(rate, extraCount), replace, err);
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
