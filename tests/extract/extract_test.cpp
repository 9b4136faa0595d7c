// extract and diff through the command line, on packages the tool builds:
// selections, damaged packages, and pairs of packages that differ in one
// text, one clip's audio or one coding. Every build type and coding
// extracted: tests/report.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "e2e/fixture.h"

namespace fs = std::filesystem;
using namespace qmtest;
using Json = nlohmann::json;

namespace {

TEST(Extract, SelectsSetsRolesAndRecords) {
    Fixture f(8000);
    AddRoles(f, 2, 3);  // the third role's folder has a Chinese name, listed with a backslash
    ASSERT_EQ(f.Build("role", "Code1").exit, 0);
    const std::string pkg = f.audio + "/in.irf";
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::vector<std::string> files;
    };
    const std::vector<Case> cases = {
        {{"--role", "41", "--record", "2"}, 0, {"role/41/00002.wav"}},
        {{"--set", "role", "--record", "0"},
         0,
         {"role/40/00000.wav", "role/41/00000.wav", "role/42/00000.wav"}},
        {{"--set", "prompt"}, 0, {}},  // the skeleton's prompt set is empty
        {{"--set", "bgsound", "--role", "40"}, 2, {}},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string out = f.dir / ("sel" + std::to_string(n++));
        std::vector<std::string> args = {"extract", pkg, "--out", out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        CliResult r = RunCli(args);
        EXPECT_EQ(r.exit, c.exit) << r.err;
        if (c.exit != 0) continue;
        std::set<std::string> files;
        for (const auto& [path, bytes] : Tree(out))
            if (path.ends_with(".wav")) files.insert(path);
        EXPECT_EQ(files, std::set<std::string>(c.files.begin(), c.files.end()));
    }
}

// A link in the output folder; damaged records (a bad frame type, a rate byte, a count past the
// container): the others are extracted, the damaged ones listed.
TEST(Extract, RefusesAndListsDamage) {
    Fixture f(8000);
    ASSERT_EQ(f.Build("prompt", "Code4").exit, 0);
    const std::string pkg = f.audio + "/in.irf";
    const std::string out = f.dir / "out";
    // The output folder's refusals are report's (tests/report), through the
    // same checks. A link in the folder is neither followed nor replaced.
    WriteFile(f.dir / "victim", "victim");
    fs::create_directories(out + "/prompt");
    fs::create_symlink(f.dir / "victim", out + "/prompt/00000.wav");
    CliResult r = RunCli({"extract", pkg, "--out", out, "--force"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("prompt record 0: Cannot write"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(f.dir / "victim"), "victim");
    EXPECT_TRUE(fs::is_symlink(out + "/prompt/00000.wav"));
    EXPECT_TRUE(fs::exists(out + "/prompt/00001.wav"));

    const Json inspected = Json::parse(RunCli({"inspect", pkg, "--json"}).out);
    const Json& texts = inspected["sets"][0]["texts"];
    const size_t rec1 = texts[1]["offset"];
    const size_t last = texts.size() - 1, recLast = texts[last]["offset"];
    std::string oneFrameMore;  // the last record's count, one frame longer
    PutLE(oneFrameMore, texts[last]["samples"].get<uint32_t>() + 240, 4);
    size_t clips = 0;
    for (const Json& e : inspected["entries"])
        if (e["name"] == "prompt clips") clips = e["offset"];
    struct Case {
        std::string name;
        std::vector<std::pair<size_t, std::string>> patches;
        std::string error;  // of the record checked
        int failed;
        size_t checked = 1;
    };
    const std::vector<Case> cases = {
        {"frame type", {{rec1 + 4, "\x03"}}, "frame 0", 1},
        {"rate",
         {{clips + 34, "\x09"}},
         "rate byte 9 is not 8, 11, 16 or 22",
         int(kPrompts.size())},
        // Data past the end of the container, though inside the file.
        {"past the container", {{recLast, oneFrameMore}}, "outside its clip container", 1, last},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = ReadFile(pkg);
        for (const auto& [at, b] : c.patches) bytes.replace(at, b.size(), b);
        const std::string damaged = f.dir / "damaged.irf", dout = f.dir / ("d-" + c.name);
        WriteFile(damaged, bytes);
        r = RunCli({"extract", damaged, "--out", dout});
        EXPECT_EQ(r.exit, 1);
        EXPECT_EQ(Message(r.err), std::to_string(c.failed) + " records were not extracted:");
        const Json index = Json::parse(ReadFile(dout + "/index.json"));
        const Json& rec = index["records"][c.checked];
        EXPECT_NE(rec["error"].get<std::string>().find(c.error), std::string::npos) << rec["error"];
        EXPECT_TRUE(rec["file"].is_null());
        size_t wavs = 0;
        for (const auto& [path, b] : Tree(dout)) wavs += path.ends_with(".wav");
        EXPECT_EQ(wavs, kPrompts.size() - size_t(c.failed));
    }
}

// diff on pairs of packages: the same, one text changed, one clip's audio,
// one coding, another resource.
TEST(Diff, TellsPackagesApart) {
    Fixture f(8000);
    const std::string built = f.audio + "/in.irf";
    auto snapshot = [&](const std::string& name) {
        fs::copy_file(built, f.dir / name, fs::copy_options::overwrite_existing);
        return f.dir / name;
    };
    ASSERT_EQ(f.Build("prompt", "Code1").exit, 0);
    const std::string base = snapshot("base.irf");
    ASSERT_EQ(f.Build("prompt", "Code2").exit, 0);
    const std::string alaw = snapshot("alaw.irf");
    // One text renamed.
    std::string list = ReadFile(f.audio + "/TextList.txt");
    const std::string oldText = qm::Utf8ToCp936("再见"), newText = qm::Utf8ToCp936("回头见");
    list.replace(list.find(oldText), oldText.size(), newText);
    WriteFile(f.audio + "/TextList.txt", list);
    ASSERT_EQ(f.Build("prompt", "Code1").exit, 0);
    const std::string renamed = snapshot("renamed.irf");
    // One recording louder (the build levels each clip, so change its shape).
    WriteFile(f.audio + "/a8.wav", WavBytes(ToneSamples(4000, 3000.0, 11025), 8000));
    ASSERT_EQ(f.Build("prompt", "Code1").exit, 0);
    const std::string retoned = snapshot("retoned.irf");
    // Another resource's byte.
    std::string other = ReadFile(retoned);
    for (size_t k = 0; k < U32At(other, 12); ++k)  // the directory's first opaque resource
        if (other.compare(16 + 24 * k, 8, "QMOPAQUE") == 0) {
            other[U32At(other, 32 + 24 * k)] ^= 1;
            break;
        }
    WriteFile(f.dir / "other.irf", other);

    struct Case {
        std::string oldPkg, newPkg;
        int exit;
        size_t added, removed, audio, coding, resources;
    };
    const std::vector<Case> cases = {
        {base, base, 0, 0, 0, 0, 0, 0},
        {base, renamed, 1, 1, 1, 0, 0, 0},
        {renamed, retoned, 1, 0, 0, 1, 0, 0},
        {base, alaw, 1, 0, 0, kPrompts.size(), kPrompts.size(), 0},
        {retoned, f.dir / "other.irf", 1, 0, 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.oldPkg + " -> " + c.newPkg);
        // The text report ends with the verdict.
        const CliResult text = RunCli({"diff", c.oldPkg, c.newPkg});
        EXPECT_TRUE(text.out.ends_with(c.exit == 0 ? "The packages hold the same texts and audio.\n"
                                                   : "The packages differ.\n"));
        const CliResult r = RunCli({"diff", c.oldPkg, c.newPkg, "--json"});
        EXPECT_EQ(r.exit, c.exit) << r.err;
        const Json j = Json::parse(r.out);
        EXPECT_EQ(j["same"], c.exit == 0);
        const Json& prompt = j["sets"][0];
        EXPECT_EQ(prompt["name"], "prompt");
        EXPECT_EQ(prompt["added"].size(), c.added);
        EXPECT_EQ(prompt["removed"].size(), c.removed);
        EXPECT_EQ(prompt["audioChanged"].size(), c.audio);
        EXPECT_EQ(prompt["codingChanged"].size(), c.coding);
        EXPECT_EQ(j["resources"].size(), c.resources);
        if (c.added == 1) {
            EXPECT_EQ(prompt["added"][0]["text"], "回头见");
            EXPECT_EQ(prompt["removed"][0]["text"], "再见");
            EXPECT_TRUE(
                text.out.starts_with("prompt: 1 added, 1 removed, 0 audio changed, 0 "
                                     "coding or rate changed\n  + 回头见\n  - 再见\n"))
                << text.out;
        }
        if (c.audio == 1) {
            EXPECT_EQ(prompt["audioChanged"][0]["text"], "欢迎使用");
        }
    }
    EXPECT_EQ(RunCli({"diff", base, f.dir / "none.irf"}).exit, 2);
    EXPECT_EQ(RunCli({"diff", base}).exit, 2);
}

}  // namespace
