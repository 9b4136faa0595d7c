// Where the format readers take their bytes from: a buffer in memory, a range
// of an open file, or a range of another source. Every read is checked
// against the range, so a damaged number in a file can never make a reader
// reach bytes outside the part it was given.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/file.h"

namespace qm {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads n bytes at off; false when they do not all lie inside or cannot be read.
    virtual bool Read(uint64_t off, void* out, size_t n) const = 0;

    bool ReadU32(uint64_t off, uint32_t& v) const;
    // The whole source into out; false when it cannot be read.
    bool ReadAll(std::vector<unsigned char>& out) const;
    // True when [off, off + n) lies inside, without overflow.
    bool Holds(uint64_t off, uint64_t n) const { return off <= Size() && n <= Size() - off; }
};

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::span<const unsigned char> bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool Read(uint64_t off, void* out, size_t n) const override;

  private:
    std::span<const unsigned char> bytes_;
};

// Bytes [base, base + size) of an open file. The file's position moves with
// each read.
class FileRangeSource final : public ByteSource {
  public:
    FileRangeSource(File& file, uint64_t base, uint64_t size)
        : file_(&file), base_(base), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t off, void* out, size_t n) const override;

  private:
    File* file_;
    uint64_t base_;
    uint64_t size_;
};

// Bytes [base, base + size) of another source; reads beyond the other
// source's own end fail there.
class SubSource final : public ByteSource {
  public:
    SubSource(const ByteSource& parent, uint64_t base, uint64_t size)
        : parent_(&parent), base_(base), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool Read(uint64_t off, void* out, size_t n) const override;

  private:
    const ByteSource* parent_;
    uint64_t base_;
    uint64_t size_;
};

}  // namespace qm
