// Replacement of one resource of a package (CUpdateResource, package.h).
#include <cstring>
#include <vector>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/interrupt.h"
#include "resfile/package.h"

namespace qm {
namespace {

constexpr int kMaxSections = 3;

struct Section {
    uint32_t dataEnd = 0;
    std::vector<PackageEntry> entries;
};

// Copies n bytes from in (at its position) to out. Sets *readFailed when in
// ends early.
bool CopyBytes(File& in, File& out, uint64_t n, std::vector<unsigned char>& buf, bool* readFailed) {
    while (n > 0) {
        // An interrupt stops the copy between two buffers.
        if (Interrupted()) return false;
        size_t k = n < buf.size() ? static_cast<size_t>(n) : buf.size();
        if (!in.ReadExact(buf.data(), k)) {
            *readFailed = true;
            return false;
        }
        if (!out.Write(buf.data(), k)) return false;
        n -= k;
    }
    return true;
}

int32_t Replace(const std::string& source, const std::string& data, const ResourceId& id,
                const std::string& output) {
    File in;
    if (!PathIsFile(source) || !in.Open(source, "rb")) return kUpdateBadSource;
    const int64_t fileSize = in.Size();
    unsigned char magic[8];
    if (fileSize < 0 || !in.ReadExact(magic, 8) ||
        std::memcmp(magic, kPackageMagic, sizeof kPackageMagic) != 0) {
        return kUpdateBadSource;
    }

    // The directory is a chain of sections: a section whose data end lies
    // past the end of the file is taken to be followed by another section
    // header. Only a single section can be replaced.
    std::vector<Section> sections;
    int foundSection = -1;
    int foundEntry = -1;
    bool complete = false;
    while (static_cast<int>(sections.size()) < kMaxSections) {
        unsigned char head[8];
        if (!in.ReadExact(head, 8)) return kUpdateBadSource;
        Section s;
        s.dataEnd = GetU32(head);
        uint32_t count = GetU32(head + 4);
        if (count > kPackageMaxEntries) return kUpdateBadSource;
        std::vector<unsigned char> raw(size_t{count} * kPackageEntrySize);
        if (!in.ReadExact(raw.data(), raw.size())) return kUpdateBadSource;
        s.entries = DecodePackageEntries(raw.data(), count);
        for (uint32_t k = 0; k < count; ++k) {
            if (s.entries[k].id == id) {
                foundSection = static_cast<int>(sections.size());
                foundEntry = static_cast<int>(k);
            }
        }
        bool last = s.dataEnd <= static_cast<uint64_t>(fileSize);
        sections.push_back(std::move(s));
        if (last) {
            complete = true;
            break;
        }
    }
    if (foundSection < 0) return kUpdateBadSource;
    in.Close();

    File dataFile;
    int64_t length = PathIsFile(data) && dataFile.Open(data, "rb") ? dataFile.Size() : 0;
    if (length <= 0) return kUpdateBadData;
    if (!complete || sections.size() != 1) return kUpdateSections;

    // The one section as a directory: its resources must lie after the
    // directory, in order, inside the file, the last one ending at the data end.
    PackageDirectory dir;
    dir.dataEnd = sections[0].dataEnd;
    dir.entries = sections[0].entries;
    dir.fileSize = static_cast<uint64_t>(fileSize);
    if (!PackageLayoutProblems(dir).empty()) return kUpdateBadSource;

    const std::vector<PackageEntry>& entries = dir.entries;
    const size_t found = static_cast<size_t>(foundEntry);
    const bool isLast = found + 1 == entries.size();
    const uint64_t newSize = static_cast<uint64_t>(length);
    const uint64_t pad = (!isLast && newSize % 4 != 0) ? 4 - newSize % 4 : 0;
    const uint64_t oldSpan =
        isLast ? entries[found].size : uint64_t{entries[found + 1].offset} - entries[found].offset;
    const int64_t shift = static_cast<int64_t>(newSize + pad) - static_cast<int64_t>(oldSpan);
    const int64_t newDataEnd = int64_t{dir.dataEnd} + shift;
    // The new data must still be addressable by the directory's 32-bit fields.
    if (newSize > UINT32_MAX || newDataEnd > int64_t{UINT32_MAX}) return kUpdateBadData;
    // Writing over the source or the data would destroy what is being read.
    if (SameFile(output, source) || SameFile(output, data)) return kUpdateWriteFailed;

    if (!in.Open(source, "rb")) return kUpdateBadSource;
    if (!dataFile.Seek(0)) return kUpdateBadData;
    File out;
    if (!out.Open(output, "wb")) return kUpdateWriteFailed;

    const uint64_t dirEnd = PackageDirectoryEnd(dir);
    std::vector<unsigned char> head(static_cast<size_t>(dirEnd));
    std::memcpy(head.data(), kPackageMagic, sizeof kPackageMagic);
    PutU32(head.data() + 8, static_cast<uint32_t>(newDataEnd));
    PutU32(head.data() + 12, static_cast<uint32_t>(entries.size()));
    for (size_t k = 0; k < entries.size(); ++k) {
        unsigned char* p = head.data() + kPackageHeaderSize + k * kPackageEntrySize;
        std::memcpy(p, entries[k].id.data(), 16);
        uint32_t offset = entries[k].offset;
        uint32_t size = entries[k].size;
        if (k == found) size = static_cast<uint32_t>(newSize);
        if (k > found) offset = static_cast<uint32_t>(int64_t{offset} + shift);
        PutU32(p + 16, offset);
        PutU32(p + 20, size);
    }

    std::vector<unsigned char> buf(1 << 16);
    bool sourceShort = false;
    bool dataShort = false;
    bool ok = out.Write(head.data(), head.size()) && in.Seek(static_cast<int64_t>(dirEnd)) &&
              CopyBytes(in, out, entries[found].offset - dirEnd, buf, &sourceShort) &&
              CopyBytes(dataFile, out, newSize, buf, &dataShort) && out.WriteZeros(pad);
    if (ok && !isLast) {
        uint32_t from = entries[found + 1].offset;
        ok = in.Seek(from) && CopyBytes(in, out, dir.dataEnd - from, buf, &sourceShort);
    }
    ok = out.Close() && ok;
    if (!ok) {
        // Leave no partial package behind.
        RemoveFile(output);
        if (sourceShort) return kUpdateBadSource;
        if (dataShort) return kUpdateBadData;
        return kUpdateWriteFailed;
    }
    return kUpdateOk;
}

}  // namespace

CUpdateResource::CUpdateResource(const std::string& source, const std::string& data, ResourceId id,
                                 const std::string& output, int32_t* result) {
    int32_t code = Replace(source, data, id, output);
    failed = code == kUpdateOk ? 0 : 1;
    if (result != nullptr) *result = code;
}

}  // namespace qm
