// The clip container: what the writer puts, what the reader accepts and
// refuses, and what the check finds.
#include "resfile/clip_container.h"

#include <gtest/gtest.h>

#include "common/formats.h"

namespace qm {
namespace {

using qmtest::ClipBytes;
using qmtest::FillerClips;
using qmtest::Patched;

TEST(ClipContainerWriter, Refusals) {
    qmtest::TempDir dir;
    File f;
    ASSERT_TRUE(f.Open(dir / "c.voc", "w+b"));
    ClipContainerWriter w;
    // A table that 32-bit offsets cannot address is refused before anything is written.
    EXPECT_FALSE(w.Begin(f, MakeClipHeader(16, CODING_PCM16, 0x40000000u), 0));
    EXPECT_EQ(f.Size(), 0);

    ASSERT_TRUE(w.Begin(f, MakeClipHeader(16, CODING_PCM16, 2), kCodedTablePlaceholder));
    EXPECT_FALSE(w.Finish());  // records missing
    // A record that would end past 4 GiB is refused whole.
    EXPECT_FALSE(w.AddRecord(1, nullptr, 0xFFFFFFF0u));
    EXPECT_EQ(w.Length(), 52u);
    const int16_t s[2] = {7, -7};
    EXPECT_TRUE(w.AddSamples(s, 2));
    EXPECT_TRUE(w.AddSamples(s, 1));
    EXPECT_FALSE(w.AddSamples(s, 1));  // one more than the header's count
    ASSERT_TRUE(f.Close());

    if (f.Open("/dev/full", "wb")) {
        EXPECT_FALSE(w.Begin(f, MakeClipHeader(16, CODING_PCM16, 0), 0) && w.Finish());
    }
}

TEST(ClipHeader, CopyKeepsEveryOtherByte) {
    std::string raw = qmtest::ClipHeaderBytes(22, CODING_PCM16, 7);
    raw[27] = 'x';  // a padding byte that is not zero
    const auto* p = reinterpret_cast<const unsigned char*>(raw.data());
    ClipHeader g = DecodeClipHeader(p).WithCoding(CODING_G7231);
    raw[35] = CODING_G7231;
    EXPECT_EQ(std::string(g.bytes.begin(), g.bytes.end()), raw);
    EXPECT_EQ(g.coding, CODING_G7231);
    EXPECT_TRUE(g.magic && !g.magicPadded);
    raw[24] = 'x';  // the zero after the 24 characters belongs to the magic
    EXPECT_FALSE(DecodeClipHeader(p).magic);
}

TEST(ClipCoding, RecordSizesAndNames) {
    const std::tuple<uint8_t, uint32_t, uint64_t, const char*> cases[] = {
        {CODING_PCM16, 0xFFFFFFFFu, 0x1FFFFFFFEull, "PCM16"},
        {CODING_ALAW, 1001, 1001, "A-law"},
        {CODING_IMA_ADPCM, 1001, 500, "IMA ADPCM"},
        {CODING_G7231, 240, 20, "G.723.1"},
        {CODING_G7231, 241, 40, "G.723.1"},
    };
    for (const auto& [coding, n, expected, name] : cases) {
        uint64_t bytes = 0;
        EXPECT_TRUE(CodedRecordBytes(coding, n, bytes) && bytes == expected) << n;
        EXPECT_EQ(ClipCodingName(coding), name);
    }
    uint64_t bytes = 0;
    EXPECT_FALSE(CodedRecordBytes(3, 1, bytes));
    EXPECT_EQ(ClipCodingName(3), "unknown");
}

// Which step of the reader refuses a container, for hostile containers.
TEST(ClipContainerReader, RefusesWhatDoesNotFit) {
    const std::string good = ClipBytes(16, CODING_PCM16, qmtest::PcmRecords({{1, 2, 3}, {4, 5}}));
    enum Step { kHeader, kTable, kCount, kData, kNone };
    struct Case {
        const char* what;
        std::string bytes;
        Step fails;  // the first step that fails, for record 1
    };
    const std::vector<Case> cases = {
        {"sound", good, kNone},
        {"no bytes", "", kHeader},
        {"39 bytes", good.substr(0, 39), kHeader},
        {"table cut short", good.substr(0, 51), kTable},
        {"count of 2^32 - 1", Patched(good, 36, 0xFFFFFFFFu), kTable},
        {"count past the end", Patched(good, 36, 40), kTable},
        {"record at the end", Patched(good, 44, static_cast<uint32_t>(good.size())), kCount},
        {"record at 2^32 - 1", Patched(good, 44, 0xFFFFFFFFu), kCount},
        {"record count cut short", Patched(good, 44, static_cast<uint32_t>(good.size()) - 3),
         kCount},
        {"data cut short", good.substr(0, good.size() - 1), kData},
        {"2^31 samples", Patched(good, good.size() - 8, 0x80000000u), kData},
        {"unknown coding", Patched(good, 35, 3, 1), kData},
    };
    for (const Case& c : cases) {
        MemorySource src = qmtest::Source(c.bytes);
        ClipContainerReader r;
        uint32_t n = 0;
        uint64_t bytes = 0;
        Step failed = !r.ReadHeader(src)         ? kHeader
                      : !r.ReadTable()           ? kTable
                      : !r.SampleCount(1, n)     ? kCount
                      : !r.DataFits(1, n, bytes) ? kData
                                                 : kNone;
        EXPECT_EQ(failed, c.fails) << c.what;
        if (failed == kNone) {
            EXPECT_EQ(n, 2u);
            int16_t s[2] = {};
            ASSERT_TRUE(r.ReadData(1, s, bytes));
            EXPECT_EQ(s[1], 5);
            EXPECT_EQ(r.Offset(2), good.size());
        }
    }
}

std::vector<std::string> Findings(const std::string& bytes) {
    return CheckClipContainer(qmtest::Source(bytes)).problems;
}

// The saved renderings of damaged packages (inspect_test) hold every message;
// these cases are the edges of each rule.
TEST(ClipContainerCheck, FindsEveryInconsistency) {
    // Three A-law records of 10, 20 and 30 samples: records at 56, 70, 94; end 128.
    const std::string good = FillerClips(8, CODING_ALAW, {10, 20, 30});
    ClipContainerCheck sound = CheckClipContainer(qmtest::Source(good));
    EXPECT_TRUE(sound.problems.empty());
    EXPECT_EQ(sound.samples, std::vector<uint32_t>({10, 20, 30}));

    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> findings;
    };
    const std::vector<Case> cases = {
        {"marker B", Patched(good, 32, 0xCD, 1), {"markers 0x1234 0xCCCD, expected 0x1234 0xCCCC"}},
        {"rate", Patched(good, 34, 12, 1), {"rate byte 12 is not 8, 11, 16 or 22"}},
        {"count", Patched(good, 36, 30), {"offset table of 31 entries does not fit in 128 bytes"}},
        {"first record",
         Patched(good, 40, 57),
         {"record 0 at 57, expected 56",
          "1 records whose length does not match their sample "
          "count and coding, the first 0"}},
        {"end",
         Patched(good, 52, 127),
         {"records end at 127, the container is 128 bytes",
          "1 records whose length does not match their sample count and coding, the first 2"}},
        {"order",
         Patched(good, 44, 56),
         {"1 records do not start after the previous one, the first 0",
          "2 records whose length does not match their sample count and coding, the first 0"}},
        {"inside the table",
         Patched(good, 44, 55),
         {"1 records do not start after the previous one, the first 0",
          "1 records lie outside the container, the first 1",
          "1 records whose length does not match their sample count and coding, the first 0"}},
        {"past the end",
         Patched(good, 48, 125),
         {"1 records lie outside the container, the first 2",
          "1 records whose length does not match their sample count and coding, the first 1"}},
        {"sample count",
         Patched(good, 70, 21),
         {"1 records whose length does not match their sample count and coding, the first 1"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Findings(c.bytes), c.findings) << c.what;
}

}  // namespace
}  // namespace qm
