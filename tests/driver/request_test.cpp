// The checks of a build request, shared by the dialog and the command line:
// their order and their messages.
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
    // A folder that cannot be entered, and where accepted requests land:
    // build_test.cpp, through the command line.
}
