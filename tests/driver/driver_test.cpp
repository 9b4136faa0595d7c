// The build driver in process: work-file names, progress positions, the
// current directory around role builds, and builds that follow each other;
// the checks of a build request, shared by the dialog and the command line.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/testutil.h"
#include "driver/package_build.h"
#include "driver/request.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "resfile/package.h"

namespace fs = std::filesystem;
using namespace qmtest;

namespace {

void WriteSpeaker(const std::string& folder, const std::vector<std::string>& texts) {
    std::string t, w;
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string name = "r" + std::to_string(i) + ".wav";
        WriteFile(folder + "/" + name, WavBytes(ToneSamples(2000 + 100 * i, 7000.0), 16000));
        t += qm::Utf8ToCp936(texts[i]) + "\n";
        w += name + "\n";
    }
    WriteFile(folder + "/TextList.txt", t);
    WriteFile(folder + "/WaveList.txt", w);
}

std::string MakePackage(const TempDir& dir, int rate = 16000) {
    std::string err;
    const std::string path = dir / "in.irf";
    EXPECT_TRUE(qm::WriteSkeletonPackage(path, rate, 2, err)) << err;
    return path;
}

}  // namespace

TEST(Driver, ProgressPositionsAndBadTypes) {
    KeepCwd keep;
    TempDir dir;
    const std::string audio = dir / "audio";
    WriteSpeaker(audio, {"一", "二", "三"});
    const std::string pkg = MakePackage(dir);
    fs::current_path(audio);

    qm::RecordingProgress progress;
    qm::CPackageBuild build;
    build.SetProgress(&progress);
    std::string err;
    ASSERT_TRUE(build.Run(0, audio, pkg, 0, err)) << err;
    EXPECT_EQ(progress.History(), (std::vector<int>{10, 15, 30, 40, 80, 90, 100}));
    EXPECT_EQ(build.OutputPath(), audio + "/in.irf");
    // Between the positions: each clip written, then the two replacements.
    std::vector<std::string> steps;
    for (const auto& s : progress.Stages())
        steps.push_back(s.stage + " " + std::to_string(s.done) + "/" + std::to_string(s.total));
    EXPECT_EQ(steps, (std::vector<std::string>{"writing clips 1/3", "writing clips 2/3",
                                               "writing clips 3/3", "replacing 0/2",
                                               "replacing 1/2", "replacing 2/2"}));

    // A code type outside the table fails after the clip container, and only
    // the build's own intermediates are removed.
    WriteFile(audio + "/mine.dat", "x");
    qm::CPackageBuild bad;
    err.clear();
    EXPECT_FALSE(bad.Run(0, audio, pkg, 4, err));
    EXPECT_EQ(err, "Invalid code type！");
    EXPECT_TRUE(fs::exists(audio + "/mine.dat"));

    qm::CPackageBuild badType;
    err.clear();
    EXPECT_FALSE(badType.Run(3, audio, pkg, 0, err));
    EXPECT_EQ(err, "资源类型失败！");
}

TEST(Driver, RoleBuildsMoveTheCurrentDirectoryBack) {
    KeepCwd keep;
    TempDir dir;
    const std::string audio = dir / "audio";
    WriteSpeaker(audio + "/a", {"甲一", "甲二"});
    WriteSpeaker(audio + "/b", {"乙一"});
    WriteSpeaker(audio + "/c", {"丙一", "丙二", "丙三"});
    const std::string pkg = MakePackage(dir);

    // Two builds in one process with different configurations: the second
    // sees only its own roles.
    WriteFile(audio + "/Config.ini",
              "[RoleInfo]\nCount=2\nRoleID1=1\nRolePath1=a\nRoleID2=2\nRolePath2=b\n");
    fs::current_path(audio);
    qm::CPackageBuild first;
    std::string err;
    ASSERT_TRUE(first.Run(2, audio, pkg, 0, err)) << err;
    EXPECT_EQ(fs::current_path().string(), audio);
    EXPECT_EQ(first.roleConfig.roles.size(), 2u);

    WriteFile(audio + "/Config.ini",
              "[RoleInfo]\nCount=1\nRoleID1=9\nRolePath1=" + (audio + "/c") + "\n");
    qm::CPackageBuild second;
    ASSERT_TRUE(second.Run(2, audio, pkg, 0, err)) << err;
    const std::string idx = ReadFile(audio + "/PromptRole.idx");
    ASSERT_GT(idx.size(), 1036u);
    EXPECT_EQ(static_cast<unsigned char>(idx[24]), 1);
    EXPECT_EQ(static_cast<unsigned char>(idx[1024]), 9);

    // A role that fails leaves the current directory at its own folder.
    WriteFile(audio + "/b/TextList.txt", "");
    WriteFile(audio + "/Config.ini",
              "[RoleInfo]\nCount=2\nRoleID1=1\nRolePath1=a\nRoleID2=2\nRolePath2=b\n");
    qm::CPackageBuild third;
    err.clear();
    EXPECT_FALSE(third.Run(2, audio, pkg, 0, err));
    EXPECT_EQ(err, "TextList.txt is empty or its format is correct！");
    EXPECT_EQ(fs::current_path().string(), audio + "/b");
}

TEST(Driver, WorkFilesThatCannotBeWritten) {
    KeepCwd keep;
    TempDir dir;
    const std::string audio = dir / "audio";
    WriteSpeaker(audio, {"一", "二"});
    const std::string pkg = MakePackage(dir);
    fs::current_path(audio);
    std::string err;

    // The index file cannot be created: both build types fail there, with
    // the text index writer's message.
    fs::create_directories(audio + "/Prompt.idx");
    fs::create_directories(audio + "/Bgsound.idx");
    for (int type : {0, 1}) {
        qm::CPackageBuild build;
        err.clear();
        EXPECT_FALSE(build.Run(type, audio, pkg, 0, err));
        EXPECT_EQ(err, "打开文件TextLst.txt失败！") << "type " << type;
        EXPECT_FALSE(
            fs::exists(audio + (type ? "/Bgsound-Code1-16K.voc" : "/Prompt-Code1-16K.voc")));
    }
    fs::remove(audio + "/Prompt.idx");

    // The clip file cannot be created: the message names it.
    fs::create_directories(audio + "/Prompt-Code1-16K.voc");
    {
        qm::CPackageBuild build;
        err.clear();
        EXPECT_FALSE(build.Run(0, audio, pkg, 0, err));
        EXPECT_EQ(err, "Can not create file Prompt-Code1-16K.voc！");
    }
    fs::remove(audio + "/Prompt-Code1-16K.voc");

    // A package that lacks the index resource: the replacement fails, the
    // error text stays empty and the note says what failed.
    const std::string partial = dir / "partial.irf";
    std::vector<qm::PackageResource> res = {{qm::kPromptClipId, qm::EmptyClipContainer(16000)}};
    ASSERT_TRUE(qm::WritePackage(partial, res));
    {
        qm::CPackageBuild build;
        err.clear();
        EXPECT_FALSE(build.Run(0, audio, partial, 0, err));
        EXPECT_EQ(err, "");
        EXPECT_NE(build.FailureNote().find("index resource"), std::string::npos)
            << build.FailureNote();
        EXPECT_FALSE(fs::exists(audio + "/partial.irf"));
    }
}

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
