// The records of hand-made packages: how texts pair with records, and what
// damage that built packages never hold gives.
#include <gtest/gtest.h>

#include <tuple>

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
                     {kBgsoundClipId, qmtest::FillerClips(16, 9, {7})}}));
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
    // Selections are the command line's (tests/extract); a role identifier
    // takes no prompt or background record.
    EXPECT_TRUE(PackageRecords(l.report, {{}, {7}, {}}).empty());

    // Damage that built packages never hold: an unknown coding, a text
    // without a record. (Damaged frames and counts: Extract.RefusesAndListsDamage.)
    std::vector<int16_t> out;
    std::string err;
    EXPECT_FALSE(Decode(l, all[3], out, err));
    EXPECT_EQ(err, "unknown coding byte 9");
    EXPECT_FALSE(Decode(l, all[4], out, err));
    EXPECT_EQ(err, "no clip record");
}

}  // namespace
}  // namespace qm
