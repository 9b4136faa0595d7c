// The role index file and role clip container frames: the writer as a role
// build drives it, and the reader on sound and damaged frames.
#include "resfile/role_files.h"

#include <gtest/gtest.h>

#include "common/formats.h"

namespace qm {
namespace {

using qmtest::LE32;
using qmtest::Patched;

// Writes a frame for the ids with the writer, appending the blocks one by
// one as a role build does; the file's bytes.
std::string Written(RoleFrameKind kind, const std::vector<int32_t>& ids,
                    const std::vector<std::string>& blocks, std::string* afterBegin = nullptr) {
    qmtest::TempDir dir;
    File f;
    RoleFrameWriter w;
    EXPECT_TRUE(f.Open(dir / "frame", "w+b"));
    EXPECT_TRUE(w.Begin(f, kind, ids));
    if (afterBegin) *afterBegin = qmtest::ReadFile(dir / "frame");  // flushed by Begin
    for (const std::string& b : blocks) {
        EXPECT_EQ(w.NextOffset(), static_cast<uint64_t>(f.Size()));
        EXPECT_TRUE(f.SeekEnd() && f.Write(b.data(), b.size()) && f.Flush());
        EXPECT_TRUE(w.AddBlock(static_cast<uint64_t>(f.Size())));
    }
    EXPECT_TRUE(w.Finish());
    EXPECT_TRUE(f.Close());
    return qmtest::ReadFile(dir / "frame");
}

TEST(RoleFrameWriter, WritesTheFramesOfOneToThreeRoles) {
    const std::vector<std::string> blocks = {qmtest::TextIndexBytes({"ab"}),
                                             qmtest::TextIndexBytes({"c", "de"}),
                                             qmtest::TextIndexBytes({})};
    const std::vector<int32_t> ids = {42, -30, 7};
    for (size_t roles = 1; roles <= 3; ++roles) {
        std::vector<int32_t> someIds(ids.begin(), ids.begin() + roles);
        std::vector<std::string> someBlocks(blocks.begin(), blocks.begin() + roles);
        std::string frame;
        EXPECT_EQ(Written(RoleFrameKind::kIndex, someIds, someBlocks, &frame),
                  qmtest::RoleIndexBytes(someIds, someBlocks))
            << roles;
        // Until the end, the total length is 0 and the table holds only the ids.
        std::string placeholders =
            qmtest::RoleIndexBytes(someIds, someBlocks).substr(0, frame.size());
        qmtest::SetLE32(placeholders, 28, 0);
        for (size_t k = 0; k < roles; ++k) {
            qmtest::SetLE32(placeholders, 1028 + 12 * k, 0);
            qmtest::SetLE32(placeholders, 1032 + 12 * k, 0);
        }
        EXPECT_EQ(frame, placeholders);

        EXPECT_EQ(Written(RoleFrameKind::kClips, someIds, someBlocks, &frame),
                  qmtest::RoleClipBytes(someBlocks))
            << roles;
        EXPECT_EQ(frame.size(), 1024 + 8 * roles);
        EXPECT_EQ(LE32(frame, 40), 0u);
        EXPECT_EQ(frame.substr(1024), std::string(8 * roles, '\0'));
    }
    // The empty frames of a skeleton package.
    EXPECT_EQ(qmtest::Str(EmptyRoleIndexFile()), qmtest::RoleIndexBytes({}, {}));
    EXPECT_EQ(qmtest::Str(EmptyRoleClipContainer()), qmtest::RoleClipBytes({}));
}

TEST(RoleFrameWriter, Refusals) {
    qmtest::TempDir dir;
    File f;
    ASSERT_TRUE(f.Open(dir / "frame", "w+b"));
    RoleFrameWriter w;
    ASSERT_TRUE(w.Begin(f, RoleFrameKind::kClips, {1, 2}));
    EXPECT_FALSE(w.Finish());                  // no block yet
    EXPECT_FALSE(w.AddBlock(1000));            // before the end of the table
    EXPECT_FALSE(w.AddBlock(0x100000000ull));  // past 32-bit offsets
    EXPECT_TRUE(w.AddBlock(1040));             // an empty block
    EXPECT_TRUE(w.AddBlock(0xFFFFFFFFull));
    EXPECT_FALSE(w.AddBlock(0xFFFFFFFFull));  // every role has its block
    ASSERT_EQ(w.Blocks().size(), 2u);
    EXPECT_EQ(w.Blocks()[1].offset, 1040u);
    EXPECT_EQ(w.Blocks()[1].length, 0xFFFFFFFFu - 1040);
    if (f.Open("/dev/full", "wb")) {
        EXPECT_FALSE(w.Begin(f, RoleFrameKind::kIndex, {1}));
    }
}

std::vector<std::string> Findings(const std::string& bytes, RoleFrameKind kind, bool tableRead,
                                  RoleFrame* out = nullptr) {
    MemorySource src = qmtest::Source(bytes);
    RoleFrame frame;
    std::vector<std::string> problems;
    EXPECT_EQ(ReadRoleFrame(src, kind, frame, problems), tableRead);
    if (out) *out = frame;
    return problems;
}

TEST(RoleFrameReader, ReadsAndChecks) {
    const std::string a = qmtest::TextIndexBytes({"ab"});  // 356 bytes
    const std::string index = qmtest::RoleIndexBytes({42, -30}, {a, a});
    const std::string clips = qmtest::RoleClipBytes({"0123", "456"});
    RoleFrame frame;
    EXPECT_TRUE(Findings(index, RoleFrameKind::kIndex, true, &frame).empty());
    EXPECT_TRUE(frame.headerRead);
    EXPECT_EQ(frame.roles, 2u);
    EXPECT_EQ(frame.totalLength, index.size());
    ASSERT_EQ(frame.blocks.size(), 2u);
    EXPECT_EQ(frame.blocks[1].id, -30);
    EXPECT_EQ(frame.blocks[1].offset, 1048u + 356);
    EXPECT_EQ(frame.blocks[1].length, 356u);
    EXPECT_EQ(frame.inside, std::vector<bool>({true, true}));
    EXPECT_TRUE(Findings(clips, RoleFrameKind::kClips, true, &frame).empty());
    EXPECT_EQ(frame.rateByte, 16);
    EXPECT_EQ(frame.blocks[1].offset, 1044u);
    // A clip container is no role index file, and the other way round.
    EXPECT_EQ(Findings(clips, RoleFrameKind::kIndex, false),
              std::vector<std::string>({"no role index magic \"kdResV6\""}));
    EXPECT_EQ(Findings(index, RoleFrameKind::kClips, false),
              std::vector<std::string>({"no clip container magic \"Tessaphone Voice Data V3\""}));

    struct Case {
        const char* what;
        RoleFrameKind kind;
        std::string bytes;
        bool tableRead;
        std::vector<std::string> findings;
    };
    const RoleFrameKind kI = RoleFrameKind::kIndex, kC = RoleFrameKind::kClips;
    const std::vector<Case> cases = {
        {"short",
         kI,
         index.substr(0, 1023),
         false,
         {"1023 bytes, too short for its 1024-byte header"}},
        {"total length",
         kI,
         Patched(index, 28, 5),
         true,
         {"total length 5, the resource is 1760 bytes"}},
        {"table past the end",
         kI,
         Patched(index, 24, 62),
         false,
         {"role table of 62 roles does not fit"}},
        {"table of 2^32 - 1 roles",
         kC,
         Patched(clips, 36, 0xFFFFFFFFu),
         false,
         {"role table of 4294967295 roles does not fit"}},
        {"a gap",
         kI,
         Patched(index, 1028, 1049),
         true,
         {"role 1 block at 1049, expected 1048", "role 2 block at 1404, expected 1405"}},
        {"block past the end",
         kI,
         Patched(index, 1044, 357),
         true,
         {"role 2 block lies outside the resource",
          "role blocks end at 1761, the resource is 1760 bytes"}},
        {"block in the table",
         kC,
         Patched(Patched(clips, 1024, 1039), 1028, 5),
         true,
         {"role 1 block at 1039, expected 1040", "role 1 block lies outside the resource"}},
        {"offset overflow",
         kC,
         Patched(Patched(clips, 1032, 0xFFFFFFF0u), 1036, 0x20),
         true,
         {"role 2 block at 4294967280, expected 1044", "role 2 block lies outside the resource",
          "role blocks end at 4294967312, the resource is 1047 bytes"}},
        {"rate and coding",
         kC,
         Patched(clips, 32, 0x020BCCCC),
         true,
         {"rate byte 11, expected 16", "coding byte 2, expected 0"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Findings(c.bytes, c.kind, c.tableRead), c.findings) << c.what;
    }
}

}  // namespace
}  // namespace qm
