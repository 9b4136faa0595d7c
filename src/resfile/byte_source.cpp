#include "resfile/byte_source.h"

#include <cstring>

#include "platform/bytes.h"

namespace qm {

bool ByteSource::ReadU32(uint64_t off, uint32_t& v) const {
    unsigned char b[4];
    if (!Read(off, b, sizeof b)) return false;
    v = GetU32(b);
    return true;
}

bool ByteSource::ReadAll(std::vector<unsigned char>& out) const {
    out.resize(static_cast<size_t>(Size()));
    return Read(0, out.data(), out.size());
}

bool MemorySource::Read(uint64_t off, void* out, size_t n) const {
    if (!Holds(off, n)) return false;
    if (n > 0) std::memcpy(out, bytes_.data() + off, n);
    return true;
}

bool FileRangeSource::Read(uint64_t off, void* out, size_t n) const {
    if (!Holds(off, n)) return false;
    return file_->Seek(static_cast<int64_t>(base_ + off)) && file_->ReadExact(out, n);
}

bool SubSource::Read(uint64_t off, void* out, size_t n) const {
    if (!Holds(off, n)) return false;
    return parent_->Read(base_ + off, out, n);
}

}  // namespace qm
