// `encode`: the ways it refuses, each leaving the output as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/cli_support.h"

namespace fs = std::filesystem;
using namespace qmtest;

// The coded bytes are checked in decode_test.cpp, through a round trip.
TEST(Encode, Refusals) {
    TempDir dir;
    WriteFile(dir / "in.pcm", PcmBytes(ToneSamples(1000, 12000.0)));
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
    EXPECT_EQ(entries, 4u);
}
