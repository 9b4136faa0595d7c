// Files by the kind of file at their names: writing never goes through a
// link, links at a created name are replaced (their targets kept), inputs are
// regular files only, nothing waits on a FIFO; a failed flush is a failure;
// folder locks between holders; the parts of a path.
#include "platform/file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/testutil.h"
#include "platform/folder_lock.h"
#include "platform/fs.h"

namespace fs = std::filesystem;
using namespace qmtest;

TEST(FileKind, CreateOpenInputAndReplaceProblem) {
    const struct {
        const char* kind;
        bool created;      // File::Create succeeds
        bool input;        // File::OpenInput succeeds
        const char* what;  // FileKind
        bool problem;      // ReplaceProblem reports it
    } cases[] = {
        {"none", true, false, "", false},
        {"file", true, true, "a regular file", false},
        {"link", true, true, "a symbolic link", false},
        {"folder", false, false, "a folder", true},
        {"fifo", false, false, "a FIFO", true},
        {"socket", false, false, "a socket", true},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string target = dir / "target";
        WriteFile(target, "kept");
        const std::string path = dir / "name";
        int fd = -1;
        ASSERT_TRUE(MakeKind(c.kind, path, fd, target)) << c.kind;
        EXPECT_EQ(qm::FileKind(path), c.what) << c.kind;
        EXPECT_EQ(!qm::ReplaceProblem(path).empty(), c.problem) << c.kind;
        {
            qm::File in;
            EXPECT_EQ(in.OpenInput(path), c.input) << c.kind;
        }
        if (std::string(c.kind) == "link") {
            for (const char* mode : {"wb", "w+b", "r+b", "ab"})
                EXPECT_FALSE(qm::File().Open(path, mode)) << mode;
        }
        qm::File out;
        ASSERT_EQ(out.Create(path, "w+b"), c.created) << c.kind;
        if (c.created) {
            EXPECT_TRUE(out.Write("new", 3));
            EXPECT_TRUE(out.Close());
            EXPECT_EQ(qm::FileKind(path), "a regular file") << c.kind;
            EXPECT_EQ(ReadFile(path), "new");
        }
        EXPECT_EQ(ReadFile(target), "kept") << c.kind;
        if (fd >= 0) ::close(fd);
    }
}

TEST(FileKind, ReplacingALinkHitsOnlyTheLink) {
    TempDir dir;
    WriteFile(dir / "list", "x");
    fs::create_symlink(dir / "list", dir / "link");
    fs::create_hard_link(dir / "list", dir / "hard");
    EXPECT_TRUE(qm::ReplacingHits(dir / "hard", dir / "list"));
    EXPECT_TRUE(qm::ReplacingHits(dir / "list", dir / "link")) << "the input is read through it";
    EXPECT_FALSE(qm::ReplacingHits(dir / "link", dir / "list"));
    EXPECT_TRUE(qm::ReplacingHits(dir / "link", dir / "link"));
    EXPECT_FALSE(qm::ReplacingHits(dir / "absent", dir / "list"));
}

TEST(FolderLock, OneHolderAtATimeAndTheLockFileGoes) {
    TempDir dir;
    const std::string lockFile = dir / qm::kFolderLockName;
    {
        qm::FolderLocks mine;
        EXPECT_EQ(mine.Take(dir.path()), qm::LockResult::kTaken);
        // The same folder again by another path: held already.
        EXPECT_EQ(mine.Take(dir.path() + "/."), qm::LockResult::kTaken);
        qm::FolderLocks other;
        EXPECT_EQ(other.Take(dir.path()), qm::LockResult::kBusy);
        EXPECT_TRUE(fs::exists(lockFile));
    }
    EXPECT_FALSE(fs::exists(lockFile));
    // A stale lock file (a killed holder) and a link at the name are taken
    // over; the link's target is kept.
    WriteFile(dir / "elsewhere", "kept");
    fs::create_symlink(dir / "elsewhere", lockFile);
    {
        qm::FolderLocks mine;
        EXPECT_EQ(mine.Take(dir.path()), qm::LockResult::kTaken);
        EXPECT_FALSE(fs::is_symlink(lockFile));
    }
    EXPECT_EQ(ReadFile(dir / "elsewhere"), "kept");
    EXPECT_EQ(qm::FolderLocks().Take(dir / "missing"), qm::LockResult::kNoLock);
}

TEST(File, WritesFailWithoutSpace) {
    if (!fs::exists("/dev/full")) GTEST_SKIP();
    // A full device: the buffered write succeeds, the flush fails.
    qm::File f;
    ASSERT_TRUE(f.Open("/dev/full", "wb"));
    EXPECT_TRUE(f.Write("abc", 3));
    EXPECT_FALSE(f.Flush());
    EXPECT_TRUE(f.Failed());
    EXPECT_FALSE(f.Close());
}

TEST(File, CopyReplacesWithEveryByte) {
    // Packages run to megabytes: the copy spans many reads, and a shorter
    // copy over a longer file leaves nothing of it behind.
    TempDir dir;
    std::string big(150001, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
    WriteFile(dir / "big", big);
    WriteFile(dir / "small", "abc");
    EXPECT_TRUE(qm::CopyFileReplace(dir / "big", dir / "copy"));
    EXPECT_EQ(ReadFile(dir / "copy"), big);
    EXPECT_TRUE(qm::CopyFileReplace(dir / "small", dir / "copy"));
    EXPECT_EQ(ReadFile(dir / "copy"), "abc");
    EXPECT_FALSE(qm::CopyFileReplace(dir / "none", dir / "copy"));
}
