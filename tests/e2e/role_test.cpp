// Role builds through the command line: what the build says of each spoiled
// configuration or role folder. The frames of one to three roles in every
// code type: the golden role build, the driver's tests, extract and report.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "e2e/fixture.h"
#include "platform/text.h"

namespace fs = std::filesystem;
using namespace qmtest;

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
        Fixture f;
        AddRoles(f, 1, 2);
        if (c.bytes.empty())
            fs::remove(f.audio + "/" + c.file);
        else
            WriteFile(f.audio + "/" + c.file, c.bytes);
        const std::string before = ReadFile(f.package);
        const CliResult check =
            RunCli({"check", "--type", "role", "--audio", f.audio, "--irf", f.package, "--json"});
        CliResult r = f.Build("role", "Code1");
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
