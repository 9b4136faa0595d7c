// A build writes only into its own folders: a link at a work-file name is
// replaced by the build's own file (its target untouched), and a folder that
// another build holds is refused at once, untouched.
#include <gtest/gtest.h>

#include "safety/support.h"

namespace fs = std::filesystem;
using namespace qmtest;

TEST(Folders, LinksAtWorkFileNamesAreReplacedNeverFollowed) {
    Fixture ref;
    ASSERT_EQ(ref.Build("prompt", "Code3").exit, 0);
    const auto expected = Tree(ref.audio);

    const char* names[] = {"Prompt.idx",
                           "New-TextLst.txt",
                           "Prompt-Code1-16K.voc",
                           "Prompt-Code3-16K.voc",
                           "IrfTemp1.dat",
                           "IrfTemp2.dat",
                           "in.irf"};
    Fixture f;
    const std::string target = f.dir / "elsewhere";
    WriteFile(target, "not the build's");
    for (const char* name : names) fs::create_symlink(target, f.audio + "/" + name);
    CliResult r = f.Build("prompt", "Code3");
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(ReadFile(target), "not the build's");
    for (const char* name : names) EXPECT_FALSE(fs::is_symlink(f.audio + "/" + name)) << name;
    EXPECT_EQ(Tree(f.audio), expected);
}

TEST(Folders, RoleBuildReplacesLinksInRoleFolders) {
    Fixture f;
    AddRoles(f);
    const std::string target = f.dir / "elsewhere";
    WriteFile(target, "kept");
    for (const char* name :
         {"PromptRole.idx", "RolePrompt-Code1-16K.voc", "RolePrompt-Code4-16K.voc",
          "r0/New-TextLst.txt", "r1/New-TextLst.txt", "IrfTemp1.dat"})
        fs::create_symlink(target, f.audio + "/" + name);
    CliResult r = f.Build("role", "Code4");
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(ReadFile(target), "kept");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(f.audio + "/r1/New-TextLst.txt")));
    EXPECT_TRUE(Leftovers(f.audio).empty());
}

TEST(Folders, HeldFolderIsRefusedUntouched) {
    // The audio folder, then a role folder, held by another build.
    for (const char* held : {"", "r1"}) {
        Fixture f;
        AddRoles(f);
        const std::string folder = *held ? f.audio + "/" + held : f.audio;
        HeldLock lock(folder);
        ASSERT_TRUE(lock.held());
        // The held folder stays as it was (earlier roles are built before).
        const std::string watched = *held ? folder : f.dir.path();
        const auto before = Tree(watched);
        CliResult r = f.Build(*held ? "role" : "prompt", "Code2");
        EXPECT_EQ(r.exit, 1) << r.err;
        EXPECT_EQ(Line(WithoutWarnings(r.err)),
                  "Another build is running in " + folder + ", please wait until it has finished!");
        EXPECT_EQ(Tree(watched), before) << held;
    }
}

TEST(Folders, TwoBuildsAtOnceNeverBothWriteOneFolder) {
    Fixture ref(16000, ManyPrompts(40, 40000));
    ASSERT_EQ(ref.Build("prompt", "Code4", {"--jobs", "1"}).exit, 0);
    const std::string expected = ReadFile(ref.audio + "/in.irf");

    // The first build is stopped while it holds the folder's lock, so the
    // second starts while the first holds the folder, however fast or busy
    // the machine. A first build that ends before it is caught leaves the
    // round without a second; another round is tried.
    bool refused = false;
    for (int round = 0; round < 5 && !refused; ++round) {
        Fixture f(16000, ManyPrompts(40, 40000));
        const auto args = f.Args("prompt", "Code4", {"--jobs", "1"});
        const std::string lock = f.audio + "/" + qm::kFolderLockName;
        Spawned first(args);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!HoldsFlock(first.Pid(), lock) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        first.Stop();
        const bool holding = HoldsFlock(first.Pid(), lock);
        std::optional<CliResult> b;
        if (holding) b = Spawned(args).Wait(120000);
        first.Signal(SIGCONT);
        std::optional<CliResult> a = first.Wait(120000);
        ASSERT_TRUE(a && (b || !holding));
        for (const CliResult* r : {&*a, b ? &*b : &*a}) {
            if (r->exit == 0) continue;
            EXPECT_EQ(r->exit, 1) << r->err;
            EXPECT_EQ(Line(WithoutWarnings(r->err)), "Another build is running in " + f.audio +
                                                         ", please wait until it has finished!");
            refused = true;
        }
        EXPECT_TRUE(a->exit == 0 || (b && b->exit == 0));
        EXPECT_EQ(ReadFile(f.audio + "/in.irf"), expected) << round;
        EXPECT_TRUE(Leftovers(f.audio).empty());
    }
    EXPECT_TRUE(refused);
}
