// Writing packages: the directory and the resources back to back, by way of
// a safe replacement; the skeleton package of empty resources.
#include <cstring>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/interrupt.h"
#include "platform/safe_replace.h"
#include "platform/text.h"
#include "resfile/package.h"

namespace qm {
namespace {

constexpr const char* kBadFormat = "Incorrect IRF file format";

}  // namespace

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

    // The package goes through a replacement of its own, so the name holds
    // either what was there or the whole new package; without replace an
    // existing file (even one that appeared meanwhile) is kept.
    SafeReplace out(path);
    if (!out.Open()) {
        err = Format("Can not create file %s！", path.c_str());
        return false;
    }
    bool ok = out.Out().Write(head.data(), head.size());
    for (size_t k = 0; ok && k < resources.size(); ++k)
        ok = out.Out().Write(resources[k].data.data(), resources[k].data.size());
    // An interrupt that came meanwhile keeps what was at the name.
    ok = ok && !Interrupted() && (replace ? out.Commit() : out.CommitNew());
    if (!ok && !replace && out.TargetExists()) {
        err = Format("File %s already exists", path.c_str());
        return false;
    }
    if (!ok) {
        err = Format("Can not write file %s！", path.c_str());
        return false;
    }
    return true;
}

bool WritePackage(const std::string& path, const std::vector<PackageResource>& resources) {
    std::string err;
    return WritePackage(path, resources, true, err);
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

}  // namespace qm
