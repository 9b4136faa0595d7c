// SIGINT, SIGTERM, SIGHUP and SIGKILL at any moment of a build: the build
// stops within a second, removes every temporary file (but for SIGKILL),
// leaves the input package and the final name whole, and exits with 128 + the
// signal.
#include <gtest/gtest.h>

#include <random>

#include "safety/support.h"

namespace fs = std::filesystem;
using namespace qmtest;

TEST(Interrupts, EveryTemporaryGoesOnEveryWayOut) {
    const char* kOlder = "an older package of the same name";
    const struct {
        const char* type;
        const char* code;
    } builds[] = {{"prompt", "Code1"}, {"prompt", "Code4"}, {"role", "Code3"}, {"role", "Code4"}};
    std::mt19937 rng(20261207);
    int interrupted = 0;
    for (const auto& b : builds) {
        const bool role = std::string(b.type) == "role";
        // How long the whole build takes, for the moments of the signals.
        Fixture ref(16000, ManyPrompts(40, 60000));
        if (role) AddRoles(ref, 12);
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(ref.Build(b.type, b.code).exit, 0);
        const int full = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now() - t0)
                                              .count());
        const std::string complete = ReadFile(ref.audio + "/in.irf");

        // SIGKILL cannot be caught: it tests the replacement alone.
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
            Fixture f(16000, ManyPrompts(40, 60000));
            if (role) AddRoles(f, 12);
            WriteFile(f.audio + "/in.irf", kOlder);
            const std::string before = ReadFile(f.package);
            Spawned run(f.Args(b.type, b.code));
            std::this_thread::sleep_for(
                std::chrono::milliseconds(std::uniform_int_distribution<int>(0, full / 2)(rng)));
            run.Signal(sig);
            const auto signalled = std::chrono::steady_clock::now();
            std::optional<CliResult> r = run.Wait(10000);
            ASSERT_TRUE(r.has_value()) << b.type << " " << b.code << " " << sig;
            EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(2));
            // A build that ended before the signal (the machine is shared, so
            // timings vary) must have ended complete.
            if (r->exit == 0) {
                EXPECT_EQ(ReadFile(f.audio + "/in.irf"), complete);
            } else {
                EXPECT_EQ(r->exit, 128 + sig) << b.type << " " << b.code << ": " << r->err;
                ++interrupted;
            }
            EXPECT_EQ(ReadFile(f.package), before);
            const std::string now = ReadFile(f.audio + "/in.irf");
            EXPECT_TRUE(now == kOlder || now == complete) << b.type << " " << b.code;
            if (sig == SIGKILL) continue;
            EXPECT_EQ(Leftovers(f.dir.path()), std::vector<std::string>{})
                << b.type << " " << b.code << " " << sig;
            // Work files are whole or gone: none is left cut short.
            for (const auto& [name, bytes] : Tree(ref.audio)) {
                const std::string path = f.audio + "/" + name;
                const bool work = name.find(".voc") != std::string::npos ||
                                  name.find(".idx") != std::string::npos;
                if (work && fs::exists(path)) {
                    EXPECT_EQ(ReadFile(path), bytes) << name << " " << sig;
                }
            }
        }
    }
    // Most signals land while the builds run.
    EXPECT_GE(interrupted, 8);
}

TEST(Interrupts, FullDiskAtEveryStepLeavesNoTemporary) {
    // File size limits from a few kilobytes to past the package: every
    // step's write fails somewhere in the range.
    for (const char* type : {"prompt", "role"}) {
        for (long long limit : {2000LL, 9000LL, 30000LL, 60000LL, 120000LL, 400000LL}) {
            Fixture f;
            if (std::string(type) == "role") AddRoles(f, 4);
            const std::string before = ReadFile(f.package);
            RunOptions opt;
            opt.fileLimit = limit;
            CliResult r = f.Build(type, "Code3", {"--out", f.dir / "out.irf"}, opt);
            EXPECT_TRUE(r.exit == 0 || r.exit == 1) << type << " " << limit << ": " << r.err;
            EXPECT_EQ(ReadFile(f.package), before);
            if (r.exit != 0) {
                EXPECT_FALSE(fs::exists(f.dir / "out.irf")) << type << " " << limit;
            }
            EXPECT_EQ(Leftovers(f.dir.path()), std::vector<std::string>{}) << type << " " << limit;
        }
    }
    // A new skeleton over an old file: the old one stays whole.
    TempDir dir;
    WriteFile(dir / "s.irf", "old");
    CliResult r = RunCli({"init-package", dir / "s.irf", "--rate", "8000", "--force"},
                         RunOptions{.cwd = "", .fileLimit = 1000});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(Message(r.err), "Can not write file " + (dir / "s.irf") + "！");
    EXPECT_EQ(Tree(dir.path()), (std::map<std::string, std::string>{{"s.irf", "old"}}));
}
