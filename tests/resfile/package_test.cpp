// The package: the rate a build reads from it, its layout checks, the
// skeleton writer and the replacement of one resource.
#include "resfile/package.h"

#include <gtest/gtest.h>

#include "common/formats.h"
#include "platform/fs.h"

namespace qm {
namespace {

using qmtest::FillerClips;
using qmtest::Package;
using qmtest::RawEntry;
using qmtest::RawPackage;
using qmtest::Res;
using qmtest::Str;

TEST(PackageRate, ReadsTheBuildTypesClipRate) {
    qmtest::TempDir dir;
    const std::string path = dir / "p.irf";
    // Prompt clips at 11 kHz, A-law coded; a second prompt clip entry later
    // (the first one counts); no background resources; role clips as a role
    // clip container.
    qmtest::WriteFile(path, Package({{kPromptIndexId, Str(EmptyTextIndexBlock()), 3},
                                     {kPromptClipId, FillerClips(11, CODING_ALAW, {5})},
                                     {kPromptClipId, FillerClips(22, CODING_PCM16, {})},
                                     {kRoleClipId, Str(EmptyRoleClipContainer()), 1}}));
    int32_t rate = 0;
    std::string err;
    EXPECT_TRUE(ReadClipResourceRate(path, kPromptClipId, rate, err)) << err;
    EXPECT_EQ(rate, 11025);
    EXPECT_TRUE(ReadPackageRate(BUILD_ROLE, path, rate, err)) << err;
    EXPECT_EQ(rate, 16000);
    rate = 123;
    EXPECT_FALSE(ReadPackageRate(BUILD_BGSOUND, path, rate, err));
    EXPECT_EQ(err, "IRF file dose't contains the resource");
    EXPECT_EQ(rate, 123);
    EXPECT_FALSE(ReadPackageRate(BUILD_PROMPT, dir / "missing.irf", rate, err));
    EXPECT_EQ(err, "Can not open file " + (dir / "missing.irf"));
    EXPECT_FALSE(ReadPackageRate(7, dir.path(), rate, err));  // a folder is no package
    EXPECT_EQ(err, "Can not open file " + dir.path());
}

TEST(PackageRate, RefusesMalformedPackages) {
    qmtest::TempDir dir;
    const std::string path = dir / "p.irf";
    std::string clip = FillerClips(16, CODING_PCM16, {});
    auto rateOf = [&](const std::string& bytes, std::string& err) {
        qmtest::WriteFile(path, bytes);
        int32_t rate = 0;
        return ReadPackageRate(BUILD_PROMPT, path, rate, err) ? rate : -1;
    };
    std::string err;
    std::string good = Package({{kPromptClipId, clip}});
    EXPECT_EQ(rateOf(good, err), 16000);

    // A data end that is wrong is ignored.
    EXPECT_EQ(rateOf(qmtest::Patched(good, 8, 99999), err), 16000);

    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    };
    std::vector<Case> cases = {
        {"header cut short", good.substr(0, 12), "Incorrect IRF file format"},
        {"directory cut short", good.substr(0, 30), "Incorrect IRF file format"},
        {"magic", qmtest::Patched(good, 6, '5', 1), "Incorrect IRF file format"},
        {"no entries", RawPackage(16, {}, ""), "Incorrect IRF file format"},
        {"256 entries", RawPackage(0, {}, std::string(256 * 24, '\0'), 256),
         "Incorrect IRF file format"},
        {"clip magic", qmtest::Patched(good, 16 + 24 + 3, 'x', 1), "Incorrect IRF file format"},
        {"rate byte", qmtest::Patched(good, 16 + 24 + 34, 12, 1), "Incorrect sampling rate"},
        {"resource past the end of the file",
         RawPackage(84, {{kPromptClipId, 40, 44}}, clip.substr(0, 30)),
         "Incorrect IRF file format"},
        {"resource shorter than a clip header", RawPackage(84, {{kPromptClipId, 40, 39}}, clip),
         "Incorrect IRF file format"},
    };
    for (const Case& c : cases) {
        err.clear();
        EXPECT_EQ(rateOf(c.bytes, err), -1) << c.what;
        EXPECT_EQ(err, c.message) << c.what;
    }
}

TEST(PackageLayout, FindsEveryInconsistency) {
    PackageDirectory dir;
    dir.fileSize = 200;
    dir.entries = {{kPromptIndexId, 64, 10}, {kPromptClipId, 80, 20}};
    dir.dataEnd = 100;
    EXPECT_TRUE(PackageLayoutProblems(dir).empty());
    auto with = [&](auto change) {
        PackageDirectory d = dir;
        change(d);
        return PackageLayoutProblems(d).size();
    };
    EXPECT_EQ(with([](PackageDirectory& d) { d.entries[0].offset = 63; }), 1u);  // overlaps dir
    EXPECT_EQ(with([](PackageDirectory& d) { d.entries[1].offset = 70; }), 2u);  // overlap + end
    EXPECT_EQ(with([](PackageDirectory& d) { std::swap(d.entries[0], d.entries[1]); }), 2u);
    EXPECT_EQ(with([](PackageDirectory& d) { d.dataEnd = 120; }), 1u);
    EXPECT_EQ(with([](PackageDirectory& d) {
                  d.entries[1].size = 200;
                  d.dataEnd = 280;
              }),
              2u);  // resource and data end past the file
    EXPECT_EQ(with([](PackageDirectory& d) {
                  d.entries[1].size = 0xFFFFFFFFu;  // no 32-bit wrap-around
                  d.dataEnd = 79;
              }),
              2u);

    // Repeated identifiers: one finding per identifier, with its count.
    EXPECT_TRUE(RepeatedIdentifierProblems(dir).empty());
    dir.entries.push_back(dir.entries[0]);
    dir.entries.push_back(dir.entries[1]);
    dir.entries.push_back(dir.entries[0]);
    EXPECT_EQ(RepeatedIdentifierProblems(dir),
              std::vector<std::string>(
                  {"identifier {99fe576b-8999-4d01-9cba-1cbfe380fc87} appears in 3 entries",
                   "identifier {2f82d48a-210d-4893-a88e-5e0f493ac87a} appears in 2 entries"}));
}

// Opaque resource k of a skeleton, built from its description.
Res Opaque(uint32_t k) {
    Res r;
    std::string id = "QMOPAQUE";
    qmtest::PutLE(id, k, 4);
    qmtest::PutLE(id, k ^ 0x5a5a5a5au, 4);
    std::copy(id.begin(), id.end(), r.id.begin());
    uint32_t x = 0x9e3779b9u * (k + 1);
    for (uint32_t i = 0; i < 37 + 26 * (k % 11); ++i) {
        x = x * 1664525u + 1013904223u;
        r.data.push_back(static_cast<char>(x >> 24));
    }
    return r;
}

// The skeleton: the six own resources, empty, with the opaque ones in the gaps.
std::string Skeleton(uint8_t rateByte, const std::vector<std::vector<uint32_t>>& gaps) {
    const std::vector<Res> own = {{kPromptIndexId, qmtest::TextIndexBytes({})},
                                  {kPromptClipId, FillerClips(rateByte, 2, {})},
                                  {kBgsoundIndexId, qmtest::TextIndexBytes({})},
                                  {kBgsoundClipId, FillerClips(rateByte, 2, {})},
                                  {kRoleIndexId, qmtest::RoleIndexBytes({}, {})},
                                  {kRoleClipId, qmtest::RoleClipBytes({})}};
    std::vector<Res> all;
    for (size_t g = 0; g < gaps.size(); ++g) {
        for (uint32_t k : gaps[g]) all.push_back(Opaque(k));
        if (g < own.size()) all.push_back(own[g]);
    }
    return Package(all);
}

TEST(PackageWrite, SkeletonLayouts) {
    struct Case {
        int32_t rate;
        int extra;
        std::vector<std::vector<uint32_t>> gaps;  // opaque resources before each own one, and after
    };
    const Case cases[] = {
        {22050, 1, {{}, {}, {0}, {}, {}, {}, {}}},
        {8000, 0, {{}, {}, {}, {}, {}, {}, {}}},
        {16000, 12, {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {8, 9}, {10}, {11}}},
    };
    qmtest::TempDir dir;
    for (const Case& c : cases) {
        std::string err;
        ASSERT_TRUE(WriteSkeletonPackage(dir / "s.irf", c.rate, c.extra, err)) << err;
        EXPECT_EQ(qmtest::ReadFile(dir / "s.irf"), Skeleton(RateByte(c.rate), c.gaps)) << c.extra;
    }
    std::string err;
    ASSERT_TRUE(WriteSkeletonPackage(dir / "max.irf", 8000, kSkeletonMaxExtra, err)) << err;
    PackageDirectory d;
    ASSERT_TRUE(ReadPackageDirectory(dir / "max.irf", d, err));
    EXPECT_EQ(d.entries.size(), 255u);
    EXPECT_TRUE(PackageLayoutProblems(d).empty());
}

TEST(PackageWrite, RefusalsLeaveFilesAlone) {
    qmtest::TempDir dir;
    std::string err;
    EXPECT_FALSE(WriteSkeletonPackage(dir / "x.irf", 44100, 1, err));
    EXPECT_EQ(err, "工具不支持的资源包采样率！");
    EXPECT_FALSE(WriteSkeletonPackage(dir / "x.irf", 8000, kSkeletonMaxExtra + 1, err));
    EXPECT_FALSE(WriteSkeletonPackage(dir / "x.irf", 8000, -1, err));
    EXPECT_FALSE(PathFileExists(dir / "x.irf"));

    qmtest::WriteFile(dir / "keep.irf", "precious");
    EXPECT_FALSE(WriteSkeletonPackage(dir / "keep.irf", 8000, 1, err, false));
    EXPECT_EQ(err, "File " + (dir / "keep.irf") + " already exists");
    EXPECT_EQ(qmtest::ReadFile(dir / "keep.irf"), "precious");
    EXPECT_TRUE(WriteSkeletonPackage(dir / "keep.irf", 8000, 1, err, true));
    EXPECT_NE(qmtest::ReadFile(dir / "keep.irf"), "precious");

    // A folder that does not exist: no file, no temporary left.
    EXPECT_FALSE(WriteSkeletonPackage(dir / "no/such/x.irf", 8000, 1, err));
    EXPECT_EQ(err, "Can not create file " + (dir / "no/such/x.irf") + "！");
    EXPECT_EQ(qmtest::Entries(dir.path()), 1u);  // keep.irf only
}

// Replacement of one resource (CUpdateResource).

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

    // Duplicate identifiers: the last entry is the one replaced (no padding after it).
    qmtest::WriteFile(dir / "new.voc", "0123456");
    qmtest::WriteFile(dir / "dup.irf",
                      Package({{kPromptClipId, "first"}, {kPromptClipId, "second"}}));
    ASSERT_EQ(Replace(dir / "dup.irf", dir / "new.voc", kPromptClipId, dir / "dup-out.irf"),
              kUpdateOk);
    std::string dup = qmtest::ReadFile(dir / "dup-out.irf");
    EXPECT_EQ(dup.substr(dup.size() - 12), "first0123456");

    // A directory at its limit of 255 entries is still a package to update.
    std::string err;
    ASSERT_TRUE(WriteSkeletonPackage(dir / "full.irf", 16000, kSkeletonMaxExtra, err)) << err;
    EXPECT_EQ(Replace(dir / "full.irf", dir / "new.idx", kPromptIndexId, dir / "full-out.irf"),
              kUpdateOk);
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

}  // namespace
}  // namespace qm
