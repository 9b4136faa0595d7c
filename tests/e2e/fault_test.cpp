// Faults during builds: the process killed at any point, unwritable folders, odd paths. In
// every case the input package and the user's files survive, and the final
// name holds either the old file or a complete new package.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "e2e/fixture.h"

namespace fs = std::filesystem;
using namespace qmtest;

namespace {

const char* kOlder = "an older package of the same name";

bool StartsWith(const std::string& s, const std::string& p) { return s.rfind(p, 0) == 0; }

// A message the build may give when a write fails.
bool IsWriteFailure(const std::string& m) {
    return StartsWith(m, "Can not write file ") || StartsWith(m, "Can not create file ") ||
           m == "Copy temp file failed！" || StartsWith(m, "打开文件") ||
           m.find("occured when executing codeing") != std::string::npos ||
           StartsWith(m, "Build failed: ");
}

}  // namespace

TEST(Faults, KilledAtRandomPoints) {
    Fixture f(16000, ManyPrompts(60, 30000));
    const std::string before = ReadFile(f.package);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(f.Build("prompt", "Code2").exit, 0);
    const int full = static_cast<int>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0)
            .count());
    const std::string complete = ReadFile(f.audio + "/in.irf");

    std::mt19937 rng(12345);
    int interrupted = 0;
    for (int round = 0; round < 25; ++round) {
        WriteFile(f.audio + "/in.irf", kOlder);
        RunOptions opt;
        opt.killAfterUs = std::uniform_int_distribution<int>(0, full + full / 5)(rng);
        if (f.Build("prompt", "Code2", {}, opt).exit != 0) ++interrupted;
        EXPECT_EQ(ReadFile(f.package), before) << "round " << round;
        const std::string now = ReadFile(f.audio + "/in.irf");
        EXPECT_TRUE(now == kOlder || now == complete) << "round " << round << ": partial package";
        EXPECT_EQ(ReadFile(f.audio + "/keep.dat"), "user data");
    }
    EXPECT_GT(interrupted, 5) << "the kills should interrupt most builds";
}

TEST(Faults, UnwritableAndOddPlaces) {
    {
        // Paths with spaces and Chinese characters, and a deep folder.
        TempDir dir;
        std::string deep = dir / "语音 提示";
        for (int i = 0; i < 12; ++i) deep += "/层 " + std::string(20, 'a' + i);
        fs::create_directories(deep);
        Fixture f;
        fs::copy(f.audio, deep + "/音频 文件夹", fs::copy_options::recursive);
        fs::copy_file(f.package, deep + "/包 文件.irf");
        CliResult r = RunCli({"build", "--type", "prompt", "--audio", deep + "/音频 文件夹",
                              "--irf", deep + "/包 文件.irf", "--code", "Code1"});
        EXPECT_EQ(r.exit, 0) << r.err;
        EXPECT_TRUE(fs::exists(deep + "/音频 文件夹/包 文件.irf"));
    }
    // Permissions: the tool runs as an ordinary user, so they bind it even
    // when the tests run as the super-user.
    auto openUp = [](const std::string& root) {
        fs::permissions(root, fs::perms::all, fs::perm_options::add);
        for (auto& e : fs::recursive_directory_iterator(root))
            fs::permissions(e.path(), fs::perms::all, fs::perm_options::add);
    };
    RunOptions user;
    user.asNobody = true;
    {
        // A read-only audio folder: nothing can be written, nothing is lost.
        Fixture f;
        openUp(f.dir.path());
        fs::permissions(f.audio,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        CliResult r = f.Build("prompt", "Code1", {}, user);
        fs::permissions(f.audio, fs::perms::owner_write, fs::perm_options::add);
        EXPECT_EQ(r.exit, 1);
        EXPECT_TRUE(IsWriteFailure(Message(r.err))) << r.err;
        EXPECT_EQ(ReadFile(f.audio + "/keep.dat"), "user data");
        EXPECT_FALSE(fs::exists(f.audio + "/in.irf"));
    }
    {
        // An unreadable recording.
        Fixture f;
        openUp(f.dir.path());
        fs::permissions(f.audio + "/a8.wav", fs::perms::none);
        CliResult r = f.Build("prompt", "Code1", {}, user);
        EXPECT_EQ(r.exit, 1);
        EXPECT_FALSE(Line(r.err).empty());
        EXPECT_FALSE(fs::exists(f.audio + "/in.irf"));
    }
}
