// The role index file and role clip container frames: the writer as a role
// build drives it, and the reader on sound and damaged frames.
#include "resfile/role_files.h"

#include <gtest/gtest.h>

#include "common/formats.h"

namespace qm {
namespace {

using qmtest::Patched;
using qmtest::U32At;

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
    // Sound frames are read by the role build tests (their blocks, ids and lengths).
    EXPECT_TRUE(Findings(index, RoleFrameKind::kIndex, true).empty());
    RoleFrame frame;
    EXPECT_TRUE(Findings(clips, RoleFrameKind::kClips, true, &frame).empty());
    EXPECT_EQ(frame.rateByte, 16);
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
