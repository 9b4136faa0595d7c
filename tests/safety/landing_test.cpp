// Where the new package lands is checked before a build writes anything: not
// over a FIFO, a socket or a folder, not into a missing folder, not over one
// of the build's own inputs.
#include <gtest/gtest.h>

#include "safety/support.h"

namespace fs = std::filesystem;
using namespace qmtest;

namespace {

std::string SecondLine(const std::string& s) {
    const size_t nl = s.find('\n');
    return nl == std::string::npos ? "" : Line(s.substr(nl + 1));
}

}  // namespace

TEST(Landing, RefusedBeforeTheBuildTouchesAnything) {
    const char* kCopy = "Copy temp file failed！";
    const char* kPath = "IRF file path name is incorrect, please re-set it!";
    const struct {
        const char* out;    // --out, relative to the fixture's folder ("" none)
        const char* setup;  // "fifo", "socket", "folder" at out (or the default name), "" none
        const char* message;
        const char* detail;
    } cases[] = {
        {"x.irf", "fifo", kCopy, "x.irf is a FIFO, not a regular file"},
        {"x.irf", "socket", kCopy, "x.irf is a socket, not a regular file"},
        {"x.irf", "folder", kCopy, "x.irf is a folder, not a regular file"},
        {"", "fifo", kCopy, "audio/in.irf is a FIFO, not a regular file"},
        {"missing/x.irf", "", kCopy, "missing does not exist"},
        {"audio/TextList.txt", "", kPath, "is the build's input TextList.txt"},
        {"audio/Config.ini", "", kPath, "is the build's input Config.ini"},
        {"audio/录音/c16.wav", "", kPath, "is the build's input"},
    };
    for (const auto& c : cases) {
        Fixture f;
        WriteFile(f.audio + "/Config.ini", "[RoleInfo]\r\nCount=0\r\n");
        const std::string out = *c.out ? f.dir / c.out : f.audio + "/in.irf";
        int fd = -1;
        ASSERT_TRUE(!*c.setup || MakeKind(c.setup, out, fd)) << out;
        const auto before = Tree(f.dir.path());
        std::vector<std::string> extra;
        if (*c.out) extra = {"--out", out};
        CliResult r = f.Build("prompt", "Code3", extra);
        EXPECT_EQ(r.exit, 1) << c.out << " " << c.setup;
        EXPECT_EQ(Message(r.err), c.message) << r.err;
        EXPECT_NE(SecondLine(r.err).find(c.detail), std::string::npos) << r.err;
        EXPECT_EQ(SecondLine(r.err).rfind("  ", 0), 0u) << r.err;
        EXPECT_EQ(Tree(f.dir.path()), before) << c.out << " " << c.setup;
        if (std::string(c.setup) == "fifo") {
            EXPECT_TRUE(fs::is_fifo(out));
        }
        if (std::string(c.setup) == "socket") {
            EXPECT_TRUE(fs::is_socket(out));
        }
        if (fd >= 0) ::close(fd);
    }
}

TEST(Landing, InitPackageRefusesWhatIsNoFile) {
    const std::pair<const char*, fs::file_type> kinds[] = {{"fifo", fs::file_type::fifo},
                                                           {"socket", fs::file_type::socket},
                                                           {"folder", fs::file_type::directory}};
    // With --force, which would replace an existing file.
    for (const auto& [kind, type] : kinds) {
        TempDir dir;
        const std::string out = dir / "s.irf";
        int fd = -1;
        ASSERT_TRUE(MakeKind(kind, out, fd));
        CliResult r = RunCli({"init-package", out, "--rate", "16000", "--force"});
        EXPECT_EQ(r.exit, 1) << kind;
        EXPECT_EQ(Message(r.err), "Can not create file " + out + "！");
        EXPECT_NE(SecondLine(r.err).find("not a regular file"), std::string::npos) << r.err;
        EXPECT_EQ(fs::symlink_status(out).type(), type);
        if (fd >= 0) ::close(fd);
    }
}

TEST(Landing, FifoAtAnInputIsRefusedAtOnce) {
    // Each input that is a FIFO: the build gives the message of that input's
    // failure instead of waiting for a writer.
    const struct {
        const char* type;
        const char* input;  // relative to the audio folder ("" the package)
        const char* message;
    } cases[] = {
        {"prompt", "TextList.txt", "TextList.txt is empty！"},
        {"prompt", "a8.wav", ""},
        {"prompt", "", ""},
        {"role", "Config.ini", ""},
        {"role", "r1/WaveList.txt", "WaveList.txt is empty！"},
    };
    for (const auto& c : cases) {
        Fixture f;
        if (std::string(c.type) == "role") AddRoles(f);
        const std::string path = *c.input ? f.audio + "/" + c.input : f.package;
        int fd = -1;
        ASSERT_TRUE(MakeKind("fifo", path, fd));
        Spawned run(f.Args(c.type, "Code2"));
        std::optional<CliResult> r = run.Wait(5000);
        ASSERT_TRUE(r.has_value()) << c.input << ": the build waited on the FIFO";
        EXPECT_EQ(r->exit, 1) << c.input << ": " << r->err;
        if (*c.message) {
            EXPECT_EQ(Message(r->err), c.message);
        }
        // The file is named: in the detail, or by the message itself.
        const std::string name = *c.input ? fs::path(c.input).filename().string() : "in.irf";
        EXPECT_NE(r->err.find(name), std::string::npos) << r->err;
        EXPECT_TRUE(Leftovers(f.audio).empty());
    }
}
