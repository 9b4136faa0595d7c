// Role builds through the command line: the role index file and the role
// clip container frames, each role's inner blocks, every code type.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/formats.h"
#include "e2e/cli_support.h"
#include "platform/text.h"
#include "resfile/formats.h"
#include "resfile/role_files.h"

namespace fs = std::filesystem;
using namespace qmtest;

namespace {

const std::string kRoleIndexId(qm::kRoleIndexId.begin(), qm::kRoleIndexId.end());
const std::string kRoleClipId(qm::kRoleClipId.begin(), qm::kRoleClipId.end());

// An audio folder with `roles` speakers; speaker k has k + 1 prompts.
struct RoleFixture {
    TempDir dir;
    std::string audio = dir / "audio";
    std::string package = dir / "in.irf";
    std::vector<int> ids;

    explicit RoleFixture(int roles, int rate = 16000) {
        std::string ini = "[RoleInfo]\r\nCount=" + std::to_string(roles) + "\r\n";
        for (int k = 0; k < roles; ++k) {
            const int id = 100 + k;
            ids.push_back(id);
            // The second speaker's folder has a Chinese name, written with a
            // backslash, as lists from Windows are.
            const std::string folder = k == 1 ? "说话人\\二" : "spk" + std::to_string(k);
            std::string native = folder;
            for (char& c : native)
                if (c == '\\') c = '/';
            ini += "RoleID" + std::to_string(k + 1) + "=" + std::to_string(id) + "\r\n";
            ini += "RolePath" + std::to_string(k + 1) + "=" + qm::Utf8ToCp936(folder) + "\r\n";
            std::string texts, waves;
            for (int p = 0; p <= k; ++p) {
                const std::string name = "p" + std::to_string(p) + ".wav";
                WriteFile(audio + "/" + native + "/" + name,
                          WavBytes(ToneSamples(3000 + 500 * p, 8000.0, 22050), 22050));
                texts += qm::Utf8ToCp936("角色" + std::to_string(k) + "提示" + std::to_string(p)) +
                         "\r\n";
                waves += name + "\r\n";
            }
            WriteFile(audio + "/" + native + "/TextList.txt", texts);
            WriteFile(audio + "/" + native + "/WaveList.txt", waves);
        }
        WriteFile(audio + "/Config.ini", ini);
        WriteFile(audio + "/keep.dat", "user data");
        CliResult r = RunCli({"init-package", package, "--rate", std::to_string(rate)});
        EXPECT_EQ(r.exit, 0) << r.err;
    }

    CliResult Build(const std::string& code) const {
        return RunCli(
            {"build", "--type", "role", "--audio", audio, "--irf", package, "--code", code});
    }
};

// Checks a role frame; returns each role's block.
std::vector<std::string> RoleBlocks(const std::string& f, qm::RoleFrameKind kind,
                                    const std::vector<int>& ids) {
    qm::RoleFrame frame;
    std::vector<std::string> problems, blocks;
    EXPECT_TRUE(qm::ReadRoleFrame(Source(f), kind, frame, problems));
    for (const std::string& p : problems) ADD_FAILURE() << p;
    EXPECT_EQ(frame.roles, ids.size());
    for (size_t k = 0; k < frame.blocks.size(); ++k) {
        const qm::RoleBlock& b = frame.blocks[k];
        if (kind == qm::RoleFrameKind::kIndex) {
            EXPECT_EQ(b.id, ids[k]);
        }
        blocks.push_back(f.substr(b.offset, b.length));
    }
    return blocks;
}

uint32_t Records(const std::string& c) { return c.size() >= 40 ? U32At(c, 36) : 0; }

}  // namespace

TEST(RoleBuild, FramesForOneTwoAndThreeRoles) {
    for (int roles = 1; roles <= 3; ++roles) {
        RoleFixture f(roles);
        CliResult r = f.Build("Code1");
        ASSERT_EQ(r.exit, 0) << r.err;
        auto index =
            RoleBlocks(ReadFile(f.audio + "/PromptRole.idx"), qm::RoleFrameKind::kIndex, f.ids);
        auto clips = RoleBlocks(ReadFile(f.audio + "/RolePrompt-Code1-16K.voc"),
                                qm::RoleFrameKind::kClips, std::vector<int>(roles));
        ASSERT_EQ(clips.size(), static_cast<size_t>(roles));
        for (int k = 0; k < roles; ++k) {
            EXPECT_EQ(Records(clips[k]), static_cast<uint32_t>(k + 1)) << "role " << k;
            EXPECT_EQ(static_cast<unsigned char>(clips[k][35]), 2);
        }
        const std::string pkg = ReadFile(f.audio + "/in.irf");
        for (const Resource& res : Resources(pkg)) {
            if (res.id == kRoleIndexId) {
                EXPECT_EQ(res.data, ReadFile(f.audio + "/PromptRole.idx"));
            }
            if (res.id == kRoleClipId) {
                EXPECT_EQ(res.data, ReadFile(f.audio + "/RolePrompt-Code1-16K.voc"));
            }
        }
        EXPECT_TRUE(fs::exists(f.audio + "/spk0/New-TextLst.txt"));
        EXPECT_EQ(ReadFile(f.audio + "/keep.dat"), "user data");
    }
}

TEST(RoleBuild, EveryCodeTypeCodesEachRole) {
    const struct {
        std::string code;
        int coding;
    } codes[] = {{"Code2", 30}, {"Code3", 11}, {"Code4", 20}};
    for (const auto& c : codes) {
        RoleFixture f(2);
        CliResult r = f.Build(c.code);
        ASSERT_EQ(r.exit, 0) << c.code << ": " << r.err;
        auto plain = RoleBlocks(ReadFile(f.audio + "/RolePrompt-Code1-16K.voc"),
                                qm::RoleFrameKind::kClips, std::vector<int>(2));
        auto coded = RoleBlocks(ReadFile(f.audio + "/RolePrompt-" + c.code + "-16K.voc"),
                                qm::RoleFrameKind::kClips, std::vector<int>(2));
        for (size_t k = 0; k < 2; ++k) {
            EXPECT_EQ(Records(coded[k]), Records(plain[k]));
            EXPECT_EQ(static_cast<unsigned char>(coded[k][35]), c.coding);
        }
        for (const Resource& res : Resources(ReadFile(f.audio + "/in.irf"))) {
            if (res.id == kRoleClipId) {
                EXPECT_EQ(res.data, ReadFile(f.audio + "/RolePrompt-" + c.code + "-16K.voc"));
            }
        }
        for (auto& e : fs::directory_iterator(f.audio)) {
            const std::string name = e.path().filename().string();
            EXPECT_FALSE(name.size() > 4 && name.substr(name.size() - 4) == ".dat" &&
                         name != "keep.dat")
                << "intermediate file left: " << name;
        }
    }
}

TEST(RoleBuild, UnusableConfigurationAndBadRolePath) {
    {
        RoleFixture f(1);
        fs::remove(f.audio + "/Config.ini");
        CliResult r = f.Build("Code1");
        EXPECT_EQ(r.exit, 1);
        EXPECT_EQ(r.out, "Config.ini Count配置错误，请检查\n");
        EXPECT_FALSE(Line(r.err).empty());
        EXPECT_EQ(Message(r.err), "Build failed: the role configuration in Config.ini is unusable");
        EXPECT_NE(r.err.find("no Config.ini"), std::string::npos) << r.err;
    }
    {
        RoleFixture f(2);
        WriteFile(f.audio + "/Config.ini",
                  "[roleinfo]\nCOUNT=2\nRoleID1=5\nRolePath1=spk0\nRoleID2=0\nRolePath2=spk1\n");
        CliResult r = f.Build("Code1");
        EXPECT_EQ(r.exit, 1);
        EXPECT_EQ(r.out, "Config.ini pRoleID2配置错误，请检查\n");
    }
    {
        // A huge count with few roles declared ends at the first missing one,
        // and a file of many thousands of keys reads quickly.
        RoleFixture f(1);
        std::string ini = "[RoleInfo]\nCount=2147483647\n";
        for (int n = 1; n <= 50000; ++n)
            ini += "RoleID" + std::to_string(n) + "=" + std::to_string(n) + "\n";
        WriteFile(f.audio + "/Config.ini", ini);
        CliResult r = f.Build("Code1");
        EXPECT_EQ(r.exit, 1);
        EXPECT_EQ(r.out, "Config.ini pRoleID50001配置错误，请检查\n");
        EXPECT_NE(r.err.find("no \"RoleID50001\""), std::string::npos) << r.err;
    }
    {
        RoleFixture f(2);
        WriteFile(
            f.audio + "/Config.ini",
            "[RoleInfo]\nCount=2\nRoleID1=5\nRolePath1=spk0\nRoleID2=6\nRolePath2=nowhere\\x\n");
        const std::string before = ReadFile(f.package);
        CliResult r = f.Build("Code1");
        EXPECT_EQ(r.exit, 1);
        EXPECT_EQ(Message(r.err), "nowhere\\x is not a valid path!");
        EXPECT_NE(r.err.find("RolePath2"), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(f.package), before);
        EXPECT_FALSE(fs::exists(f.audio + "/in.irf"));
    }
}
