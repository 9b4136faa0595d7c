// The records of hand-made packages: which records a selection takes, what
// each decodes to, and what a damaged record gives.
#include <gtest/gtest.h>

#include <atomic>
#include <tuple>

#include "codec/coders.h"
#include "codec/g7231/g7231.h"
#include "common/formats.h"
#include "driver/package_records.h"
#include "platform/file.h"

namespace qm {
namespace {

using qmtest::ClipRecord;
using qmtest::Package;
using qmtest::TextIndexBytes;

struct Loaded {
    qmtest::TempDir dir;
    std::string path = dir / "p.irf";
    InspectReport report;
};

void Load(Loaded& l, const std::string& bytes) {
    qmtest::WriteFile(l.path, bytes);
    std::string err;
    ASSERT_TRUE(InspectPackage(l.path, l.report, err)) << err;
}

bool Decode(const Loaded& l, const PackageRecord& r, std::vector<int16_t>& out, std::string& err) {
    File f;
    EXPECT_TRUE(f.Open(l.path, "rb"));
    return DecodeRecord(f, r, out, err);
}

TEST(PackageRecords, PairsAndSelects) {
    Loaded l;
    // Two texts and three records in the prompt set (the third has no
    // text); three texts and one record in the background set.
    Load(l, Package({{kPromptIndexId, TextIndexBytes({"ab", "cd"})},
                     {kPromptClipId, qmtest::FillerClips(8, CODING_ALAW, {3, 4, 5})},
                     {kBgsoundIndexId, TextIndexBytes({"x", "y", "z"})},
                     {kBgsoundClipId, qmtest::FillerClips(16, CODING_PCM16, {7})}}));
    const std::vector<PackageRecord> all = PackageRecords(l.report);
    struct Want {
        std::string set, text;
        uint32_t number;
        bool hasText, hasClip;
        uint32_t samples;
        int32_t rate;
    };
    const std::vector<Want> want = {
        {"prompt", "ab", 0, true, true, 3, 8000},   {"prompt", "cd", 1, true, true, 4, 8000},
        {"prompt", "", 2, false, true, 5, 8000},    {"bgsound", "x", 0, true, true, 7, 16000},
        {"bgsound", "y", 1, true, false, 0, 16000}, {"bgsound", "z", 2, true, false, 0, 16000},
    };
    ASSERT_EQ(all.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const PackageRecord& r = all[i];
        const Want& w = want[i];
        EXPECT_EQ(std::tie(r.set, r.text, r.number, r.hasText, r.hasClip, r.samples, r.rate),
                  std::tie(w.set, w.text, w.number, w.hasText, w.hasClip, w.samples, w.rate));
        EXPECT_EQ(r.classes, r.hasText ? std::vector<uint8_t>{5} : std::vector<uint8_t>{}) << i;
    }
    // Record 1 of the prompt set: after the header, the table of 4 entries,
    // and record 0 (count and 3 bytes); its own count and 4 bytes.
    EXPECT_EQ(all[1].offset, l.report.sets[0].clipsOffset + 40 + 16 + 4 + 3);
    EXPECT_EQ(all[1].length, 8u);

    struct Sel {
        RecordSelection sel;
        size_t count;
    };
    const std::vector<Sel> sels = {
        {{{"bgsound"}, {}, {}}, 3},
        {{{}, {}, {1, 2}}, 4},
        {{{"prompt"}, {}, {2}}, 1},
        {{{}, {7}, {}}, 0},  // a role identifier takes no prompt or background record
    };
    for (const Sel& s : sels) EXPECT_EQ(PackageRecords(l.report, s.sel).size(), s.count);
}

// Each coding decodes to its samples; damaged records give their error.
TEST(PackageRecords, DecodesEveryCodingAndRefusesDamage) {
    std::vector<int16_t> pcm(481);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>((i * 2654435761u) >> 17);
    const auto n = static_cast<int32_t>(pcm.size());
    std::vector<unsigned char> alaw(pcm.size()), adpcm(pcm.size() / 2), g7231(60);
    ALawEncode(pcm.data(), n, alaw.data());
    AdpcmEncode(pcm.data(), n, adpcm.data());
    ASSERT_EQ(G7231EncodeClip(pcm.data(), n, g7231.data()), 60);
    struct Case {
        uint8_t coding;
        std::string data;
    };
    auto str = [](const std::vector<unsigned char>& v) { return std::string(v.begin(), v.end()); };
    const std::vector<Case> cases = {{CODING_PCM16, qmtest::PcmBytes(pcm)},
                                     {CODING_ALAW, str(alaw)},
                                     {CODING_IMA_ADPCM, str(adpcm)},
                                     {CODING_G7231, str(g7231)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.coding));
        Loaded l;
        const std::vector<ClipRecord> recs = {{static_cast<uint32_t>(n), c.data}, {0, ""}};
        Load(l, Package({{kPromptClipId, qmtest::ClipBytes(8, c.coding, recs)}}));
        const std::vector<PackageRecord> all = PackageRecords(l.report);
        ASSERT_EQ(all.size(), 2u);
        std::vector<int16_t> out;
        std::string err;
        ASSERT_TRUE(Decode(l, all[0], out, err)) << err;
        ASSERT_EQ(out.size(), pcm.size());
        if (c.coding == CODING_PCM16) {
            EXPECT_EQ(out, pcm);
        }
        EXPECT_TRUE(Decode(l, all[1], out, err)) << err;  // an empty record
        EXPECT_TRUE(out.empty());
        // The same record claiming more samples than its container holds.
        PackageRecord longer = all[0];
        longer.samples += 240;
        EXPECT_FALSE(Decode(l, longer, out, err));
        EXPECT_NE(err.find("outside its clip container"), std::string::npos) << err;
        EXPECT_TRUE(out.empty());
    }
    // No record, an unknown coding, a G.723.1 frame of another type.
    Loaded l;
    std::string frames(40, '\0'), frame(20, '\0');
    frames[0] = frame[0] = 0x01;  // 5.3 kbit/s frames
    frames[20] = 0x02;            // but frame 1: type bits 10
    Load(l,
         Package({{kPromptClipId, qmtest::ClipBytes(8, CODING_G7231, {{480, frames}, {1, frame}})},
                  {kBgsoundClipId, qmtest::FillerClips(8, 9, {4})}}));
    std::vector<PackageRecord> all = PackageRecords(l.report);
    ASSERT_EQ(all.size(), 3u);
    std::vector<int16_t> out;
    std::string err;
    EXPECT_FALSE(Decode(l, all[0], out, err));
    EXPECT_NE(err.find("frame 1"), std::string::npos) << err;
    EXPECT_TRUE(Decode(l, all[1], out, err)) << err;
    EXPECT_EQ(out.size(), 1u);
    EXPECT_FALSE(Decode(l, all[2], out, err));
    EXPECT_EQ(err, "unknown coding byte 9");
    PackageRecord none = all[1];
    none.hasClip = false;
    EXPECT_FALSE(Decode(l, none, out, err));
    EXPECT_EQ(err, "no clip record");
}

TEST(PackageRecords, EveryIndexOnceOnAnyNumberOfThreads) {
    for (int jobs : {0, 1, 2, 5}) {
        std::vector<std::atomic<int>> seen(37);
        ForEachIndex(seen.size(), jobs, [&](size_t i) { seen[i]++; });
        for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i].load(), 1) << jobs << " " << i;
    }
    ForEachIndex(0, 3, [](size_t) { ADD_FAILURE(); });
}

}  // namespace
}  // namespace qm
