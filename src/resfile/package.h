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

// Reads the header and directory. Checks the magic and the entry count only
// (1..255); err gets "Incorrect IRF file format" or "Can not open file %s".
bool ReadPackageDirectory(const std::string& path, PackageDirectory& dir, std::string& err);

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

// Bytes of an empty clip container at a rate (Hz), an empty text index block,
// an empty role index file and an empty role clip container.
std::vector<unsigned char> EmptyClipContainer(int32_t rate);
std::vector<unsigned char> EmptyTextIndexBlock();
std::vector<unsigned char> EmptyRoleIndexFile();
std::vector<unsigned char> EmptyRoleClipContainer();

}  // namespace qm
