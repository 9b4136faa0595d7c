// Replacing a file: the target holds the old or the whole new content, no
// temporary file outlives the replacement, links are never followed and
// nothing but a file or a link is replaced.
#include "platform/safe_replace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "common/testutil.h"

namespace fs = std::filesystem;
using namespace qmtest;

namespace {

bool WriteText(qm::File& f, const std::string& text) { return f.Write(text.data(), text.size()); }

}  // namespace

TEST(SafeReplace, ReplacesFilesAndLinks) {
    TempDir dir;
    WriteFile(dir / "target", "old");
    WriteFile(dir / "elsewhere", "not to be touched");
    fs::create_symlink(dir / "elsewhere", dir / "link");

    EXPECT_TRUE(qm::ReplaceFile(dir / "target", [](qm::File& f) { return WriteText(f, "new"); }));
    EXPECT_EQ(ReadFile(dir / "target"), "new");
    // A new file gets the permissions the process gives any new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(fs::status(dir / "target").permissions(), static_cast<fs::perms>(0666 & ~mask));

    // A link is replaced by the file, and what it pointed to stays.
    EXPECT_TRUE(qm::ReplaceFile(dir / "link", [](qm::File& f) { return WriteText(f, "mine"); }));
    EXPECT_FALSE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(ReadFile(dir / "link"), "mine");
    EXPECT_EQ(ReadFile(dir / "elsewhere"), "not to be touched");

    // A new target (package builds write the temporary by name, the golden builds show).
    {
        qm::SafeReplace r(dir / "fresh");
        ASSERT_TRUE(r.Open() && WriteText(r.Out(), "fresh"));
        EXPECT_EQ(r.TempPath().rfind(dir / ".fresh.", 0), 0u) << "beside the target";
        EXPECT_FALSE(fs::exists(dir / "fresh")) << "nothing is in place before the commit";
        EXPECT_TRUE(r.Commit());
    }
    EXPECT_EQ(ReadFile(dir / "fresh"), "fresh");

    // A new file only: an existing one is kept.
    for (const char* name : {"fresh", "newer"}) {
        qm::SafeReplace r(dir / name);
        ASSERT_TRUE(r.Open() && WriteText(r.Out(), "newer"));
        EXPECT_EQ(r.CommitNew(), std::string(name) == "newer") << name;
        EXPECT_EQ(r.TargetExists(), std::string(name) == "fresh") << name;
    }
    EXPECT_EQ(ReadFile(dir / "fresh"), "fresh");
    EXPECT_EQ(ReadFile(dir / "newer"), "newer");
    EXPECT_EQ(Entries(dir.path()), 5u) << "no temporary file is left";
}

TEST(SafeReplace, FailuresLeaveTheTargetAndNoTemporary) {
    TempDir dir;
    WriteFile(dir / "target", "old");
    fs::create_directories(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    auto write = [](qm::File& f) { return WriteText(f, "new"); };

    // A writer that gives up, a target that is a directory or a pipe, a
    // folder that does not exist.
    EXPECT_FALSE(qm::ReplaceFile(dir / "target", [](qm::File&) { return false; }));
    EXPECT_FALSE(qm::ReplaceFile(dir / "folder", write));
    EXPECT_FALSE(qm::ReplaceFile(dir / "fifo", write));
    EXPECT_FALSE(qm::ReplaceFile(dir / "none/target", write));
    // Abandoned without a commit.
    {
        qm::SafeReplace r(dir / "target");
        ASSERT_TRUE(r.Open());
        ASSERT_TRUE(WriteText(r.Out(), "half"));
    }
    // A rename that cannot happen: the temporary was taken away.
    {
        qm::SafeReplace r(dir / "target");
        ASSERT_TRUE(r.Open());
        fs::remove(r.TempPath());
        EXPECT_FALSE(r.Commit());
    }
    EXPECT_EQ(ReadFile(dir / "target"), "old");
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_EQ(Entries(dir.path()), 3u) << "no temporary file is left";

    // A folder that takes no new file, for an ordinary user (the test drops
    // the super-user's rights in a child process).
    WriteFile(dir / "ro/target", "old");
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(dir / "ro/target", fs::perms::all);
    fs::permissions(dir / "ro", fs::perms::all & ~(fs::perms::owner_write | fs::perms::group_write |
                                                   fs::perms::others_write));
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        ::_exit(qm::ReplaceFile(dir / "ro/target", write) ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(ReadFile(dir / "ro/target"), "old");
    EXPECT_EQ(Entries(dir / "ro"), 1u);
}

// Inside a folder reached by descriptor, the replacement stays in that folder
// even when a link to elsewhere has taken the folder's name meanwhile.
TEST(SafeReplace, InAFolderByDescriptor) {
    TempDir dir;
    fs::create_directories(dir / "real");
    fs::create_directories(dir / "elsewhere");
    const int folder = ::open((dir / "real").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    fs::rename(dir / "real", dir / "moved");
    fs::create_directory_symlink(dir / "elsewhere", dir / "real");
    {
        qm::SafeReplace r(folder, "x.wav");
        ASSERT_TRUE(r.Open());
        ASSERT_TRUE(r.Out().Write("new", 3));
        EXPECT_TRUE(r.Commit());
    }
    qm::SafeReplace again(folder, "x.wav");
    ASSERT_TRUE(again.Open());
    EXPECT_FALSE(again.CommitNew());  // the name is taken now
    EXPECT_TRUE(again.TargetExists());
    ::close(folder);
    EXPECT_EQ(ReadFile(dir / "moved/x.wav"), "new");
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
    EXPECT_EQ(Entries(dir / "moved"), 1u);
}
