// The checks of a build request, shared by the dialog and the command line:
// their order, their messages, the paths they resolve and the current
// directory they leave.
#include "driver/request.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/testutil.h"
#include "platform/fs.h"

namespace fs = std::filesystem;
using namespace qmtest;

TEST(Request, ChecksComeInOrder) {
    KeepCwd keep;
    TempDir dir;
    WriteFile(dir / "audio/TextList.txt", "");
    WriteFile(dir / "in.irf", "package");
    fs::create_directories(dir / "folder.irf");
    const std::string noPackage = "Please select an original IRF file！";
    const std::string noAudio = "Please specify audio file path！";
    const std::string badAudio = "The audio file path is incorrect, please re-set it!";
    const std::string badPackage = "IRF file path name is incorrect, please re-set it!";
    const struct {
        std::string package, audio, message, reason;
    } cases[] = {
        // A missing package is reported before anything about the folder.
        {"", "", noPackage, "no-package"},
        {"", dir / "nowhere", noPackage, "no-package"},
        {"in.irf", "", noAudio, "no-audio-folder"},
        // The folder is checked before the package exists.
        {"missing.irf", "nowhere", badAudio, "audio-folder"},
        {"in.irf", "in.irf", badAudio, "audio-folder"},
        {"missing.irf", "audio", badPackage, "package"},
        {"folder.irf", "audio", badPackage, "package"},
    };
    fs::current_path("/");
    for (const auto& c : cases) {
        qm::BuildRequest request;
        request.packagePath = c.package;
        request.audioFolder = c.audio;
        request.baseDir = dir.path();
        qm::CheckedRequest checked;
        std::optional<qm::Failure> refused = qm::CheckRequest(request, checked);
        ASSERT_TRUE(refused) << c.package << " / " << c.audio;
        EXPECT_EQ(refused->message, c.message) << c.package << " / " << c.audio;
        EXPECT_EQ(refused->reason, c.reason) << c.package << " / " << c.audio;
        EXPECT_EQ(fs::current_path(), "/") << "a refused request stays where it was";
    }
    // A folder that exists but cannot be entered: build_test.cpp, where the
    // tool runs as an ordinary user.
}

TEST(Request, AcceptedRequestsResolvePathsAndEnterTheFolder) {
    KeepCwd keep;
    TempDir dir;
    WriteFile(dir / "audio/TextList.txt", "");
    WriteFile(dir / "pkg/in.irf", "package");
    // The output's folder must exist before a build.
    fs::create_directories(dir / "dist");
    const struct {
        std::string audio, out, baseDir, where;
    } cases[] = {
        {"audio", "", dir.path(), dir / "audio/in.irf"},
        // A trailing "/" of the folder stays in the place named.
        {dir / "audio/", "", "", dir / "audio//in.irf"},
        // The output is taken from the base folder, not from the audio folder.
        {"audio", "dist/new.irf", dir.path(), dir / "dist/new.irf"},
        {dir / "audio", "rel.irf", "", dir / "rel.irf"},
    };
    for (const auto& c : cases) {
        fs::current_path(dir.path());
        qm::BuildRequest request;
        request.buildType = 2;
        request.codeType = 3;
        request.packagePath = c.baseDir.empty() ? "pkg/in.irf" : dir / "pkg/in.irf";
        request.audioFolder = c.audio;
        request.outputPath = c.out;
        request.baseDir = c.baseDir;
        request.jobs = 3;
        qm::CheckedRequest checked;
        ASSERT_FALSE(qm::CheckRequest(request, checked)) << c.audio;
        EXPECT_EQ(checked.packagePath, dir / "pkg/in.irf");
        EXPECT_EQ(checked.outputPath, c.where);
        EXPECT_EQ(checked.buildType, 2);
        EXPECT_EQ(checked.codeType, 3);
        EXPECT_EQ(checked.jobs, 3);
        EXPECT_TRUE(fs::equivalent(fs::current_path(), dir / "audio"));
        EXPECT_EQ(qm::SuccessMessage(checked),
                  "The new IRF has been generated，it located in " + c.where);
    }
}
