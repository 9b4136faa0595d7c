// The two frames of a role build: the role index file ("kdResV6", a role
// table of identifier, offset and length, then one text index block per role)
// and the role clip container (a clip container header with rate byte 16 and
// coding 0, the total length, a role table of offset and length, then one
// clip container per role). Both have a 1024-byte header; their blocks stand
// back to back after the role table, in role order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"
#include "resfile/byte_source.h"

namespace qm {

inline constexpr char kRoleIndexMagic[8] = {'k', 'd', 'R', 'e', 's', 'V', '6', '\0'};
inline constexpr uint32_t kRoleIndexHeaderSize = 1024;
inline constexpr uint32_t kRoleIndexEntrySize = 12;  // identifier, offset, length
inline constexpr uint32_t kRoleIndexCountOffset = 24;
inline constexpr uint32_t kRoleClipHeaderSize = 1024;
inline constexpr uint32_t kRoleClipEntrySize = 8;  // offset, length
inline constexpr uint32_t kRoleClipCountOffset = 36;
inline constexpr uint8_t kRoleClipRateByte = 16;
inline constexpr uint8_t kRoleClipCoding = 0;

enum class RoleFrameKind { kIndex, kClips };

// One role's block: its identifier (role index file only), and where its
// text index block or clip container lies in the frame.
struct RoleBlock {
    int32_t id = 0;
    uint32_t offset = 0;
    uint32_t length = 0;
};

// Offset of the first block: the end of the role table.
uint64_t RoleTableEnd(RoleFrameKind kind, uint64_t roles);

// The header and role table of a frame with the given blocks and total
// length (kIndex: kRoleIndexHeaderSize + 12 per block; kClips: 1024 + 8 per block).
std::vector<unsigned char> RoleFrameBytes(RoleFrameKind kind, const std::vector<RoleBlock>& blocks,
                                          uint32_t totalLength);
// An empty role index file and an empty role clip container (no roles).
std::vector<unsigned char> EmptyRoleIndexFile();
std::vector<unsigned char> EmptyRoleClipContainer();

// Writes a frame at the start of a file as a role build fills it: the header
// and a role table of placeholders (the identifiers, zero offsets and
// lengths, a total length of 0) first; after each role's block has been
// appended at the end of the file, AddBlock records it; Finish writes the
// total length and the final role table.
class RoleFrameWriter {
  public:
    // Writes the frame for roles with these identifiers (for kClips only
    // their number counts) at offset 0 of out, and flushes. False when a
    // write fails.
    bool Begin(File& out, RoleFrameKind kind, const std::vector<int32_t>& roleIds);
    // Where the next block starts: the end of the role table, then the end
    // of the last block.
    uint64_t NextOffset() const { return next_; }
    // Records the next role's block as ending at `end` (the file's length
    // after it was appended). False when the frame would outgrow 32-bit
    // offsets or every role already has its block.
    bool AddBlock(uint64_t end);
    // Writes the total length and the role table over their placeholders.
    // False when roles lack their block or a write fails. The file is not
    // flushed or closed.
    bool Finish();
    const std::vector<RoleBlock>& Blocks() const { return blocks_; }

  private:
    File* out_ = nullptr;
    RoleFrameKind kind_ = RoleFrameKind::kIndex;
    std::vector<RoleBlock> blocks_;
    size_t filled_ = 0;
    uint64_t next_ = 0;
};

// A frame read back: its header fields, its role table and, per role,
// whether the block lies inside the frame after the table.
struct RoleFrame {
    bool headerRead = false;  // long enough, with the magic
    uint32_t roles = 0;
    uint32_t totalLength = 0;
    uint8_t rateByte = 0;  // role clip container only
    uint8_t coding = 0;    // role clip container only
    std::vector<RoleBlock> blocks;
    std::vector<bool> inside;
};

// Reads and checks a frame. False when its role table cannot be read (too
// short for the header, no magic, a table that does not fit); every
// inconsistency goes into problems, one English sentence each: the total
// length against the source's size, blocks that do not chain from the end
// of the table to the end, blocks outside, and for the clip frame a rate
// byte other than 16 or a coding byte other than 0.
bool ReadRoleFrame(const ByteSource& src, RoleFrameKind kind, RoleFrame& frame,
                   std::vector<std::string>& problems);

}  // namespace qm
