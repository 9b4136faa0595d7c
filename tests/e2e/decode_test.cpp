// encode and decode through the command line: clips coded by `encode` come
// back as raw little-endian samples; refusals leave the folder as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "codec/coders.h"
#include "codec/decoders.h"
#include "codec/g7231/g7231.h"
#include "e2e/cli_support.h"

using namespace qmtest;

namespace {

// What `encode` writes is the coder's output; what `decode` writes is the
// decoder's, as little-endian samples.
TEST(Decode, RoundTripsThroughEncode) {
    const struct {
        std::string codec;
        size_t n;
        std::string samples;  // --samples, "" for none
        int32_t expect;
    } kCases[] = {
        {"alaw", 1001, "", 1001},  {"alaw", 1001, "600", 600},    {"alaw", 0, "", 0},
        {"adpcm", 1001, "", 1000}, {"adpcm", 1001, "1001", 1001}, {"adpcm", 1, "1", 1},
        {"g7231", 1001, "", 1200}, {"g7231", 1001, "1001", 1001},
    };
    for (const auto& c : kCases) {
        TempDir dir;
        const std::vector<int16_t> samples = ToneSamples(c.n, 20000.0, 8000);
        WriteFile(dir / "in.raw", PcmBytes(samples));
        WriteFile(dir / "coded", "an older output, replaced");
        const CliResult e = RunCli({"encode", "--codec", c.codec, dir / "in.raw", dir / "coded"});
        ASSERT_EQ(e.exit, 0) << c.codec << " " << c.n << ": " << e.err;
        EXPECT_EQ(e.out + e.err, "");
        std::string want(c.n + 64, '\0');
        auto* w = reinterpret_cast<unsigned char*>(want.data());
        const int32_t n = static_cast<int32_t>(c.n);
        const int made = c.codec == "alaw"    ? qm::ALawEncode(samples.data(), n, w)
                         : c.codec == "adpcm" ? qm::AdpcmEncode(samples.data(), n, w)
                                              : qm::G7231EncodeClip(samples.data(), n, w);
        want.resize(static_cast<size_t>(std::max(made, 0)));  // no samples: no bytes
        EXPECT_EQ(ReadFile(dir / "coded"), want) << c.codec << " " << c.n;
        std::vector<std::string> args = {"decode", "--codec", c.codec, dir / "coded", dir / "out"};
        if (!c.samples.empty()) args.insert(args.end(), {"--samples", c.samples});
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.exit, 0) << r.err;
        EXPECT_EQ(r.out + r.err, "");

        const std::string coded = ReadFile(dir / "coded");
        const auto* bytes = reinterpret_cast<const uint8_t*>(coded.data());
        std::vector<int16_t> expect(static_cast<size_t>(c.expect));
        ASSERT_EQ(c.codec == "alaw" ? qm::ALawDecode(bytes, c.expect, expect.data())
                  : c.codec == "adpcm"
                      ? qm::AdpcmDecode(bytes, coded.size(), c.expect, expect.data())
                      : qm::G7231DecodeClip(bytes, coded.size(), c.expect, expect.data()),
                  c.expect);
        std::string le;
        for (int16_t v : expect) PutLE(le, static_cast<uint16_t>(v), 2);
        EXPECT_EQ(ReadFile(dir / "out"), le) << c.codec << " " << c.n;
        EXPECT_EQ(Tree(dir.path()).size(), 3u) << "a temporary file was left behind";
    }
}

// Every refusal of encode and decode leaves the folder as it was: outputs
// kept, links and folders at the output name in place, no temporary file.
TEST(CodecCommands, RefusalsLeaveTheFolderAsItWas) {
    TempDir dir;
    WriteFile(dir / "coded", std::string(40, '\x55'));
    WriteFile(dir / "in.pcm", PcmBytes(ToneSamples(1000, 12000.0)));
    WriteFile(dir / "odd.pcm", "abc");
    WriteFile(dir / "target", "keep");
    std::filesystem::create_symlink(dir / "target", dir / "link");
    std::filesystem::create_directories(dir / "taken");
    const std::string coded = dir / "coded", notFile = ": it is not a regular file";
    const struct {
        std::string command, codec, in, out, samples;
        int exit;
        std::string message;
    } kCases[] = {
        {"decode", "alaw", "coded", "target", "41", 1,
         "Input file " + coded + " holds 40 samples at most, 41 asked for"},
        {"decode", "adpcm", "coded", "target", "82", 1,
         "Input file " + coded + " holds 81 samples at most, 82 asked for"},
        {"decode", "g7231", "coded", "target", "481", 1,
         "Input file " + coded + " holds 480 samples at most, 481 asked for"},
        {"decode", "alaw", "coded", "link", "", 1,
         "Cannot write output file " + dir / "link" + notFile},
        {"decode", "alaw", "coded", "target", "-1", 2, ""},
        {"decode", "mulaw", "coded", "target", "", 2, ""},
        {"encode", "alaw", "none.pcm", "target", "", 1,
         "Cannot open input file " + dir / "none.pcm"},
        {"encode", "alaw", "odd.pcm", "target", "", 1,
         "Input file " + dir / "odd.pcm" + " has an odd number of bytes; 16-bit samples expected"},
        {"encode", "alaw", "in.pcm", "no/dir/out", "", 1,
         "Cannot write output file " + dir / "no/dir/out"},
        {"encode", "alaw", "in.pcm", "taken", "", 1,
         "Cannot write output file " + dir / "taken" + notFile},
        {"encode", "mulaw", "in.pcm", "target", "", 2, ""},
    };
    const auto before = Tree(dir.path());
    for (const auto& c : kCases) {
        std::vector<std::string> args = {c.command, "--codec", c.codec, dir / c.in, dir / c.out};
        if (!c.samples.empty()) args.insert(args.end(), {"--samples", c.samples});
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.exit, c.exit) << c.command << " " << c.codec << " " << c.out;
        if (!c.message.empty()) {
            EXPECT_EQ(Message(r.err), c.message);
        }
        EXPECT_EQ(Tree(dir.path()), before) << c.command << " " << c.codec << " " << c.out;
        EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
        EXPECT_TRUE(std::filesystem::is_directory(dir / "taken"));
    }
}

}  // namespace
