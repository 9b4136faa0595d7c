// `conform` through the command line: a folder of recordings in every common
// format and lists in other encodings become a folder that builds; the input
// folder is never changed; refusals; partial failures; role folders; links.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "conform/sndgen.h"
#include "e2e/cli_support.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;
using namespace qmtest;

struct Source {
    const char* listed;  // as written in WaveList.txt (UTF-8)
    const char* output;  // the name the output list holds
    int format;          // 0: raw PCM
    int channels;
    int rate;
};

const Source kSources[] = {
    {"plain.wav", "plain.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 16000},
    {"录音\\ext.wav", "录音\\ext.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 2, 48000},
    {"s32.WAV", "s32.WAV", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1, 11025},
    {"song.flac", "song.wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100},
    {"sub\\v.ogg", "sub\\v.wav", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 16000},
    {"a.b\\noext", "a.b\\noext.wav", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 16000},
    {"raw.pcm", "raw.pcm", 0, 1, 16000},
};

// Recordings of kSources in folder, with the texts as UTF-8 with a BOM and
// the names as UTF-16 without one.
void MakeFolder(const std::string& folder, const std::vector<Source>& sources,
                const std::string& extraText = "") {
    std::string texts = "\xEF\xBB\xBF", waves;
    for (size_t k = 0; k < sources.size(); ++k) {
        const Source& s = sources[k];
        const std::string path = folder + "/" + Native(s.listed);
        fs::create_directories(fs::path(path).parent_path());
        const auto frames = Tone(s.rate / 4, s.channels, 440, s.rate, 12000);
        if (s.format) {
            ASSERT_TRUE(WriteSnd(path, s.format, s.channels, s.rate, frames)) << path;
        } else {
            WriteFile(path, PcmBytes(Expected16(frames, 1)));
        }
        texts += "提示" + std::to_string(k) + (k == 0 ? extraText : "") + "\n";
        for (char16_t u : qm::Cp936ToUtf16(qm::Utf8ToCp936(std::string(s.listed) + "\r\n"))) {
            waves += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
        }
    }
    WriteFile(folder + "/TextList.txt", texts);
    WriteFile(folder + "/WaveList.txt", waves);
}

CliResult Build(const std::string& audio, const std::string& type = "prompt") {
    TempDir pkg;
    EXPECT_EQ(RunCli({"init-package", pkg / "p.irf", "--rate", "16000"}).exit, 0);
    // The dry run is the judge: a conformed folder has no error for it.
    const CliResult check = RunCli(
        {"check", "--type", type, "--code", "Code1", "--audio", audio, "--irf", pkg / "p.irf"});
    EXPECT_EQ(check.exit, 0) << check.out << check.err;
    return RunCli({"build", "--type", type, "--code", "Code1", "--audio", audio, "--irf",
                   pkg / "p.irf", "--out", pkg / "new.irf"});
}

TEST(ConformCli, EveryFormatBecomesAFolderThatBuilds) {
    TempDir tmp;
    const std::string in = tmp / "in";
    MakeFolder(in, {std::begin(kSources), std::end(kSources)});
    const auto before = Tree(in);

    for (const char* rate : {"16000", ""}) {
        SCOPED_TRACE(rate);
        const std::string out = tmp / (std::string("out") + rate);
        std::vector<std::string> args = {"conform", "--audio", in, "--out", out};
        if (*rate) args.insert(args.end(), {"--rate", rate});
        CliResult r = RunCli(args);
        ASSERT_EQ(r.exit, 0) << r.out << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(
            r.out.ends_with("\nTotal: 7 recordings, 7 conformed (5 changed, 2 unchanged), 0 not "
                            "conformed, 0 samples clipped; 2 list files, 0 not converted\n"))
            << r.out;
        std::string texts, waves;
        for (size_t k = 0; k < std::size(kSources); ++k) {
            texts += qm::Utf8ToCp936("提示" + std::to_string(k)) + "\r\n";
            waves += qm::Utf8ToCp936(kSources[k].output) + "\r\n";
            const std::string file = out + "/" + Native(kSources[k].output);
            if (kSources[k].format) {
                EXPECT_EQ(ReadFile(file).substr(36, 4), "data") << file;
                EXPECT_EQ(U32At(ReadFile(file), 24), *rate ? 16000u : kSources[k].rate) << file;
            }
        }
        EXPECT_EQ(ReadFile(out + "/TextList.txt"), texts);
        EXPECT_EQ(ReadFile(out + "/WaveList.txt"), waves);
        // The identity case and the raw recording come out byte for byte.
        EXPECT_EQ(ReadFile(out + "/plain.wav"), ReadFile(in + "/plain.wav"));
        EXPECT_EQ(ReadFile(out + "/raw.pcm"), ReadFile(in + "/raw.pcm"));
        CliResult b = Build(out);
        EXPECT_EQ(b.exit, 0) << b.err;
    }
    EXPECT_EQ(Tree(in), before);

    // A second run replaces nothing without --force, and everything with it.
    const auto written = Tree(tmp / "out16000");
    fs::remove(tmp / "out16000/s32.WAV");
    CliResult again = RunCli({"conform", "--audio", in, "--out", tmp / "out16000"});
    EXPECT_EQ(again.exit, 1);
    EXPECT_EQ(Message(again.err), tmp / "out16000" +
                                      " already holds files that conform would write (--force "
                                      "replaces them):");
    EXPECT_NE(again.err.find("\n  sub/v.wav\n"), std::string::npos) << again.err;
    EXPECT_EQ(again.err.find("s32.WAV\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(tmp / "out16000/s32.WAV"));
    again =
        RunCli({"conform", "--audio", in, "--out", tmp / "out16000", "--rate", "16000", "--force"});
    EXPECT_EQ(again.exit, 0) << again.err;
    EXPECT_EQ(Tree(tmp / "out16000"), written);
    EXPECT_EQ(Tree(in), before);
}

TEST(ConformCli, Refusals) {
    TempDir tmp;
    const std::string in = tmp / "in";
    MakeFolder(in, {kSources[0]});
    fs::create_directories(tmp / "empty");
    fs::create_directory_symlink(in, tmp / "link");
    WriteFile(tmp / "file", "x");
    const std::string inside = "the output folder must lie outside the input folder";
    const std::pair<std::vector<std::string>, std::pair<int, std::string>> cases[] = {
        {{"--audio", in, "--out", in}, {2, inside}},
        {{"--audio", in, "--out", in + "/new/out"}, {2, inside}},
        {{"--audio", in, "--out", tmp / "link/x"}, {2, inside}},
        {{"--audio", tmp / "link", "--out", in + "/../in/y"}, {2, inside}},
        {{"--audio", tmp / "none", "--out", tmp / "o"}, {2, tmp / "none" + " is not a folder"}},
        {{"--audio", in, "--out", tmp / "file"}, {2, tmp / "file" + " is not a folder"}},
        {{"--audio", tmp / "empty", "--out", tmp / "o"},
         {1, tmp / "empty" + " holds no TextList.txt, WaveList.txt or Config.ini"}},
    };
    for (const auto& [args, want] : cases) {
        std::vector<std::string> all = {"conform"};
        all.insert(all.end(), args.begin(), args.end());
        CliResult r = RunCli(all);
        EXPECT_EQ(r.exit, want.first) << r.err;
        EXPECT_EQ(Message(r.err), want.second);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(fs::exists(tmp / "o"));
    EXPECT_EQ(Tree(in).size(), 3u);
    // More than twenty files in the way: twenty are named, the rest counted.
    std::vector<std::string> names;
    for (int k = 0; k < 23; ++k) names.push_back("n" + std::to_string(k) + ".wav");
    std::vector<Source> many;
    for (const std::string& n : names) many.push_back({n.c_str(), "", kSources[0].format, 1, 8000});
    MakeFolder(tmp / "many", many);
    ASSERT_EQ(RunCli({"conform", "--audio", tmp / "many", "--out", tmp / "m"}).exit, 0);
    EXPECT_TRUE(RunCli({"conform", "--audio", tmp / "many", "--out", tmp / "m"})
                    .err.ends_with("\n  ... and 5 more\n"));
    // One list is enough to start; the other is then reported missing.
    WriteFile(tmp / "half/TextList.txt", "a\n");
    CliResult half = RunCli({"conform", "--audio", tmp / "half", "--out", tmp / "o"});
    EXPECT_EQ(half.exit, 1);
    EXPECT_EQ(half.err, "Some inputs were not conformed:\n  WaveList.txt: missing\n");
}

TEST(ConformCli, FailuresAreListedAndTheRestIsConformed) {
    TempDir tmp;
    const std::string in = tmp / "in";
    MakeFolder(in, {kSources[0], kSources[3]}, "ก");  // Thai: not in code page 936
    WriteFile(in + "/junk.wav", "no audio here");
    WriteFile(in + "/WaveList.txt",
              "plain.wav\nsong.flac\njunk.wav\nmissing.wav\n..\\up.wav\nplain.wav\nsub\\.\n"
              "plain.ogg\n\n");
    CliResult r = RunCli({"conform", "--audio", in, "--out", tmp / "out", "--json"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err,
              "Some inputs were not conformed:\n"
              "  TextList.txt: line 1: \"ก\" (U+0E01) has no code page 936 form\n"
              "  junk.wav (WaveList.txt line 3): cannot read: Format not recognised.\n"
              "  missing.wav (WaveList.txt line 4): missing\n"
              "  ../up.wav (WaveList.txt line 5): does not name a file inside its folder\n"
              "  sub/. (WaveList.txt line 7): does not name a file inside its folder\n"
              "  plain.ogg (WaveList.txt line 8): its output plain.wav is also the output of "
              "WaveList.txt line 1\n");
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["total"], nlohmann::json::parse(R"({"recordings": 8, "conformed": 3,
        "changed": 1, "unchanged": 2, "failed": 5, "clipped": 0, "lists": 2,
        "lists_failed": 1, "problems": 0})"));
    const auto& song = j["recordings"][1];
    EXPECT_EQ(song["output"], "song.wav");
    EXPECT_EQ(song["input"]["container"], "FLAC");
    EXPECT_EQ(song["input"]["channels"], 2);
    EXPECT_EQ(song["changes"], nlohmann::json::parse(R"(["container FLAC -> WAV",
        "channels 2 -> 1"])"));
    EXPECT_EQ(j["recordings"][5]["repeat_of_line"], 1);
    EXPECT_EQ(j["lists"][1]["renamed_lines"], 1);
    EXPECT_EQ(j["lists"][1]["dropped_blank_lines"], 1);
    EXPECT_FALSE(fs::exists(tmp / "out/TextList.txt"));
    EXPECT_EQ(ReadFile(tmp / "out/WaveList.txt"),
              "plain.wav\r\nsong.wav\r\njunk.wav\r\nmissing.wav\r\n..\\up.wav\r\nplain."
              "wav\r\nsub\\.\r\nplain.ogg\r\n");
    EXPECT_TRUE(fs::exists(tmp / "out/song.wav"));
    EXPECT_FALSE(fs::exists(tmp / "up.wav"));
}

TEST(ConformCli, RoleFoldersKeepTheirLayoutAndBuild) {
    TempDir tmp;
    const std::string in = tmp / "in";
    MakeFolder(in + "/角色一", {kSources[0], kSources[3]});
    MakeFolder(in + "/r2/x", {kSources[1]});
    WriteFile(in + "/Config.ini",
              "[RoleInfo]\nCount=3\nRoleID1=7\nRolePath1=角色一\nRoleID2=8\nRolePath2=r2\\x\\\n"
              "RoleID3=9\nRolePath3=角色一\n");
    CliResult r = RunCli({"conform", "--audio", in, "--out", tmp / "out", "--rate", "16000"});
    ASSERT_EQ(r.exit, 0) << r.out << r.err;
    EXPECT_EQ(
        ReadFile(tmp / "out/Config.ini"),
        qm::Utf8ToCp936("[RoleInfo]\r\nCount=3\r\nRoleID1=7\r\nRolePath1=角色一\r\nRoleID2=8\r\n"
                        "RolePath2=r2\\x\\\r\nRoleID3=9\r\nRolePath3=角色一\r\n"));
    EXPECT_TRUE(fs::exists(tmp / "out/角色一/song.wav"));
    EXPECT_TRUE(fs::exists(tmp / "out/r2/x/录音/ext.wav"));
    CliResult b = Build(tmp / "out", "role");
    EXPECT_EQ(b.exit, 0) << b.err;

    // Role paths that cannot keep their place, and a declared role that is
    // missing.
    WriteFile(in + "/Config.ini",
              "[RoleInfo]\nCount=4\nRolePath1=/abs\nRolePath2=nowhere\nRolePath3=\n");
    r = RunCli({"conform", "--audio", in, "--out", tmp / "out2"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err,
              "Some inputs were not conformed:\n"
              "  Config.ini RolePath1: not a folder inside the input folder: the output could "
              "not keep its place\n"
              "  Config.ini RolePath2: no such folder: nowhere\n"
              "  Config.ini RolePath3: no folder given\n"
              "  Config.ini: Count is 4 but role 4 is missing\n");
    WriteFile(in + "/Config.ini", "[RoleInfo]\nCount=0\n");
    r = RunCli({"conform", "--audio", in, "--out", tmp / "out3"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err,
              "Some inputs were not conformed:\n  Config.ini: Count is not a positive number\n");
}

TEST(ConformCli, LinksAndTheInputFolderAreNeverWrittenThrough) {
    TempDir tmp;
    const std::string in = tmp / "top/in";
    MakeFolder(in, {kSources[0], kSources[4]});
    fs::create_directories(tmp / "elsewhere");
    fs::create_directories(tmp / "out");
    fs::create_directory_symlink(tmp / "elsewhere", tmp / "out/sub");
    fs::create_symlink(tmp / "elsewhere/x", tmp / "out/plain.wav");
    CliResult r = RunCli({"conform", "--audio", in, "--out", tmp / "out", "--force"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("  plain.wav (WaveList.txt line 1): not written: a link is there"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("  sub/v.ogg (WaveList.txt line 2): not written: sub on the way is a "
                         "link or not a folder"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::is_empty(tmp / "elsewhere"));

    // The input folder below the output folder: a name through it is refused.
    const auto before = Tree(in);
    WriteFile(in + "/in/plain.wav", ReadFile(in + "/plain.wav"));
    WriteFile(in + "/WaveList.txt", "in\\plain.wav\nplain.wav\n");
    r = RunCli({"conform", "--audio", in, "--out", tmp / "top"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("  in/plain.wav (WaveList.txt line 1): not written: in on the way is "
                         "the input folder"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFile(in + "/plain.wav"), before.at("plain.wav"));
    for (const auto& e : fs::recursive_directory_iterator(tmp / "top")) {
        EXPECT_EQ(e.path().filename().string().find(".qm-conform"), std::string::npos);
    }
}

}  // namespace
