// Whole builds through the command line on the three reference cases: every
// file the build leaves, and its messages, must match byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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

// The position just after `"key":` and any white space, or npos.
size_t ValueStart(const std::string& json, const std::string& key) {
    size_t p = json.find("\"" + key + "\"");
    if (p == std::string::npos) return p;
    p = json.find(':', p);
    if (p == std::string::npos) return p;
    ++p;
    while (p < json.size() && (json[p] == ' ' || json[p] == '\n' || json[p] == '\t')) ++p;
    return p;
}

// The string value of "key" in a flat JSON object (only the escapes the
// reference files use are undone).
std::string JsonString(const std::string& json, const std::string& key) {
    size_t p = ValueStart(json, key);
    if (p == std::string::npos || p >= json.size() || json[p] != '"') return "<missing>";
    std::string out;
    for (++p; p < json.size() && json[p] != '"'; ++p) {
        if (json[p] == '\\' && p + 1 < json.size()) {
            const char c = json[++p];
            out.push_back(c == 'n' ? '\n' : c == 't' ? '\t' : c);
        } else {
            out.push_back(json[p]);
        }
    }
    return out;
}

int JsonInt(const std::string& json, const std::string& key) {
    size_t p = ValueStart(json, key);
    return p == std::string::npos ? -999 : std::atoi(json.c_str() + p);
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
    const std::string args = ReadFile(src + "/args.json");
    CliResult r =
        RunCli({"build", "--type", JsonString(args, "type"), "--audio",
                scenario + "/" + JsonString(args, "audio"), "--irf",
                scenario + "/" + JsonString(args, "irf"), "--code", JsonString(args, "code")});
    const std::string result = ReadFile(src + "/expected/result.json");
    EXPECT_EQ(r.exit, JsonInt(result, "exit")) << r.err;
    EXPECT_EQ(Line(r.out), Replace(JsonString(result, "stdout"), "{SCENARIO}", scenario));
    EXPECT_EQ(Line(WithoutWarnings(r.err)),
              Replace(JsonString(result, "stderr"), "{SCENARIO}", scenario));

    auto got = Tree(scenario);
    auto want = Tree(src + "/expected/tree");
    for (auto& [path, bytes] : want) {
        auto it = got.find(path);
        if (it == got.end()) {
            ADD_FAILURE() << name << ": missing " << path;
            continue;
        }
        if (it->second != bytes) {
            size_t off = 0;
            while (off < bytes.size() && off < it->second.size() && bytes[off] == it->second[off])
                ++off;
            ADD_FAILURE() << name << ": " << path << " differs at offset " << off << " (sizes "
                          << it->second.size() << " / " << bytes.size() << ")";
        }
    }
    for (auto& [path, bytes] : got)
        if (!want.count(path)) ADD_FAILURE() << name << ": unexpected file " << path;
}

}  // namespace

TEST(Golden, PromptCode1) { RunCase("prompt-code1"); }
TEST(Golden, BgsoundCode2) { RunCase("bgsound-code2"); }
TEST(Golden, RoleCode3) { RunCase("role-code3"); }
