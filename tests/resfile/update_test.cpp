#include "resfile/package.h"

#include <gtest/gtest.h>

#include "common/testutil.h"
#include "platform/bytes.h"
#include "platform/fs.h"
#include "resfile/package.h"
#include "resfile/package_fixtures.h"

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

    // Replacing with the same bytes round-trips a well-formed package.
    qmtest::WriteFile(dir / "same.voc", "0123456");
    ASSERT_EQ(Replace(dir / "out2.irf", dir / "same.voc", kPromptClipId, dir / "out3.irf"),
              kUpdateOk);
    EXPECT_EQ(qmtest::ReadFile(dir / "out3.irf"), out2);

    // Duplicate identifiers: the last entry is the one replaced.
    qmtest::WriteFile(dir / "dup.irf",
                      Package({{kPromptClipId, "first"}, {kPromptClipId, "second"}}));
    ASSERT_EQ(Replace(dir / "dup.irf", dir / "new.voc", kPromptClipId, dir / "dup-out.irf"),
              kUpdateOk);
    std::string dup = qmtest::ReadFile(dir / "dup-out.irf");
    EXPECT_EQ(dup.substr(dup.size() - 12), "first0123456");
}

// The driver's two replacements over a skeleton with opaque resources
// before, between and after the replaced ones: everything else passes through.
TEST(UpdateResource, SkeletonResourcesPassThrough) {
    qmtest::TempDir dir;
    std::string err;
    ASSERT_TRUE(WriteSkeletonPackage(dir / "in.irf", 16000, 9, err)) << err;
    qmtest::WriteFile(dir / "Bgsound.idx", std::string(1001, 'i'));
    qmtest::WriteFile(dir / "Bgsound.voc", std::string(2022, 'v'));
    ASSERT_EQ(Replace(dir / "in.irf", dir / "Bgsound.idx", kBgsoundIndexId, dir / "t2.dat"),
              kUpdateOk);
    ASSERT_EQ(Replace(dir / "t2.dat", dir / "Bgsound.voc", kBgsoundClipId, dir / "t1.dat"),
              kUpdateOk);
    PackageDirectory before, after;
    ASSERT_TRUE(ReadPackageDirectory(dir / "in.irf", before, err));
    ASSERT_TRUE(ReadPackageDirectory(dir / "t1.dat", after, err));
    EXPECT_TRUE(PackageLayoutProblems(after).empty());
    EXPECT_EQ(after.dataEnd, after.fileSize);
    ASSERT_EQ(after.entries.size(), before.entries.size());
    const std::string in = qmtest::ReadFile(dir / "in.irf");
    const std::string out = qmtest::ReadFile(dir / "t1.dat");
    auto bytes = [](const std::string& file, const PackageEntry& e) {
        return file.substr(e.offset, e.size);
    };
    for (size_t k = 0; k < after.entries.size(); ++k) {
        const PackageEntry& b = before.entries[k];
        const PackageEntry& a = after.entries[k];
        EXPECT_EQ(a.id, b.id);
        if (a.id == kBgsoundIndexId) {
            EXPECT_EQ(bytes(out, a), std::string(1001, 'i'));
            // 1001 bytes padded to 1004 before the next resource.
            EXPECT_EQ(after.entries[k + 1].offset, a.offset + 1004);
        } else if (a.id == kBgsoundClipId) {
            EXPECT_EQ(bytes(out, a), std::string(2022, 'v'));
        } else {
            EXPECT_EQ(bytes(out, a), bytes(in, b)) << k;
        }
    }
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
    std::string badMagic = good;
    badMagic[0] = 't';
    std::vector<Case> cases = {
        {"magic", badMagic, "data", kUpdateBadSource},
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
        {"overlapping the directory",
         RawPackage(dirEnd + 10, {{kPromptIndexId, dirEnd - 4, 9}, {kPromptClipId, dirEnd + 5, 5}},
                    std::string(10, 'x')),
         "data", kUpdateBadSource},
        {"out of order",
         RawPackage(dirEnd + 10, {{kPromptIndexId, dirEnd + 5, 5}, {kPromptClipId, dirEnd, 5}},
                    std::string(10, 'x')),
         "data", kUpdateBadSource},
        {"overlapping each other",
         RawPackage(dirEnd + 10, {{kPromptIndexId, dirEnd, 7}, {kPromptClipId, dirEnd + 5, 5}},
                    std::string(10, 'x')),
         "data", kUpdateBadSource},
        {"resource past the data end",
         RawPackage(dirEnd + 8, {{kPromptIndexId, dirEnd, 5}, {kPromptClipId, dirEnd + 5, 5}},
                    std::string(10, 'x')),
         "data", kUpdateBadSource},
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

// The golden builds: the input package with the build's index file and clip
// file put in by two replacements is the new package, less the 4096 zero
// bytes the build appends.
TEST(UpdateResource, GoldenBuildsByteForByte) {
    const std::string root = std::string(QM_SHARED_DIR) + "/golden";
    if (!PathIsDirectory(root)) GTEST_SKIP() << "no golden builds at " << root;
    struct Golden {
        const char* folder;
        const char* package;
        int type;
        const char* index;
        const char* clips;
    };
    const Golden cases[] = {
        {"prompt-code1", "voice pack.irf", BUILD_PROMPT, "Prompt.idx", "Prompt-Code1-16K.voc"},
        {"bgsound-code2", "input.irf", BUILD_BGSOUND, "Bgsound.idx", "Bgsound-Code2-8K.voc"},
        {"role-code3", "input.irf", BUILD_ROLE, "PromptRole.idx", "RolePrompt-Code3-16K.voc"},
    };
    qmtest::TempDir dir;
    for (const Golden& g : cases) {
        const std::string base = root + "/" + g.folder;
        const std::string tree = base + "/expected/tree/audio/";
        ASSERT_EQ(Replace(base + "/" + g.package, tree + g.index, *IndexResourceId(g.type),
                          dir / "IrfTemp2.dat"),
                  kUpdateOk)
            << g.folder;
        ASSERT_EQ(Replace(dir / "IrfTemp2.dat", tree + g.clips, *ClipResourceId(g.type),
                          dir / "IrfTemp1.dat"),
                  kUpdateOk)
            << g.folder;
        std::string expected = qmtest::ReadFile(tree + g.package);
        ASSERT_GT(expected.size(), 4096u);
        EXPECT_EQ(expected.substr(expected.size() - 4096), std::string(4096, '\0'));
        EXPECT_TRUE(qmtest::ReadFile(dir / "IrfTemp1.dat") ==
                    expected.substr(0, expected.size() - 4096))
            << g.folder;
        // The new package still reads, and the trailing zeros are dropped by
        // a further replacement.
        int32_t rate = 0;
        std::string err;
        EXPECT_TRUE(ReadPackageRate(g.type, tree + g.package, rate, err)) << err;
        ASSERT_EQ(
            Replace(tree + g.package, tree + g.clips, *ClipResourceId(g.type), dir / "again.irf"),
            kUpdateOk);
        EXPECT_TRUE(qmtest::ReadFile(dir / "again.irf") == qmtest::ReadFile(dir / "IrfTemp1.dat"))
            << g.folder;
    }
}

}  // namespace
}  // namespace qm
