// Replacement of one resource (CUpdateResource).
#include <gtest/gtest.h>

#include "common/formats.h"
#include "platform/fs.h"
#include "resfile/package.h"

namespace qm {
namespace {

using qmtest::Package;
using qmtest::RawEntry;
using qmtest::RawPackage;
using qmtest::Res;

const ResourceId kOther = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

int32_t Replace(const std::string& src, const std::string& data, const ResourceId& id,
                const std::string& out) {
    int32_t code = -1;
    CUpdateResource update(src, data, id, out, &code);
    EXPECT_EQ(update.failed, code == kUpdateOk ? 0 : 1);
    return code;
}

TEST(UpdateResource, ReplacesAndMovesTheResourcesBehind) {
    qmtest::TempDir dir;
    // A gap before the first resource and before the replaced one's successor;
    // bytes after the data end are not carried.
    std::vector<RawEntry> in;
    std::string src =
        Package(
            {{kOther, "AAAAA", 3}, {kPromptIndexId, "old index", 0}, {kPromptClipId, "CLIPS", 2}},
            &in) +
        std::string(4096, '\0');
    qmtest::WriteFile(dir / "src.irf", src);

    // Middle resource, 9 new bytes (4k + 1): 3 bytes of padding.
    qmtest::WriteFile(dir / "new.idx", "123456789");
    ASSERT_EQ(Replace(dir / "src.irf", dir / "new.idx", kPromptIndexId, dir / "out.irf"),
              kUpdateOk);
    std::string out = qmtest::ReadFile(dir / "out.irf");
    std::vector<RawEntry> expectedDir = in;
    expectedDir[1].size = 9;
    // The old span ran to the next offset (9 bytes + 2 gap); the new one is 12.
    expectedDir[2].offset = in[2].offset + 12 - 11;
    std::string body =
        std::string(3, '\x77') + "AAAAA" + "123456789" + std::string(3, '\0') + "CLIPS";
    EXPECT_EQ(out, RawPackage(in[2].offset + 1 + 5, expectedDir, body));

    // Last resource: no padding, nothing of what followed it.
    qmtest::WriteFile(dir / "new.voc", "0123456");
    ASSERT_EQ(Replace(dir / "out.irf", dir / "new.voc", kPromptClipId, dir / "out2.irf"),
              kUpdateOk);
    std::string out2 = qmtest::ReadFile(dir / "out2.irf");
    expectedDir[2].size = 7;
    body.replace(body.size() - 5, 5, "0123456");
    EXPECT_EQ(out2, RawPackage(expectedDir[2].offset + 7, expectedDir, body));

    // Duplicate identifiers: the last entry is the one replaced.
    qmtest::WriteFile(dir / "dup.irf",
                      Package({{kPromptClipId, "first"}, {kPromptClipId, "second"}}));
    ASSERT_EQ(Replace(dir / "dup.irf", dir / "new.voc", kPromptClipId, dir / "dup-out.irf"),
              kUpdateOk);
    std::string dup = qmtest::ReadFile(dir / "dup-out.irf");
    EXPECT_EQ(dup.substr(dup.size() - 12), "first0123456");
}

TEST(UpdateResource, RefusesBadInputsWithoutWriting) {
    qmtest::TempDir dir;
    const std::string good = Package({{kPromptIndexId, "index"}, {kPromptClipId, "clips"}});
    qmtest::WriteFile(dir / "data", "DATA");
    qmtest::WriteFile(dir / "empty", "");
    const uint32_t dirEnd = 16 + 2 * 24;
    struct Case {
        const char* what;
        std::string package;
        std::string data;
        int32_t code;
    };
    std::vector<Case> cases = {
        {"magic", qmtest::Patched(good, 0, 't', 1), "data", kUpdateBadSource},
        {"cut inside the directory", good.substr(0, 40), "data", kUpdateBadSource},
        {"no such identifier", Package({{kOther, "x"}}), "data", kUpdateBadSource},
        {"256 entries", RawPackage(0, {}, std::string(256 * 24, '\0'), 256), "data",
         kUpdateBadSource},
        {"empty data", good, "empty", kUpdateBadData},
        {"missing data", good, "no-such-file", kUpdateBadData},
        // Data end past the file: the bytes after the directory read as a
        // further section header.
        {"second section",
         RawPackage(5000, {{kPromptIndexId, dirEnd - 24, 5}}, std::string(8, '\0')), "data",
         kUpdateSections},
        {"second section of 256 entries",
         RawPackage(5000, {{kPromptIndexId, dirEnd - 24, 12}},
                    std::string("\0\0\0\0\0\1\0\0", 8) + "abcd"),
         "data", kUpdateBadSource},
        {"three sections",
         RawPackage(5000, {{kPromptIndexId, dirEnd - 24, 5}},
                    std::string("\x88\x13\0\0\0\0\0\0\x88\x13\0\0\0\0\0\0", 16)),
         "data", kUpdateSections},
        // The layout rules are PackageLayout's; one broken rule is enough here.
        {"offset far outside the file",
         RawPackage(dirEnd + 10, {{kPromptIndexId, dirEnd, 5}, {kPromptClipId, 0xFFFFFFF0u, 5}},
                    std::string(10, 'x')),
         "data", kUpdateBadSource},
        // Read as unsigned, such a data end lies past the file; the resource
        // bytes then read as a section of 0x78787878 entries.
        {"data end with the top bit set",
         RawPackage(0xFFFFFFF0u, {{kPromptIndexId, dirEnd, 5}}, std::string(10, 'x')), "data",
         kUpdateBadSource},
    };
    for (const Case& c : cases) {
        qmtest::WriteFile(dir / "src.irf", c.package);
        EXPECT_EQ(Replace(dir / "src.irf", dir / c.data, kPromptIndexId, dir / "out.irf"), c.code)
            << c.what;
        EXPECT_FALSE(PathFileExists(dir / "out.irf")) << c.what;
    }
    EXPECT_EQ(Replace(dir / "none.irf", dir / "data", kPromptIndexId, dir / "out.irf"),
              kUpdateBadSource);
    qmtest::WriteFile(dir / "src.irf", good);
    EXPECT_EQ(Replace(dir.path(), dir / "data", kPromptIndexId, dir / "out.irf"), kUpdateBadSource);
    EXPECT_EQ(Replace(dir / "src.irf", dir.path(), kPromptIndexId, dir / "out.irf"),
              kUpdateBadData);
    EXPECT_FALSE(PathFileExists(dir / "out.irf"));

    // The output may not be the source or the data file.
    qmtest::WriteFile(dir / "src.irf", good);
    EXPECT_EQ(Replace(dir / "src.irf", dir / "data", kPromptIndexId, dir / "src.irf"),
              kUpdateWriteFailed);
    EXPECT_EQ(qmtest::ReadFile(dir / "src.irf"), good);
    EXPECT_EQ(Replace(dir / "src.irf", dir / "data", kPromptIndexId, dir / "data"),
              kUpdateWriteFailed);
    EXPECT_EQ(qmtest::ReadFile(dir / "data"), "DATA");
    // An output in a folder that does not exist.
    EXPECT_EQ(Replace(dir / "src.irf", dir / "data", kPromptIndexId, dir / "no/out.irf"),
              kUpdateWriteFailed);
}

TEST(UpdateResourceDeathTest, FailedOutputWriteIsReported) {
    qmtest::TempDir dir;
    qmtest::WriteFile(dir / "src.irf", Package({{kPromptIndexId, "index"}, {kPromptClipId, "c"}}));
    qmtest::WriteFile(dir / "big", std::string(5000, 'b'));
    EXPECT_EXIT(
        {
            qmtest::LimitFileSize(1000);
            int32_t code = 0;
            CUpdateResource update(dir / "src.irf", dir / "big", kPromptIndexId, dir / "out.irf",
                                   &code);
            std::exit(code == kUpdateWriteFailed && update.failed == 1 &&
                              !PathFileExists(dir / "out.irf")
                          ? 0
                          : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qm
