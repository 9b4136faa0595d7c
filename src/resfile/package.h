// The resource package ("*.irf"): a 16-byte header (magic, data end, entry
// count 1 to 255), a directory of 24-byte entries (identifier, offset, size),
// then the resources' data. Reading the directory and a clip resource's rate,
// writing a package and a skeleton package, and replacing one resource
// (package_write.cpp, package_replace.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resfile/clip_container.h"
#include "resfile/formats.h"
#include "resfile/role_files.h"
#include "resfile/textindex.h"

namespace qm {

inline constexpr char kPackageMagic[8] = {'T', 's', 'R', 'e', 's', 'V', '4', '\0'};
inline constexpr uint32_t kPackageHeaderSize = 16;
inline constexpr uint32_t kPackageEntrySize = 24;
inline constexpr uint32_t kPackageMaxEntries = 255;

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
// One finding per identifier that more than one entry holds (readers take
// the first such entry, the replacement the last).
std::vector<std::string> RepeatedIdentifierProblems(const PackageDirectory& dir);

// Opens the package and reads the sample rate of the first resource with the
// identifier, a clip container or role clip container (rate byte 34 of its
// header). Fails with "Can not open file %s", "Incorrect IRF file format",
// "IRF file dose't contains the resource" or "Incorrect sampling rate".
bool ReadClipResourceRate(const std::string& path, const ResourceId& id, int32_t& rate,
                          std::string& err);
// The same for the build type's clip resource. Kept for the driver and the
// dialog until they take the identifier from the build-type table.
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

// Replacement of one resource by the content of a file: a new package in
// which that resource's data is the file's, padded with zero bytes to a
// multiple of 4 when another resource follows, every later resource moved by
// the difference, and nothing after the old data end carried over.
inline constexpr int32_t kUpdateOk = 0;
inline constexpr int32_t kUpdateBadSource = 0x8001;    // unreadable, malformed, or no such entry
inline constexpr int32_t kUpdateBadData = 0x8002;      // the data file is missing or empty
inline constexpr int32_t kUpdateSections = 0x8004;     // the directory is not one section
inline constexpr int32_t kUpdateWriteFailed = 0x8008;  // the output was not written in full

// The whole replacement runs in the constructor; the caller then tests
// `failed` (0 after success, 1 after a failure) and the result code. A failed
// replacement leaves no output file.
class CUpdateResource {
  public:
    CUpdateResource(const std::string& source, const std::string& data, ResourceId id,
                    const std::string& output, int32_t* result);
    virtual ~CUpdateResource() = default;

    int32_t failed = 0;
};

}  // namespace qm
