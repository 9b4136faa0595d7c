// Whole builds through the command line on the three reference cases: every
// file the build leaves, and its messages, must match byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "e2e/cli_support.h"

namespace fs = std::filesystem;
using namespace qmtest;

namespace {

std::string GoldenRoot() {
    for (std::string p :
         {std::string(QM_TEST_DATA) + "/golden", std::string(QM_SHARED_DIR) + "/golden"})
        if (fs::is_directory(p)) return p;
    return "";
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
        s.replace(p, from.size(), to);
    return s;
}

void RunCase(const std::string& name) {
    const std::string root = GoldenRoot();
    if (root.empty()) GTEST_SKIP() << "reference builds not available";
    const std::string src = root + "/" + name;
    TempDir tmp;
    const std::string scenario = tmp / name;
    fs::create_directories(scenario);
    for (auto& e : fs::directory_iterator(src)) {
        if (e.path().filename() == "expected" || e.path().filename() == "args.json") continue;
        fs::copy(e.path(), scenario + "/" + e.path().filename().string(),
                 fs::copy_options::recursive);
    }
    const auto args = nlohmann::json::parse(ReadFile(src + "/args.json"));
    CliResult r = RunCli({"build", "--type", args["type"], "--audio",
                          scenario + "/" + args["audio"].get<std::string>(), "--irf",
                          scenario + "/" + args["irf"].get<std::string>(), "--code", args["code"]});
    const auto result = nlohmann::json::parse(ReadFile(src + "/expected/result.json"));
    EXPECT_EQ(r.exit, result["exit"].get<int>()) << r.err;
    EXPECT_EQ(Line(r.out), Replace(result["stdout"], "{SCENARIO}", scenario));
    EXPECT_EQ(Line(WithoutWarnings(r.err)), Replace(result["stderr"], "{SCENARIO}", scenario));

    auto got = Tree(scenario);
    auto want = Tree(src + "/expected/tree");
    for (auto& [path, bytes] : want) {
        EXPECT_TRUE(got.count(path)) << name << ": missing " << path;
        const std::string& made = got[path];
        const auto off = std::mismatch(bytes.begin(), bytes.end(), made.begin(), made.end()).first -
                         bytes.begin();
        EXPECT_TRUE(made == bytes) << name << ": " << path << " differs at offset " << off
                                   << " (sizes " << made.size() << " / " << bytes.size() << ")";
    }
    for (auto& [path, bytes] : got)
        if (!want.count(path)) ADD_FAILURE() << name << ": unexpected file " << path;
}

}  // namespace

TEST(Golden, PromptCode1) { RunCase("prompt-code1"); }
TEST(Golden, BgsoundCode2) { RunCase("bgsound-code2"); }
TEST(Golden, RoleCode3) { RunCase("role-code3"); }
