// extract and report through the command line, on packages the tool builds;
// texts that no longer match the folder, damage, and the output folder's refusals.
#include "driver/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "e2e/fixture.h"
#include "report/page.h"

namespace fs = std::filesystem;
using namespace qmtest;
using Json = nlohmann::json;

namespace {

// Samples of a WAV file written by extract, after checking that it is the
// plain 44-byte-header WAV file of those samples.
std::vector<int16_t> WavSamples(const std::string& wav, uint32_t rate) {
    const std::vector<int16_t> s = PcmSamples(wav, 44);
    EXPECT_EQ(wav, WavBytes(s, rate));
    return s;
}

double Energy(const std::vector<int16_t>& a) {
    double e = 0;
    for (int16_t v : a) e += double(v) * v;
    return e;
}

// Every build type and coding, extracted and reported with its folder (both
// decode every record through the same code). extract: one WAV per record at
// the package's rate, the texts of the index, and the audio of the uncoded
// build (Code1 byte for byte, the coders within their usual distance).
// report: a row per record, a player per WAV, inspect's counts, check's
// warnings, an SNR chart and lowest-SNR rows only for coded sets, and no text
// out of step.
TEST(ExtractAndReport, EveryBuildTypeAndCoding) {
    Fixture f(8000);
    AddRoles(f);
    // Nearly silent recordings and a clipped one, which check warns about.
    WriteFile(f.audio + "/a8.wav", WavBytes(ToneSamples(4000, 50.0, 8000), 8000));
    auto loud = ToneSamples(24000, 9000.0, 48000);
    std::fill(loud.begin() + 1000, loud.begin() + 1010, int16_t{32767});
    WriteFile(f.audio + "/f48.wav", WavBytes(loud, 48000));
    WriteFile(f.audio + "/r1/p2.wav", WavBytes(ToneSamples(3000, 40.0), 16000));
    const std::string built = f.audio + "/in.irf";
    const std::vector<std::string> codes = {"Code1", "Code2", "Code3", "Code4"};
    const double minSnr[] = {0, 25, 12, -1e9};
    for (const std::string type : {"prompt", "bgsound", "role"}) {
        // a role build takes the role clips' rate, 16 kHz in a skeleton
        const uint32_t rate = type == "role" ? 16000 : 8000;
        std::map<std::string, std::vector<int16_t>> plain;  // file -> Code1 samples
        for (size_t code = 0; code < codes.size(); ++code) {
            SCOPED_TRACE(type + " " + codes[code]);
            ASSERT_EQ(f.Build(type, codes[code]).exit, 0);
            const std::string pkg = ReadFile(built);
            const std::string x = f.dir / ("x-" + type + codes[code]);
            CliResult r = RunCli({"extract", built, "--out", x, "--set", type});
            ASSERT_EQ(r.exit, 0) << r.err;
            const Json index = Json::parse(ReadFile(x + "/index.json"));
            const size_t n = index["records"].size();
            EXPECT_EQ(Line(r.out), "Extracted " + std::to_string(n) + " of " + std::to_string(n) +
                                       " records to " + x);
            std::set<std::string> texts;
            for (const Json& rec : index["records"]) {
                EXPECT_TRUE(rec["error"].is_null());
                EXPECT_EQ(rec["rate"], rate);
                texts.insert(rec["text"].get<std::string>());
                const std::string file = rec["file"], wav = ReadFile(x + "/" + file);
                EXPECT_TRUE(file.starts_with(type + "/")) << file;
                const auto samples = WavSamples(wav, rate);
                EXPECT_EQ(samples.size(), rec["samples"].get<size_t>());
                const size_t offset = rec["offset"], length = rec["length"];
                EXPECT_EQ(U32At(pkg, offset), samples.size());  // the record's count field
                if (code == 0) {
                    EXPECT_EQ(wav.substr(44), pkg.substr(offset + 4, length - 4));
                    plain[file] = samples;
                    continue;
                }
                ASSERT_EQ(plain[file].size(), samples.size()) << file;
                double snr = 0;
                qm::SignalToNoise(plain[file], samples, snr);
                EXPECT_GT(snr, minSnr[code]) << file;
                // G.723.1 keeps the loudness, not the waveform.
                const double ratio = Energy(samples) / std::max(Energy(plain[file]), 1.0);
                EXPECT_GT(ratio, 0.2) << file;
                EXPECT_LT(ratio, 5.0) << file;
            }
            if (type != "role") {
                std::set<std::string> want;
                for (const Prompt& p : kPrompts) want.insert(p.text);
                EXPECT_EQ(texts, want);
            }
            // The CSV: a header line and one line per record.
            const std::string csv = ReadFile(x + "/index.csv");
            EXPECT_EQ(size_t(std::count(csv.begin(), csv.end(), '\n')), n + 1);

            const std::string out = f.dir / ("r-" + type + codes[code]);
            r = RunCli({"report", built, "--out", out, "--audio", f.audio, "--type", type});
            ASSERT_EQ(r.exit, 0) << r.err;
            const Page page = Page::Read(out);
            EXPECT_EQ(r.out, "Report of " + std::to_string(page.rows.size()) +
                                 " records written to " + out + "/index.html\n");
            const Json inspect = Json::parse(RunCli({"inspect", built, "--json"}).out);
            size_t records = 0;
            std::map<std::string, std::pair<size_t, size_t>> sets;
            for (const Json& s : inspect["sets"]) {
                const size_t texts = s["texts"].is_null() ? 0 : s["texts"].size();
                const size_t clips = s["clips"].is_null() ? 0 : s["clips"]["records"].get<size_t>();
                sets[s["name"]] = {texts, clips};
                records += clips;
                if (s["name"] == type) {
                    EXPECT_EQ(clips, n);
                }
            }
            EXPECT_EQ(page.sets, sets);
            EXPECT_EQ(page.rows.size(), records);
            size_t wavs = 0;
            for (const auto& [path, bytes] : Tree(out)) wavs += path.ends_with(".wav");
            EXPECT_EQ(page.players, wavs);
            EXPECT_EQ(page.players, records);

            const Json check =
                Json::parse(RunCli({"check", "--type", type, "--audio", f.audio, "--irf", f.package,
                                    "--code", codes[code], "--json"})
                                .out);
            std::set<std::string> warned, flagged;
            for (const Json& w : check["warnings"])
                if (w["line"] > 0)
                    warned.insert(w["file"].get<std::string>() + ":" +
                                  std::to_string(w["line"].get<int>()));
            size_t sourced = 0, lowSnr = 0;
            for (const Page::Row& row : page.rows) {
                if (row.Has("warning")) flagged.insert(row.source);
                sourced += !row.source.empty();
                lowSnr += row.Has("low-snr");
                EXPECT_FALSE(row.Has("mismatch")) << row.source;
                EXPECT_FALSE(row.Has("error")) << row.source;
            }
            EXPECT_FALSE(warned.empty());
            EXPECT_EQ(flagged, warned);
            EXPECT_EQ(sourced, type == "role" ? 5u : kPrompts.size());
            EXPECT_EQ(page.charts.count("snr"), code == 0 ? 0u : 1u);
            EXPECT_EQ(page.charts.count("duration") + page.charts.count("peak"), 2u);
            // At least one record of each coded set, 5% of them at most rounded up.
            EXPECT_EQ(lowSnr, code == 0 ? 0u : type == "role" ? 2u : 1u);
        }
    }
}

// A folder whose texts moved after the build: the rows whose text no longer
// matches are flagged and show the folder's text, escaped like every text.
TEST(Report, TextsOutOfStepAndEscaped) {
    std::vector<Prompt> prompts = {{"欢迎使用", "a.wav", 16000, 4000},
                                   {"电量不足", "b.wav", 16000, 5000},
                                   {"音量<30>&\"", "c.wav", 16000, 6000},
                                   {"再见", "d.wav", 16000, 3000}};
    Fixture f(16000, prompts);
    ASSERT_EQ(f.Build("prompt", "Code2").exit, 0);
    std::swap(prompts[0].text, prompts[1].text);
    std::string texts, waves;
    for (const Prompt& p : prompts) {
        texts += qm::Utf8ToCp936(p.text) + "\r\n";
        waves += p.name + "\r\n";
    }
    // And a line more than the package has records: a text of one segment,
    // filed before the longer "音量<30>&\"", whose record it takes.
    WriteFile(f.audio + "/TextList.txt", texts + qm::Utf8ToCp936("新的提示") + "\r\n");
    WriteFile(f.audio + "/WaveList.txt", waves + "a.wav\r\n");
    const std::string out = f.dir / "rep";
    const CliResult r = RunCli({"report", f.audio + "/in.irf", "--out", out, "--audio", f.audio,
                                "--type", "prompt", "--low-snr", "200"});
    ASSERT_EQ(r.exit, 0) << r.err;
    const Page page = Page::Read(out);
    std::set<std::string> mismatched;
    for (const Page::Row& row : page.rows) {
        if (row.Has("mismatch")) mismatched.insert(row.source);
        EXPECT_TRUE(row.Has("low-snr")) << "every ratio is below 200 dB";
    }
    EXPECT_EQ(mismatched,
              (std::set<std::string>{"WaveList.txt:1", "WaveList.txt:2", "WaveList.txt:5"}));
    EXPECT_NE(page.html.find("folder: 电量不足"), std::string::npos);
    EXPECT_NE(page.html.find("5 list lines in the build's order; <span class=\"errors\">1 of them "
                             "have no record in the package</span>"),
              std::string::npos);
    EXPECT_NE(page.html.find("音量&lt;30&gt;&amp;&quot;"), std::string::npos);
    EXPECT_EQ(page.html.find("<30>"), std::string::npos);
}

// A record whose sample count runs past its container: a row flagged
// "error" without a player, the others as usual, and a warning.
TEST(Report, DamagedRecord) {
    Fixture f(16000);
    ASSERT_EQ(f.Build("prompt", "Code1").exit, 0);
    const std::string built = f.audio + "/in.irf";
    const Json inspect = Json::parse(RunCli({"inspect", built, "--json"}).out);
    std::string bytes = ReadFile(built);
    const size_t at = inspect["sets"][0]["texts"][2]["offset"];
    bytes.replace(at, 4, "\xff\xff\xff\x00");
    WriteFile(built, bytes);
    const std::string out = f.dir / "rep";
    const CliResult r = RunCli({"report", built, "--out", out});
    ASSERT_EQ(r.exit, 0) << r.err;
    const Page page = Page::Read(out);
    size_t errors = 0;
    for (const Page::Row& row : page.rows) errors += row.Has("error");
    EXPECT_EQ(errors, 1u);
    EXPECT_EQ(page.players + errors, page.rows.size());
    EXPECT_EQ(r.err, "warning: 1 of " + std::to_string(page.rows.size()) +
                         " records have no WAV file (see the report)\n");
}

// Refusals: the output folder must be a new or empty folder, not a link (a
// folder that is not empty with --force); the folder and type go together.
TEST(Report, Refusals) {
    Fixture f(16000, {{"欢迎使用", "a.wav", 16000, 4000}});
    const std::string pkg = f.package;
    const std::string full = f.dir / "full";
    WriteFile(full + "/keep.txt", "mine");
    fs::create_directory(f.dir / "real");
    fs::create_directory_symlink(f.dir / "real", f.dir / "link");
    WriteFile(f.dir / "file", "x");
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string first;  // first line of stderr
    };
    const std::vector<Case> cases = {
        {{"report", pkg, "--out", full},
         1,
         "Output folder " + full + " is not empty (--force writes into it)"},
        {{"report", pkg, "--out", f.dir / "link"},
         1,
         "Output folder " + f.dir / "link" + " is a link; give the folder itself"},
        {{"report", pkg, "--out", f.dir / "file"},
         1,
         "Output folder " + f.dir / "file" + " exists and is not a folder"},
        {{"report", pkg, "--out", f.dir / "new", "--audio", f.audio},
         2,
         "--audio and --type go together: the folder and build type the package was built "
         "from"},
        {{"report", f.dir / "file", "--out", f.dir / "new"}, 1, "Incorrect IRF file format"},
        {{"report", pkg, "--out", full, "--force"}, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[3]);
        const CliResult r = RunCli(c.args);
        EXPECT_EQ(r.exit, c.exit) << r.err;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.first);
    }
    EXPECT_EQ(ReadFile(full + "/keep.txt"), "mine");
    EXPECT_TRUE(fs::exists(full + "/index.html"));
    EXPECT_TRUE(fs::is_empty(f.dir / "real"));
    EXPECT_FALSE(fs::exists(f.dir / "new"));
}

}  // namespace
