// The request as the dialog runs it: a folder held by another build, and a
// landing place that is no file, are refused before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/testutil.h"
#include "driver/request.h"
#include "platform/folder_lock.h"
#include "platform/text.h"
#include "resfile/package.h"

namespace fs = std::filesystem;
using namespace qmtest;

TEST(Request, HeldFolderAndBadLandingAreRefusedUntouched) {
    TempDir dir;
    const std::string audio = dir / "audio";
    WriteFile(audio + "/a.wav", WavBytes(ToneSamples(2000, 7000.0), 16000));
    WriteFile(audio + "/TextList.txt", qm::Utf8ToCp936("你好") + "\r\n");
    WriteFile(audio + "/WaveList.txt", "a.wav\r\n");
    std::string err;
    ASSERT_TRUE(qm::WriteSkeletonPackage(dir / "in.irf", 16000, 1, err)) << err;
    const std::string saved = fs::current_path().string();

    qm::BuildRequest request;
    request.audioFolder = audio;
    request.packagePath = dir / "in.irf";
    qm::CheckedRequest checked;
    ASSERT_FALSE(qm::CheckRequest(request, checked).has_value());
    {
        qm::FolderLocks other;
        ASSERT_EQ(other.Take(audio), qm::LockResult::kTaken);
        qm::Failure failure;
        EXPECT_FALSE(qm::RunCheckedRequest(checked, nullptr, failure));
        EXPECT_EQ(failure.message,
                  "Another build is running in " + audio + ", please wait until it has finished!");
        EXPECT_FALSE(fs::exists(audio + "/Prompt.idx"));
    }
    qm::Failure failure;
    EXPECT_TRUE(qm::RunCheckedRequest(checked, nullptr, failure)) << failure.message;
    EXPECT_FALSE(fs::exists(audio + "/" + qm::kFolderLockName));

    // The output a folder: refused by the checks, with the reason.
    request.outputPath = audio;
    std::optional<qm::Failure> refused = qm::CheckRequest(request, checked);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->message, "Copy temp file failed！");
    EXPECT_NE(std::find(refused->detail.begin(), refused->detail.end(),
                        audio + " is a folder, not a regular file"),
              refused->detail.end());
    fs::current_path(saved);
}
