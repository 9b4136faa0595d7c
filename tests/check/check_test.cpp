// `check` and the detail under a build's refusals: every problem of a folder
// reported at once with its file, line and reason; the first of them is the
// build's own message; the warnings and their thresholds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "e2e/fixture.h"
#include "resfile/package.h"

namespace fs = std::filesystem;
using namespace qmtest;

namespace {

// A small folder whose every prompt builds: texts "提示k", recordings
// pk.wav of 16 kHz.
struct Folder {
    TempDir dir;
    std::string audio = dir / "audio";
    std::string package = dir / "in.irf";
    std::vector<std::string> texts;  // UTF-8
    std::vector<std::string> waves;

    explicit Folder(int prompts = 6) {
        for (int k = 0; k < prompts; ++k) {
            texts.push_back("提示" + std::to_string(k));
            waves.push_back("p" + std::to_string(k) + ".wav");
            WriteFile(audio + "/" + waves.back(),
                      WavBytes(ToneSamples(8000 + 500 * k, 12000.0), 16000));
        }
        WriteLists();
        EXPECT_EQ(RunCli({"init-package", package, "--rate", "16000"}).exit, 0);
    }
    void WriteLists() const {
        std::string t, w;
        for (const std::string& x : texts) t += qm::Utf8ToCp936(x) + "\r\n";
        for (const std::string& x : waves) w += x + "\r\n";
        WriteFile(audio + "/TextList.txt", t);
        WriteFile(audio + "/WaveList.txt", w);
    }
    nlohmann::json Check(const std::string& code = "Code1",
                         const std::string& type = "prompt") const {
        CliResult r = RunCli({"check", "--type", type, "--audio", audio, "--irf", package, "--code",
                              code, "--json"});
        const nlohmann::json report = nlohmann::json::parse(r.out);
        EXPECT_EQ(r.exit, report["errors"].empty() ? 0 : 1) << r.out;
        return report;
    }
};

// One way to spoil a folder, the build's message, and words the detail must
// hold (file and line, reason).
struct Spoil {
    std::function<void(Folder&)> apply;
    std::string message;
    std::vector<std::string> detail;
};

const std::vector<int16_t> kTone = ToneSamples(4000, 12000.0);

// Spoilers: a file of the audio folder replaced, a list entry changed.
std::function<void(Folder&)> Put(const std::string& name, const std::string& bytes) {
    return [=](Folder& f) { WriteFile(f.audio + "/" + name, bytes); };
}
std::function<void(Folder&)> Entry(std::vector<std::string> Folder::*list, size_t k,
                                   const std::string& value) {
    return [=](Folder& f) {
        if (k < (f.*list).size())
            (f.*list)[k] = value;
        else
            (f.*list).push_back(value);
        f.WriteLists();
    };
}

std::vector<Spoil> Spoils() {
    const auto text = &Folder::texts;
    const auto wave = &Folder::waves;
    return {
        {Put("p1.wav", WavBytes(kTone, 16000).insert(36, std::string("LIST\4\0\0\0INFO", 12))),
         "Incorrect wave file format",
         {"WaveList.txt, line 2", "'LIST' chunk comes before 'data'", "conform"}},
        {Put("p2.wav", WavBytes(kTone, 16000, 2, 16)),
         "The wave file can only has one track",
         {"WaveList.txt, line 3", "2 channels"}},
        {Put("p0.wav", WavBytes(kTone, 16000, 1, 24)),
         "Audio sample size must be 16bit",
         {"line 1", "24 bits per sample"}},
        {Put("p0.wav", WavBytes(kTone, 16000, 1, 32, 3)),
         "Audio sample size must be 16bit",
         {"format tag 3, floating point"}},
        {Put("p3.wav", "fLaC\0\0\0\x22" + std::string(60, 'x')),
         "Incorrect wave file format",
         {"line 4", "FLAC"}},
        {Put("p3.wav", std::string("RIFF\4\0\0\0WAVE", 12)),
         "Incorrect wave file format",
         {"the file is 12 bytes, shorter than a WAV header"}},
        {Entry(text, 2, std::string(513, 'a')),
         "the text length exceed the maximum limit（512 byte）!",
         {"TextList.txt, line 3", "513 bytes"}},
        {Entry(text, 1, " "),
         "Text.txt is empty，Please check whether its format is correct！第2行",
         {"TextList.txt, line 2"}},
        {Entry(wave, 6, "p0.wav"),
         "Inconsistent on the number of the Text and audio file！",
         {"TextList.txt has 6 lines, WaveList.txt has 7"}},
        {Entry(wave, 4, "nope.wav"),
         "The Audio file nope.wav is not exist！",
         {"WaveList.txt, line 5", "nope.wav"}},
        {[](Folder& f) {
             WriteFile(f.audio + "/x.mp3", "ID3");
             Entry(&Folder::waves, 0, "x.mp3")(f);
         },
         "the tool can only support PCM or WAV file！",
         {"line 1", "x.mp3", "\".mp3\""}},
        {Entry(text, 4, "提示1"),
         "There have a repetitive text 提示1 exist in file list",
         {"TextList.txt, line 2", "also on line 5"}},
        {Entry(text, 3,
               "ab\x01"
               "c"),
         "Illegal half horn characters(Please use only ANSI)!第4行",
         {"line 4", "byte 3", "0x01"}},
        {Entry(text, 5, std::string(41, '!')),
         "",
         {"TextList.txt, line 6", "more than 40 segments"}},
        {[](Folder& f) { fs::remove(f.audio + "/TextList.txt"); },
         "TextList.txt is empty！",
         {"there is no such file"}},
        {[](Folder& f) {
             fs::rename(f.package, f.audio + "/IrfTemp1.dat");
             f.package = f.audio + "/IrfTemp1.dat";
         },
         "IRF file path name is incorrect, please re-set it!",
         {"IrfTemp1.dat", "work file"}},
        {[](Folder& f) { WriteFile(f.package, "not a package"); },
         "Incorrect IRF file format",
         {"in.irf", "inspect"}},
    };
}

}  // namespace

// The build's refusal: the fixed message first, then the detail, indented;
// nothing of the user's is touched; and check's first error is the same.
TEST(Refusal, FixedMessageFirstThenDetailAndCheckAgrees) {
    std::vector<Spoil> cases = Spoils();
    cases.push_back({[](Folder&) {}, "", {}});
    for (const Spoil& s : cases) {
        SCOPED_TRACE(s.message + (s.detail.empty() ? "" : " / " + s.detail[0]));
        Folder f;
        s.apply(f);
        WriteFile(f.audio + "/in.irf", "an older package");
        WriteFile(f.audio + "/keep.dat", "user data");
        const std::string before = ReadFile(f.package);
        const nlohmann::json report = f.Check();
        CliResult r = RunCli({"build", "--type", "prompt", "--audio", f.audio, "--irf", f.package,
                              "--code", "Code1"});
        EXPECT_EQ(ReadFile(f.audio + "/keep.dat"), "user data");
        if (s.detail.empty()) {
            EXPECT_EQ(r.exit, 0) << r.err;
            EXPECT_TRUE(report["errors"].empty()) << report.dump();
            continue;
        }
        EXPECT_EQ(r.exit, 1);
        EXPECT_EQ(ReadFile(f.package), before);
        EXPECT_EQ(ReadFile(f.audio + "/in.irf"), "an older package");
        const std::string first = Message(r.err);
        if (s.message.empty()) {
            EXPECT_EQ(first.rfind("Build failed: ", 0), 0u) << r.err;
        } else {
            EXPECT_EQ(first, s.message) << r.err;
        }
        const std::string rest = r.err.substr(first.size());
        EXPECT_EQ(rest.rfind("\n  ", 0), 0u) << r.err;
        for (const std::string& d : s.detail)
            EXPECT_NE(rest.find(d), std::string::npos) << d << " in " << r.err;
        ASSERT_FALSE(report["errors"].empty()) << r.err;
        const auto& error = report["errors"][0];
        EXPECT_EQ(error["message"], s.message);
        for (const char* key : {"file", "line", "path", "reason", "hint"})
            EXPECT_TRUE(error.contains(key)) << key;
    }
}

// Every problem of a folder at once, in the order a build meets them.
TEST(Check, ReportsEveryProblemInOrder) {
    Folder f(8);
    f.texts[1] = std::string(600, 'a');
    f.texts[6] = "ab\x02";
    f.waves[3] = "gone.wav";
    f.texts[7] = f.texts[0];
    f.WriteLists();
    WriteFile(f.audio + "/p4.wav", WavBytes(kTone, 16000, 2, 16));
    CliResult r = RunCli({"check", "--type", "prompt", "--audio", f.audio, "--irf", f.package});
    EXPECT_EQ(r.exit, 1);
    std::vector<std::string> errors;
    std::string line;
    for (size_t p = 0, q; (q = r.out.find('\n', p)) != std::string::npos; p = q + 1) {
        line = r.out.substr(p, q - p);
        if (line.rfind("error: ", 0) == 0) errors.push_back(line);
    }
    const std::vector<std::string> want = {
        "error: TextList.txt:2: the text length exceed the maximum limit（512 byte）!",
        "error: WaveList.txt:4: The Audio file gone.wav is not exist！",
        "error: WaveList.txt:5: The wave file can only has one track",
        "error: TextList.txt:1: There have a repetitive text 提示0 exist in file list",
        "error: TextList.txt:7: Illegal half horn characters(Please use only ANSI)!第7行",
    };
    EXPECT_EQ(errors, want) << r.out;
    EXPECT_EQ(line, "5 errors, 0 warnings");
    // Nothing was written.
    EXPECT_FALSE(fs::exists(f.audio + "/Prompt.idx"));
    EXPECT_FALSE(fs::exists(f.audio + "/New-TextLst.txt"));
}

// Each warning on an input that triggers it and on one that just does not.
TEST(Check, Warnings) {
    struct Case {
        const char* kind;
        std::function<void(Folder&)> trigger;
        std::function<void(Folder&)> nearMiss;
        std::string code = "Code1";
        std::string says = "";  // in the trigger's reason
        std::string type = "prompt";
    };
    const auto tone = ToneSamples(16000, 12000.0);
    auto p1 = [](const std::vector<int16_t>& s, uint32_t rate = 16000) {
        return Put("p1.wav", WavBytes(s, rate));
    };
    auto clipped = [&](int run) {
        auto s = tone;
        for (int i = 0; i < run; ++i) s[500 + i] = 32767;
        return p1(s);
    };
    auto square = [](int16_t level) {
        std::vector<int16_t> s(16000);
        for (size_t i = 0; i < s.size(); ++i) s[i] = i % 2 ? level : int16_t(-level);
        return Put("p1.wav", WavBytes(s, 16000));
    };
    auto offset = [&](int dc) {
        auto s = tone;
        for (auto& v : s) v = int16_t(v / 2 + dc);
        return p1(s);
    };
    auto lead = [&](size_t silent) {
        auto s = std::vector<int16_t>(silent, 0);
        s.insert(s.end(), tone.begin(), tone.end());
        return p1(s);
    };
    const std::function<void(Folder&)> none = [](Folder&) {};
    // One role, a copy of the prompts, in a package whose role clips are
    // 16 kHz (as every role clip container is) and prompt clips at promptRate.
    auto role = [](int32_t promptRate) {
        return [=](Folder& f) {
            fs::copy(f.audio, f.dir / "r0");
            fs::rename(f.dir / "r0", f.audio + "/r0");
            WriteFile(f.audio + "/Config.ini",
                      "[RoleInfo]\r\nCount=1\r\nRoleID1=40\r\nRolePath1=r0\r\n");
            auto resources = qm::SkeletonResources(16000, 0);
            const auto other = qm::SkeletonResources(promptRate, 0);
            for (size_t i = 0; i < resources.size(); ++i)
                if (resources[i].id == *qm::ClipResourceId(qm::BUILD_PROMPT))
                    resources[i] = other[i];
            ASSERT_TRUE(qm::WritePackage(f.package, resources));
        };
    };
    // The texts in UTF-16, each after `pad`, with a byte-order mark or without.
    auto utf16 = [](bool bigEndian, const std::string& pad = "", bool mark = false) {
        return [=](Folder& f) {
            std::string t = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
            for (const std::string& x : f.texts)
                for (char16_t c : qm::Cp936ToUtf16(qm::Utf8ToCp936(pad + x + "\r\n"))) {
                    t += static_cast<char>(bigEndian ? c >> 8 : c & 0xFF);
                    t += static_cast<char>(bigEndian ? c & 0xFF : c >> 8);
                }
            WriteFile(f.audio + "/TextList.txt", t);
        };
    };
    const std::vector<Case> cases = {
        {"list-encoding",
         [](Folder& f) {
             WriteFile(f.audio + "/TextList.txt",
                       "\xEF\xBB\xBF" + ReadFile(f.audio + "/TextList.txt"));
         },
         none},
        {"list-encoding",
         [](Folder& f) {
             std::string t;
             for (const std::string& x : f.texts) t += x + "\n";
             WriteFile(f.audio + "/TextList.txt", t);
         },
         none},
        // NULs in every other place: in at least a quarter of the bytes.
        {"list-encoding", utf16(false), utf16(false, "提示"), "Code1", "UTF-16-encoded"},
        {"list-encoding", utf16(true), none, "Code1", "UTF-16-encoded"},
        // Too few NULs to tell, but the mark.
        {"list-encoding", utf16(false, "提示", true), none},
        {"wav-truncated",
         [](Folder& f) {
             std::string w = ReadFile(f.audio + "/p1.wav");
             WriteFile(f.audio + "/p1.wav", w.substr(0, w.size() - 2));
         },
         none},
        {"wav-rate", p1(ToneSamples(44100, 12000.0, 44100), 44100),
         p1(ToneSamples(44000, 12000.0, 44000), 44000)},
        {"clipping", clipped(3), clipped(2)},
        {"silent", square(99), square(100)},
        {"dc-offset", offset(1020), offset(980)},
        {"edge-silence", lead(16001), lead(15999)},
        {"pace", p1(ToneSamples(8500 * 4, 12000.0)), p1(ToneSamples(8500 * 2, 12000.0))},
        {"code4-rate", none,
         [](Folder& f) {
             fs::remove(f.package);
             ASSERT_EQ(RunCli({"init-package", f.package, "--rate", "8000"}).exit, 0);
         },
         "Code4"},
        {"role-rate", role(8000), role(16000), "Code1", "prompt clips are 8000 Hz", "role"},
    };
    for (const Case& c : cases) {
        auto kinds = [&](const std::function<void(Folder&)>& spoil) {
            Folder f;
            spoil(f);
            std::vector<std::string> out;
            const nlohmann::json report = f.Check(c.code, c.type);
            for (const auto& w : report["warnings"])
                out.push_back(w["kind"].get<std::string>() + ": " + w["reason"].get<std::string>());
            return out;
        };
        auto has = [&](const std::vector<std::string>& k) {
            return std::any_of(k.begin(), k.end(), [&](const std::string& w) {
                return w.rfind(c.kind + std::string(": "), 0) == 0 &&
                       w.find(c.says) != std::string::npos;
            });
        };
        const auto got = kinds(c.trigger);
        EXPECT_TRUE(has(got)) << c.kind << ": " << ::testing::PrintToString(got);
        EXPECT_FALSE(has(kinds(c.nearMiss))) << c.kind << " near miss";
    }
}
