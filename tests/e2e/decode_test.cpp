// decode through the command line: clips coded by `encode` come back as raw
// little-endian samples, and the refusals leave the output as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>

#include "codec/decoders.h"
#include "e2e/cli_support.h"

namespace fs = std::filesystem;
using namespace qmtest;

namespace {

std::string RawBytes(const std::vector<int16_t>& s) {
    std::string out;
    for (int16_t v : s) PutLE(out, static_cast<uint16_t>(v), 2);
    return out;
}

std::vector<int16_t> Samples(const std::string& raw) {
    std::vector<int16_t> s(raw.size() / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>(static_cast<uint8_t>(raw[2 * i]) |
                                    static_cast<uint8_t>(raw[2 * i + 1]) << 8);
    return s;
}

double SnrDb(const std::vector<int16_t>& ref, const std::vector<int16_t>& got, size_t from) {
    double sig = 0, err = 0;
    for (size_t i = from; i < ref.size(); ++i) {
        sig += double(ref[i]) * ref[i];
        err += double(ref[i] - got[i]) * (ref[i] - got[i]);
    }
    return 10 * std::log10(sig / std::max(err, 1.0));
}

TEST(Decode, RoundTripsThroughEncode) {
    const struct {
        const char* codec;
        size_t n;
        std::vector<std::string> extra;  // decode options
        size_t expectSamples;
    } kCases[] = {
        {"alaw", 1000, {}, 1000},
        {"alaw", 1001, {}, 1001},
        {"alaw", 1001, {"--samples", "600"}, 600},
        {"alaw", 0, {}, 0},
        {"adpcm", 1000, {}, 1000},
        {"adpcm", 1001, {}, 1000},  // without --samples the dropped sample is not restored
        {"adpcm", 1001, {"--samples", "1001"}, 1001},
        {"adpcm", 1, {"--samples", "1"}, 1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.codec) + " " + std::to_string(c.n));
        TempDir dir;
        const std::vector<int16_t> clip = ToneSamples(c.n, 20000.0, 8000);
        WriteFile(dir / "in.raw", RawBytes(clip));
        ASSERT_EQ(RunCli({"encode", "--codec", c.codec, dir / "in.raw", dir / "coded"}).exit, 0);
        std::vector<std::string> args = {"decode", "--codec", c.codec, dir / "coded",
                                         dir / "out.raw"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        CliResult r = RunCli(args);
        ASSERT_EQ(r.exit, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");

        const std::vector<int16_t> back = Samples(ReadFile(dir / "out.raw"));
        ASSERT_EQ(back.size(), c.expectSamples);
        const std::string coded = ReadFile(dir / "coded");
        std::vector<int16_t> expect(c.expectSamples);
        const auto* bytes = reinterpret_cast<const uint8_t*>(coded.data());
        const auto n = static_cast<int32_t>(c.expectSamples);
        if (std::string(c.codec) == "alaw") {
            ASSERT_EQ(qm::ALawDecode(bytes, n, expect.data()), n);
        } else {
            ASSERT_EQ(qm::AdpcmDecode(bytes, coded.size(), n, expect.data()), n);
        }
        EXPECT_EQ(back, expect);
        std::vector<int16_t> ref(clip.begin(), clip.begin() + static_cast<long>(back.size()));
        if (back.size() > 400) {
            EXPECT_GT(SnrDb(ref, back, 200), 20.0);
        }
        EXPECT_EQ(Tree(dir.path()).size(), 3u) << "a temporary file was left behind";
    }
}

TEST(Decode, RefusalsLeaveTheOutputAsItWas) {
    TempDir dir;
    WriteFile(dir / "coded", std::string(40, '\x55'));
    WriteFile(dir / "frames", std::string(30, '\x00'));
    WriteFile(dir / "target", "keep");
    fs::create_symlink(dir / "target", dir / "link");
    fs::create_directory(dir / "folder");
    const struct {
        std::vector<std::string> args;
        int exit;
        std::string firstLine;
    } kCases[] = {
        {{"--codec", "alaw", dir / "coded", dir / "target", "--samples", "41"},
         1,
         "Input file " + dir / "coded" + " holds 40 samples at most, 41 asked for"},
        {{"--codec", "adpcm", dir / "coded", dir / "target", "--samples", "82"},
         1,
         "Input file " + dir / "coded" + " holds 81 samples at most, 82 asked for"},
        {{"--codec", "g7231", dir / "coded", dir / "target"},
         1,
         "g7231 decoding is not available yet"},
        {{"--codec", "g7231", dir / "frames", dir / "target"},
         1,
         "Input file " + dir / "frames" + " is not a whole number of 20-byte frames"},
        {{"--codec", "alaw", dir / "missing", dir / "target"},
         1,
         "Cannot open input file " + dir / "missing"},
        {{"--codec", "alaw", dir / "coded", dir / "link"},
         1,
         "Cannot write output file " + dir / "link" + ": it is not a regular file"},
        {{"--codec", "alaw", dir / "coded", dir / "folder"},
         1,
         "Cannot write output file " + dir / "folder" + ": it is not a regular file"},
        {{"--codec", "alaw", dir / "coded", dir / "nowhere/out"},
         1,
         "Cannot write output file " + dir / "nowhere/out"},
        {{"--codec", "mulaw", dir / "coded", dir / "target"}, 2, ""},
        {{"--codec", "alaw", dir / "coded", dir / "target", "--samples", "-1"}, 2, ""},
        {{"--codec", "alaw", dir / "coded"}, 2, ""},
    };
    const auto before = Tree(dir.path());
    for (const auto& c : kCases) {
        std::vector<std::string> args = {"decode"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        CliResult r = RunCli(args);
        EXPECT_EQ(r.exit, c.exit) << c.args[1] << " " << c.args[3];
        if (!c.firstLine.empty()) {
            EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.firstLine);
        }
        EXPECT_EQ(Tree(dir.path()), before) << c.args[1] << " " << c.args[3];
        EXPECT_TRUE(fs::is_symlink(dir / "link"));
    }
}

TEST(Decode, ReplacesAnExistingFileWithOrdinaryPermissions) {
    TempDir dir;
    WriteFile(dir / "coded", std::string(4, '\xD5'));
    WriteFile(dir / "out.raw", std::string(100, 'x'));
    ASSERT_EQ(RunCli({"decode", "--codec", "alaw", dir / "coded", dir / "out.raw"}).exit, 0);
    EXPECT_EQ(ReadFile(dir / "out.raw"), std::string("\x08\x00\x08\x00\x08\x00\x08\x00", 8));
    struct stat st;
    ASSERT_EQ(::stat((dir / "out.raw").c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

}  // namespace
