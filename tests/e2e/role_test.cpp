// Role builds through the command line: the role index file and the role
// clip container frames, each role's inner blocks, every code type.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "common/formats.h"
#include "e2e/fixture.h"
#include "platform/text.h"
#include "resfile/formats.h"
#include "resfile/role_files.h"

namespace fs = std::filesystem;
using namespace qmtest;

namespace {

// A fixture with `roles` role folders; role k has k + 1 prompts.
struct RoleFixture : Fixture {
    std::vector<int> ids;
    explicit RoleFixture(int roles) {
        AddRoles(*this, 1, roles);
        for (int k = 0; k < roles; ++k) ids.push_back(40 + k);
    }
    CliResult Build(const std::string& code) const { return Fixture::Build("role", code); }
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

// Each build leaves the plain clip frame and the coded one beside it.
TEST(RoleBuild, FramesForOneTwoAndThreeRolesInEveryCodeType) {
    const struct {
        int roles;
        std::string code;
        int coding;
    } builds[] = {{1, "Code2", 30}, {2, "Code3", 11}, {3, "Code4", 20}};
    for (const auto& c : builds) {
        RoleFixture f(c.roles);
        EXPECT_EQ(RunCli({"check", "--type", "role", "--audio", f.audio, "--irf", f.package}).exit,
                  0);
        CliResult r = f.Build(c.code);
        ASSERT_EQ(r.exit, 0) << c.code << ": " << r.err;
        const std::string coded = ReadFile(f.audio + "/RolePrompt-" + c.code + "-16K.voc");
        RoleBlocks(ReadFile(f.audio + "/PromptRole.idx"), qm::RoleFrameKind::kIndex, f.ids);
        auto plain = RoleBlocks(ReadFile(f.audio + "/RolePrompt-Code1-16K.voc"),
                                qm::RoleFrameKind::kClips, std::vector<int>(c.roles));
        auto codedBlocks = RoleBlocks(coded, qm::RoleFrameKind::kClips, std::vector<int>(c.roles));
        ASSERT_EQ(plain.size(), static_cast<size_t>(c.roles));
        ASSERT_EQ(codedBlocks.size(), plain.size());
        for (int k = 0; k < c.roles; ++k) {
            EXPECT_EQ(Records(plain[k]), static_cast<uint32_t>(k + 1)) << "role " << k;
            EXPECT_EQ(static_cast<unsigned char>(plain[k][35]), 2);
            EXPECT_EQ(Records(codedBlocks[k]), Records(plain[k]));
            EXPECT_EQ(static_cast<unsigned char>(codedBlocks[k][35]), c.coding);
        }
        const std::string pkg = ReadFile(f.audio + "/in.irf");
        EXPECT_EQ(ResourceData(pkg, qm::kRoleIndexId), ReadFile(f.audio + "/PromptRole.idx"));
        EXPECT_EQ(ResourceData(pkg, qm::kRoleClipId), coded);
        EXPECT_TRUE(fs::exists(f.audio + "/r0/New-TextLst.txt"));
    }
}

// What the build says of each spoiled configuration or role folder, and
// that check's first error is the build's message.
TEST(RoleBuild, RefusalsAndCheckAgrees) {
    // A huge count with few roles declared ends at the first missing one,
    // and a file of many thousands of keys reads quickly.
    std::string many = "[RoleInfo]\nCount=2147483647\n";
    for (int n = 1; n <= 50000; ++n)
        many += "RoleID" + std::to_string(n) + "=" + std::to_string(n) + "\n";
    const struct {
        std::string file, bytes;  // written into the audio folder ("" bytes: removed)
        std::string out, message, detail;
    } cases[] = {
        {"Config.ini", "", "Config.ini Count配置错误，请检查\n",
         "Build failed: the role configuration in Config.ini is unusable", "no Config.ini"},
        {"Config.ini", "[RoleInfo]\nRoleID1=7\nRolePath1=r0\n",
         "Config.ini Count配置错误，请检查\n", "", ""},
        {"Config.ini", "[roleinfo]\nCOUNT=2\nRoleID1=5\nRolePath1=r0\nRoleID2=0\nRolePath2=spk1\n",
         "Config.ini pRoleID2配置错误，请检查\n", "", ""},
        {"Config.ini", many, "Config.ini pRoleID50001配置错误，请检查\n", "", "no \"RoleID50001\""},
        {"Config.ini",
         "[RoleInfo]\nCount=2\nRoleID1=5\nRolePath1=r0\nRoleID2=6\nRolePath2=nowhere\\x\n", "",
         "nowhere\\x is not a valid path!", "RolePath2"},
        {"r0/TextList.txt", std::string(600, 'a') + "\n", "",
         "the text length exceed the maximum limit（512 byte）!", ""},
    };
    for (const auto& c : cases) {
        RoleFixture f(2);
        if (c.bytes.empty())
            fs::remove(f.audio + "/" + c.file);
        else
            WriteFile(f.audio + "/" + c.file, c.bytes);
        const std::string before = ReadFile(f.package);
        const CliResult check =
            RunCli({"check", "--type", "role", "--audio", f.audio, "--irf", f.package, "--json"});
        CliResult r = f.Build("Code1");
        EXPECT_EQ(r.exit, 1) << c.out;
        if (!c.out.empty()) {
            EXPECT_EQ(r.out, c.out);
        }
        if (!c.message.empty()) {
            EXPECT_EQ(Message(r.err), c.message);
        }
        EXPECT_NE(r.err.find(c.detail), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(f.package), before);
        EXPECT_FALSE(fs::exists(f.audio + "/in.irf"));
        const nlohmann::json report = nlohmann::json::parse(check.out);
        ASSERT_FALSE(report["errors"].empty()) << c.out << c.message;
        const std::string first = report["errors"][0]["message"];
        EXPECT_EQ(first.empty() ? "Build failed: " : first,
                  Message(r.err).substr(0, first.empty() ? 14 : std::string::npos))
            << c.out << c.message;
    }
}
