// Whole builds through the command line on generated material: recordings at
// every supported source rate, packages with opaque resources around the
// replaced ones, the refusals and failures, and the user's files.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/formats.h"
#include "e2e/fixture.h"
#include "platform/text.h"
#include "resfile/clip_container.h"
#include "resfile/formats.h"

namespace fs = std::filesystem;
using namespace qmtest;

namespace {

// Checks a clip container's frame and returns each record's sample count.
std::vector<uint32_t> ClipCounts(const std::string& c, int rateByte, int coding) {
    const qm::ClipContainerCheck k = qm::CheckClipContainer(Source(c));
    EXPECT_TRUE(k.headerRead);
    for (const std::string& p : k.problems) ADD_FAILURE() << p;
    EXPECT_EQ(k.rateByte, rateByte);
    EXPECT_EQ(k.coding, coding);
    return k.samples;
}

// The coded clip file of a build keeps each record's sample count of the
// plain one, and the package holds it.
void ExpectCoded(const Fixture& f, const std::string& type, const std::string& code, int coding,
                 int rate, const qm::ResourceId& id) {
    const std::string stem = f.audio + "/" + type + "-";
    const std::string word = "-" + std::to_string(rate / 1000) + "K.voc";
    const std::string coded = ReadFile(stem + code + word);
    EXPECT_EQ(ClipCounts(coded, rate / 1000, coding),
              ClipCounts(ReadFile(stem + "Code1" + word), rate / 1000, 2))
        << code << " " << rate;
    EXPECT_EQ(ResourceData(ReadFile(f.audio + "/in.irf"), id), coded) << code << " " << rate;
}

}  // namespace

TEST(Build, CodedBackgroundBuildsAtEveryPackageRate) {
    const struct {
        int rate;
        std::string code;
        int coding;
    } builds[] = {{8000, "Code2", 30}, {11025, "Code3", 11}, {22050, "Code4", 20}};
    for (const auto& [rate, code, coding] : builds) {
        Fixture f(rate);
        CliResult r = f.Build("bgsound", code);
        ASSERT_EQ(r.exit, 0) << code << " " << rate << ": " << r.err;
        ExpectCoded(f, "Bgsound", code, coding, rate, qm::kBgsoundClipId);
    }
}

// The order and messages of the checks are the request's (tests/driver);
// here, how the command line reports them.
TEST(Build, RefusalsTouchNothing) {
    Fixture f;
    auto refuse = [&](std::vector<std::string> args, const std::string& message,
                      RunOptions opt = {}) {
        args.insert(args.begin(), {"build", "--type", "prompt", "--code", "Code1"});
        CliResult r = RunCli(args, opt);
        EXPECT_EQ(r.exit, 1);
        EXPECT_EQ(Message(r.err), message);
        EXPECT_EQ(r.out, "");
    };
    refuse({"--audio", "/nonexistent"}, "Please select an original IRF file！");
    // An audio folder that cannot be entered (run as an ordinary user, so
    // that permissions bind).
    fs::permissions(f.dir.path(), fs::perms::all, fs::perm_options::add);
    fs::permissions(f.package, fs::perms::all, fs::perm_options::add);
    fs::permissions(f.audio, fs::perms::others_exec | fs::perms::group_exec | fs::perms::owner_exec,
                    fs::perm_options::remove);
    RunOptions user;
    user.asNobody = true;
    refuse({"--irf", f.package, "--audio", f.audio},
           "The audio file path is incorrect, please re-set it!", user);
    fs::permissions(f.audio, fs::perms::owner_exec, fs::perm_options::add);

    // Bad usage.
    EXPECT_EQ(RunCli({"build", "--code", "Code1"}).exit, 2);
    EXPECT_EQ(RunCli({"build", "--type", "prompt", "--code", "Code9"}).exit, 2);
    EXPECT_EQ(RunCli({"frobnicate"}).exit, 2);
    EXPECT_EQ(RunCli({"--version"}).exit, 0);
}

// The bytes of a build are the golden builds' (golden_test.cpp); here, what
// the command line says, where the package lands and which of the user's
// files it leaves alone.
TEST(Build, OutputPlacesAndTheUsersFiles) {
    const std::string done = "The new IRF has been generated，it located in ";
    Fixture f;
    CliResult r = f.Build("prompt", "Code1");
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(Line(r.out), done + f.audio + "/in.irf");
    EXPECT_EQ(WithoutWarnings(r.err), "");
    EXPECT_NE(r.err.find("warning: WaveList.txt:5: 44100 Hz is converted as if it were 44000 Hz"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(f.audio + "/IrfTemp1.dat"));
    EXPECT_EQ(ReadFile(f.audio + "/keep.dat"), "user data");
    EXPECT_EQ(ReadFile(f.audio + "/notes.log"), "user log");
    EXPECT_EQ(ReadFile(f.audio + "/Prompt.dat"), "another user file");
    const std::string built = ReadFile(f.audio + "/in.irf");
    EXPECT_GT(built.size(), ReadFile(f.package).size());

    // The input package inside the audio folder is replaced there.
    fs::copy_file(f.package, f.audio + "/in.irf", fs::copy_options::overwrite_existing);
    r = RunCli({"build", "--type", "prompt", "--audio", f.audio, "--irf", f.audio + "/in.irf",
                "--code", "Code1"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(ReadFile(f.audio + "/in.irf"), built);

    // --out leaves the audio folder's package alone; relative, it is taken
    // from where the command runs, not from the audio folder.
    fs::create_directories(f.dir / "dist");
    r = RunCli(f.Args("prompt", "Code1", {"--out", "dist/new.irf"}), f.dir.path());
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(Line(r.out), done + (f.dir / "dist/new.irf"));
    EXPECT_EQ(ReadFile(f.dir / "dist/new.irf"), built);
    EXPECT_EQ(ReadFile(f.audio + "/in.irf"), built);
    EXPECT_EQ(Tree(f.dir / "dist").size(), 1u) << "no temporary file is left beside the output";

    // Relative paths are taken from where the command runs; a trailing "/"
    // of the audio folder stays in the message.
    r = RunCli(
        {"build", "--type", "prompt", "--audio", "audio/", "--irf", "in.irf", "--code", "Code1"},
        f.dir.path());
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(Line(r.out), done + f.audio + "//in.irf");
}

TEST(Cli, RateAndInitPackage) {
    Fixture f(11025);
    CliResult r = RunCli({"rate", f.package});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(Line(r.out), "11kHz 16bit");
    r = RunCli({"rate", f.dir / "missing.irf"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(Message(r.err), "Can not open file " + (f.dir / "missing.irf"));

    const std::string before = ReadFile(f.package);
    r = RunCli({"init-package", f.package, "--rate", "8000"});
    EXPECT_EQ(r.exit, 1) << "an existing file is not replaced without --force";
    EXPECT_EQ(ReadFile(f.package), before);
    r = RunCli({"init-package", f.package, "--rate", "8000", "--force"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(Line(RunCli({"rate", f.package, "--type", "bgsound"}).out), "8kHz  16bit");
    EXPECT_EQ(RunCli({"init-package", f.dir / "x.irf", "--rate", "12345"}).exit, 2);
}
