// Files and paths: writing never goes through a link, a failed flush is a
// failure, the parts of a path.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/testutil.h"
#include "platform/fs.h"

namespace fs = std::filesystem;
using namespace qmtest;

TEST(File, WritingNeverFollowsALink) {
    TempDir dir;
    WriteFile(dir / "real", "kept");
    fs::create_symlink(dir / "real", dir / "link");
    for (const char* mode : {"wb", "w+b", "r+b", "ab"}) {
        qm::File f;
        EXPECT_FALSE(f.Open(dir / "link", mode)) << mode;
    }
    qm::File f;
    EXPECT_TRUE(f.Open(dir / "link", "rb")) << "reading through a link is fine";
    EXPECT_EQ(ReadFile(dir / "real"), "kept");
}

TEST(File, WritesFailWithoutAFileOrSpace) {
    qm::File none;
    EXPECT_FALSE(none.Write("a", 1));
    EXPECT_FALSE(none.Flush());
    EXPECT_TRUE(none.Failed());

    if (!fs::exists("/dev/full")) GTEST_SKIP();
    // A full device: the buffered write succeeds, the flush fails.
    qm::File f;
    ASSERT_TRUE(f.Open("/dev/full", "wb"));
    EXPECT_TRUE(f.Write("abc", 3));
    EXPECT_FALSE(f.Flush());
    EXPECT_TRUE(f.Failed());
    EXPECT_FALSE(f.Close());
}

TEST(Path, Parts) {
    const struct {
        const char* path;
        const char* parent;
        const char* name;
        const char* extension;
    } cases[] = {
        {"/a/b/c.irf", "/a/b", "c.irf", ".irf"},
        {"/c.d.voc", "/", "c.d.voc", ".voc"},
        {"name", ".", "name", ""},
        {"/a.b/c", "/a.b", "c", ""},
        {"dir/", "dir", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qm::ParentPath(c.path), c.parent) << c.path;
        EXPECT_EQ(qm::PathFindFileName(c.path), c.name) << c.path;
        EXPECT_EQ(qm::PathFindExtension(c.path), c.extension) << c.path;
    }
}
