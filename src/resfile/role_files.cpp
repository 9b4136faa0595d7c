#include "resfile/role_files.h"

#include <cstring>

#include "platform/bytes.h"
#include "platform/text.h"
#include "resfile/clip_container.h"

namespace qm {
namespace {

uint32_t HeaderSize(RoleFrameKind kind) {
    return kind == RoleFrameKind::kIndex ? kRoleIndexHeaderSize : kRoleClipHeaderSize;
}
uint32_t EntrySize(RoleFrameKind kind) {
    return kind == RoleFrameKind::kIndex ? kRoleIndexEntrySize : kRoleClipEntrySize;
}
// The role count, and the total length just after it.
uint32_t CountOffset(RoleFrameKind kind) {
    return kind == RoleFrameKind::kIndex ? kRoleIndexCountOffset : kRoleClipCountOffset;
}

}  // namespace

uint64_t RoleTableEnd(RoleFrameKind kind, uint64_t roles) {
    return HeaderSize(kind) + uint64_t{EntrySize(kind)} * roles;
}

std::vector<unsigned char> RoleFrameBytes(RoleFrameKind kind, const std::vector<RoleBlock>& blocks,
                                          uint32_t totalLength) {
    const uint32_t roles = static_cast<uint32_t>(blocks.size());
    std::vector<unsigned char> b(static_cast<size_t>(RoleTableEnd(kind, roles)), 0);
    if (kind == RoleFrameKind::kIndex) {
        std::memcpy(b.data(), kRoleIndexMagic, sizeof kRoleIndexMagic);
    } else {
        const ClipHeader h = MakeClipHeader(kRoleClipRateByte, kRoleClipCoding, roles);
        std::memcpy(b.data(), h.bytes.data(), h.bytes.size());
    }
    PutU32(&b[CountOffset(kind)], roles);
    PutU32(&b[CountOffset(kind) + 4], totalLength);
    unsigned char* p = &b[HeaderSize(kind)];
    for (const RoleBlock& block : blocks) {
        if (kind == RoleFrameKind::kIndex) {
            PutU32(p, static_cast<uint32_t>(block.id));
            p += 4;
        }
        PutU32(p, block.offset);
        PutU32(p + 4, block.length);
        p += 8;
    }
    return b;
}

std::vector<unsigned char> EmptyRoleIndexFile() {
    return RoleFrameBytes(RoleFrameKind::kIndex, {}, kRoleIndexHeaderSize);
}

std::vector<unsigned char> EmptyRoleClipContainer() {
    return RoleFrameBytes(RoleFrameKind::kClips, {}, kRoleClipHeaderSize);
}

bool RoleFrameWriter::Begin(File& out, RoleFrameKind kind, const std::vector<int32_t>& roleIds) {
    out_ = &out;
    kind_ = kind;
    blocks_.assign(roleIds.size(), RoleBlock{});
    for (size_t k = 0; k < roleIds.size(); ++k) blocks_[k].id = roleIds[k];
    filled_ = 0;
    next_ = RoleTableEnd(kind, roleIds.size());
    const std::vector<unsigned char> frame = RoleFrameBytes(kind, blocks_, 0);
    return out.Seek(0) && out.Write(frame.data(), frame.size()) && out.Flush() && !out.Failed();
}

bool RoleFrameWriter::AddBlock(uint64_t end) {
    if (filled_ >= blocks_.size() || end < next_ || end > UINT32_MAX) return false;
    blocks_[filled_].offset = static_cast<uint32_t>(next_);
    blocks_[filled_].length = static_cast<uint32_t>(end - next_);
    ++filled_;
    next_ = end;
    return true;
}

bool RoleFrameWriter::Finish() {
    if (out_ == nullptr || filled_ != blocks_.size()) return false;
    const std::vector<unsigned char> frame =
        RoleFrameBytes(kind_, blocks_, static_cast<uint32_t>(next_));
    return out_->Seek(0) && out_->Write(frame.data(), frame.size()) && !out_->Failed();
}

bool ReadRoleFrame(const ByteSource& src, RoleFrameKind kind, RoleFrame& frame,
                   std::vector<std::string>& problems) {
    const bool isIndex = kind == RoleFrameKind::kIndex;
    const uint32_t headerSize = HeaderSize(kind);
    const unsigned long long size = src.Size();
    frame = RoleFrame{};
    std::vector<unsigned char> h(headerSize);
    if (!src.Read(0, h.data(), h.size())) {
        problems.push_back(
            Format("%llu bytes, too short for its %u-byte header", size, headerSize));
        return false;
    }
    if (isIndex) {
        if (std::memcmp(h.data(), kRoleIndexMagic, sizeof kRoleIndexMagic) != 0) {
            problems.push_back("no role index magic \"kdResV6\"");
            return false;
        }
    } else {
        const ClipHeader clip = DecodeClipHeader(h.data());
        if (!clip.magic) {
            problems.push_back("no clip container magic \"Tessaphone Voice Data V3\"");
            return false;
        }
        frame.rateByte = clip.rateByte;
        frame.coding = clip.coding;
        if (frame.rateByte != kRoleClipRateByte) {
            problems.push_back(Format("rate byte %u, expected 16", frame.rateByte));
        }
        if (frame.coding != kRoleClipCoding) {
            problems.push_back(Format("coding byte %u, expected 0", frame.coding));
        }
    }
    frame.headerRead = true;
    frame.roles = GetU32(&h[CountOffset(kind)]);
    frame.totalLength = GetU32(&h[CountOffset(kind) + 4]);
    if (frame.totalLength != size) {
        problems.push_back(
            Format("total length %u, the resource is %llu bytes", frame.totalLength, size));
    }
    const uint64_t tableEnd = RoleTableEnd(kind, frame.roles);
    if (tableEnd > size) {
        problems.push_back(Format("role table of %u roles does not fit", frame.roles));
        return false;
    }
    std::vector<unsigned char> raw(static_cast<size_t>(tableEnd - headerSize));
    if (!src.Read(headerSize, raw.data(), raw.size())) {
        problems.push_back("role table cannot be read");
        return false;
    }
    frame.blocks.assign(frame.roles, RoleBlock{});
    frame.inside.assign(frame.roles, false);
    uint64_t expected = tableEnd;
    const unsigned char* p = raw.data();
    for (uint32_t k = 0; k < frame.roles; ++k) {
        RoleBlock& b = frame.blocks[k];
        if (isIndex) {
            b.id = static_cast<int32_t>(GetU32(p));
            p += 4;
        }
        b.offset = GetU32(p);
        b.length = GetU32(p + 4);
        p += 8;
        frame.inside[k] = b.offset >= tableEnd && uint64_t{b.offset} + b.length <= size;
        if (b.offset != expected) {
            problems.push_back(Format("role %u block at %u, expected %llu", k + 1, b.offset,
                                      static_cast<unsigned long long>(expected)));
        }
        if (!frame.inside[k])
            problems.push_back(Format("role %u block lies outside the resource", k + 1));
        expected = uint64_t{b.offset} + b.length;
    }
    if (expected != size) {
        problems.push_back(Format("role blocks end at %llu, the resource is %llu bytes",
                                  static_cast<unsigned long long>(expected), size));
    }
    return true;
}

}  // namespace qm
