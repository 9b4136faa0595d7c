// The resource package ("*.irf"): header, directory and reading a build
// type's sample rate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resfile/formats.h"

namespace qm {

struct PackageEntry {
    ResourceId id{};
    uint32_t offset = 0;
    uint32_t size = 0;
};

struct PackageDirectory {
    uint32_t dataEnd = 0;
    std::vector<PackageEntry> entries;
    uint64_t fileSize = 0;
};

// Decodes count directory entries of 24 bytes each from raw.
std::vector<PackageEntry> DecodePackageEntries(const unsigned char* raw, uint32_t count);

// Reads the header and directory. Checks the magic and the entry count only
// (1..255); err gets "Incorrect IRF file format" or "Can not open file %s".
// A file too short to hold the whole directory is refused as well.
bool ReadPackageDirectory(const std::string& path, PackageDirectory& dir, std::string& err);

// End of the directory: 16 + 24 * entry count.
inline uint64_t PackageDirectoryEnd(const PackageDirectory& dir) {
    return kPackageHeaderSize + uint64_t{kPackageEntrySize} * dir.entries.size();
}

// Everything that keeps a directory from being replaced safely: a resource
// that overlaps the directory or reaches past the end of the file, resources
// out of directory order or overlapping each other, a last resource that does
// not end at the data end, a data end past the end of the file. Empty when the
// layout is sound. One English sentence per finding.
std::vector<std::string> PackageLayoutProblems(const PackageDirectory& dir);

// Opens the package and reads the sample rate of the build type's clip
// resource (rate byte 34 of its clip container header).
bool ReadPackageRate(int buildType, const std::string& path, int32_t& rate, std::string& err);

// Writes a new package holding the given resources back to back after the
// directory, in the given order.
struct PackageResource {
    ResourceId id{};
    std::vector<unsigned char> data;
};
bool WritePackage(const std::string& path, const std::vector<PackageResource>& resources);
// The same with a message: the package is written under a temporary name in
// the target's folder, flushed and renamed over path, so a failure never
// leaves a partial package under path. With replace false an existing file
// at path is kept and the call fails.
bool WritePackage(const std::string& path, const std::vector<PackageResource>& resources,
                  bool replace, std::string& err);

// Bytes of an empty clip container at a rate (Hz), an empty text index block,
// an empty role index file and an empty role clip container.
// EmptyClipContainer returns no bytes for a rate other than the four.
std::vector<unsigned char> EmptyClipContainer(int32_t rate);
std::vector<unsigned char> EmptyTextIndexBlock();
std::vector<unsigned char> EmptyRoleIndexFile();
std::vector<unsigned char> EmptyRoleClipContainer();

// The resources of a skeleton package: the six resources of the three build
// types, empty (prompt and background clip containers at rate), and
// extraCount opaque resources spread before, between and after them. One
// opaque resource stands between the prompt and the background pair; more
// are spread evenly over the seven gaps, the first before all, the last
// after all. Opaque resource k has the identifier OpaqueResourceId(k) and
// OpaqueResourceSize(k) bytes of fixed pseudo-random content.
std::vector<PackageResource> SkeletonResources(int32_t rate, int extraCount);
ResourceId OpaqueResourceId(int k);
uint32_t OpaqueResourceSize(int k);
inline constexpr int kSkeletonMaxExtra = static_cast<int>(kPackageMaxEntries) - 6;

// Writes a skeleton package (see SkeletonResources) to path by way of a
// temporary file. rate must be one of the four rates and extraCount 0 to
// kSkeletonMaxExtra. With replace false an existing file is refused.
bool WriteSkeletonPackage(const std::string& path, int32_t rate, int extraCount, std::string& err,
                          bool replace = true);

// Name of a known resource identifier ("prompt index", "prompt clips",
// "bgsound index", "bgsound clips", "role index", "role clips"), or "".
std::string ResourceName(const ResourceId& id);
// An identifier in GUID text form, "{99fe576b-8999-4d01-9cba-1cbfe380fc87}".
std::string ResourceIdText(const ResourceId& id);

}  // namespace qm
