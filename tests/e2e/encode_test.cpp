// `encode`: raw samples through each coder, and the ways it refuses; the
// output is replaced only by complete coded bytes.
#include <gtest/gtest.h>

#include <filesystem>

#include "codec/coders.h"
#include "codec/g7231/g7231.h"
#include "e2e/cli_support.h"

namespace fs = std::filesystem;
using namespace qmtest;

TEST(Encode, EveryCoderAndItsRefusals) {
    TempDir dir;
    const std::vector<int16_t> samples = ToneSamples(1000, 12000.0);
    WriteFile(dir / "in.pcm", PcmBytes(samples));
    const struct {
        const char* codec;
        int (*encode)(const int16_t*, int32_t, unsigned char*);
        size_t bytes;
    } coders[] = {{"alaw", qm::ALawEncode, 1000},
                  {"adpcm", qm::AdpcmEncode, 500},
                  {"g7231", qm::G7231EncodeClip, 100}};
    for (const auto& c : coders) {
        WriteFile(dir / "out.bin", "older output");
        CliResult r = RunCli({"encode", "--codec", c.codec, dir / "in.pcm", dir / "out.bin"});
        ASSERT_EQ(r.exit, 0) << c.codec << ": " << r.err;
        EXPECT_EQ(r.out + r.err, "");
        std::vector<unsigned char> want(c.bytes);
        ASSERT_EQ(c.encode(samples.data(), static_cast<int32_t>(samples.size()), want.data()),
                  static_cast<int>(c.bytes));
        EXPECT_EQ(ReadBytes(dir / "out.bin"), want) << c.codec;
    }
    WriteFile(dir / "empty.pcm", "");
    ASSERT_EQ(RunCli({"encode", "--codec", "adpcm", dir / "empty.pcm", dir / "out.bin"}).exit, 0);
    EXPECT_EQ(ReadFile(dir / "out.bin"), "");

    WriteFile(dir / "odd.pcm", "abc");
    WriteFile(dir / "out.bin", "kept");
    fs::create_directories(dir / "taken");
    const struct {
        std::string in, out, message;
    } refusals[] = {
        {dir / "none.pcm", dir / "out.bin", "Cannot open input file " + dir / "none.pcm"},
        {dir / "odd.pcm", dir / "out.bin",
         "Input file " + dir / "odd.pcm" + " has an odd number of bytes; 16-bit samples expected"},
        {dir / "in.pcm", dir / "no/dir/out", "Cannot write output file " + dir / "no/dir/out"},
        {dir / "in.pcm", dir / "taken",
         "Cannot write output file " + dir / "taken" + ": it is not a regular file"},
    };
    for (const auto& c : refusals) {
        CliResult r = RunCli({"encode", "--codec", "alaw", c.in, c.out});
        EXPECT_EQ(r.exit, 1) << c.message;
        EXPECT_EQ(Line(r.err), c.message);
    }
    EXPECT_EQ(ReadFile(dir / "out.bin"), "kept");
    EXPECT_TRUE(fs::is_directory(dir / "taken"));
    EXPECT_EQ(RunCli({"encode", "--codec", "mulaw", dir / "in.pcm", dir / "x"}).exit, 2);
    // Nothing but the files made here is left (no temporary files).
    size_t entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 5u);
}
