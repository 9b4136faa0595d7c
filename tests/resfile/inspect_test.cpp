#include "resfile/inspect.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/inspect_render.h"
#include "common/testutil.h"
#include "platform/bytes.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "resfile/package.h"
#include "resfile/package_fixtures.h"

namespace qm {
namespace {

using qmtest::ClipContainer;
using qmtest::Package;

std::string Str(const std::vector<unsigned char>& v) { return std::string(v.begin(), v.end()); }

// A text index block of one-segment texts (class 5, Latin letters).
std::string TextIndex(const std::vector<std::string>& texts) {
    std::string s = "TSPTMBGDV4";
    qmtest::PutLE(s, 40, 2);
    const uint32_t n = static_cast<uint32_t>(texts.size());
    uint32_t offTab = 344 + 2 * n, lenTab = offTab + 4 * n, pool = lenTab + 2 * n;
    qmtest::PutLE(s, pool, 4);
    qmtest::PutLE(s, offTab, 4);
    qmtest::PutLE(s, lenTab, 4);
    qmtest::PutLE(s, n ? 344 : 0, 4);
    qmtest::PutLE(s, 0, 2);
    qmtest::PutLE(s, n, 2);
    for (int b = 1; b < 40; ++b) {
        qmtest::PutLE(s, 0, 4);
        qmtest::PutLE(s, n, 2);
        qmtest::PutLE(s, 0, 2);
    }
    for (const std::string& t : texts) {
        s.push_back(5);
        s.push_back(static_cast<char>(t.size()));
    }
    uint32_t p = 0;
    for (const std::string& t : texts) {
        qmtest::PutLE(s, p, 4);
        p += 2 * static_cast<uint32_t>(t.size());
    }
    for (const std::string& t : texts) qmtest::PutLE(s, static_cast<uint32_t>(t.size()), 2);
    for (const std::string& t : texts) {
        for (char c : t) qmtest::PutLE(s, static_cast<unsigned char>(c), 2);
    }
    return s;
}

bool HasProblem(const InspectReport& r, const std::string& part) {
    for (const std::string& p : r.problems) {
        if (p.find(part) != std::string::npos) return true;
    }
    return false;
}

InspectReport Inspect(const std::string& path) {
    InspectReport r;
    std::string err;
    EXPECT_TRUE(InspectPackage(path, r, err)) << err;
    return r;
}

TEST(Inspect, ReadsTextsClipsAndRenders) {
    qmtest::TempDir dir;
    const std::string path = dir / "p.irf";
    qmtest::WriteFile(path, Package({{kPromptIndexId, TextIndex({"ab", "c\td"})},
                                     {kPromptClipId, ClipContainer(8, CODING_IMA_ADPCM, {8000, 4})},
                                     {kBgsoundClipId, ClipContainer(22, CODING_G7231, {241})}}));
    InspectReport r = Inspect(path);
    EXPECT_TRUE(r.problems.empty()) << r.problems.front();
    ASSERT_EQ(r.entries.size(), 3u);
    EXPECT_EQ(r.entries[0].name, "prompt index");
    ASSERT_EQ(r.sets.size(), 2u);
    const InspectSet& prompt = r.sets[0];
    EXPECT_EQ(prompt.name, "prompt");
    EXPECT_EQ(prompt.rate, 8000);
    EXPECT_EQ(prompt.coding, CODING_IMA_ADPCM);
    ASSERT_EQ(prompt.texts.size(), 2u);
    EXPECT_EQ(prompt.texts[0].text, "ab");
    EXPECT_EQ(prompt.texts[0].durationMs, 1000u);
    EXPECT_EQ(prompt.texts[1].text, "c\td");
    EXPECT_EQ(prompt.texts[1].durationMs, 1u);  // 0.5 ms rounds up
    EXPECT_FALSE(r.sets[1].hasIndex);
    EXPECT_EQ(r.sets[1].records, 1u);

    std::string text = RenderInspectText(r);
    EXPECT_NE(text.find("prompt: 2 texts; clips at 8000 Hz (rate byte 8), coding 11 IMA ADPCM"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("      0    1.000 s  ab\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  c\\td\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Problems: none\n"), std::string::npos);

    nlohmann::json j = nlohmann::json::parse(RenderInspectJson(r));
    EXPECT_EQ(j["entries"][0]["id"], "{99fe576b-8999-4d01-9cba-1cbfe380fc87}");
    EXPECT_EQ(j["sets"][0]["texts"][1]["text"], "c\td");
    EXPECT_EQ(j["sets"][0]["clips"]["codingName"], "IMA ADPCM");
    EXPECT_TRUE(j["sets"][1]["texts"].is_null());
    EXPECT_TRUE(j["roleIndex"].is_null());
    EXPECT_TRUE(j["problems"].empty());

    std::string err;
    EXPECT_FALSE(InspectPackage(dir / "none.irf", r, err));
    EXPECT_EQ(err, "Can not open file " + (dir / "none.irf"));
    qmtest::WriteFile(dir / "text.irf", "hello");
    EXPECT_FALSE(InspectPackage(dir / "text.irf", r, err));
    EXPECT_EQ(err, "Incorrect IRF file format");
}

TEST(Inspect, ReportsInconsistencies) {
    qmtest::TempDir dir;
    const std::string path = dir / "p.irf";
    // Three texts, two records; the second record's count one more than its data.
    std::string clips = ClipContainer(16, CODING_ALAW, {10, 20});
    PutU32(reinterpret_cast<unsigned char*>(clips.data()) + 40 + 12 + 4 + 10, 21);
    std::string index = TextIndex({"a", "b", "c"});
    index[344 + 3] = 2;  // segment length of text 1 no longer its text length
    std::vector<qmtest::RawEntry> layout;
    std::string bytes = Package({{kPromptIndexId, index}, {kPromptClipId, clips}}, &layout);
    qmtest::WriteFile(path, bytes);
    InspectReport r = Inspect(path);
    EXPECT_TRUE(HasProblem(r, "prompt: 3 texts but 2 clip records"));
    EXPECT_TRUE(HasProblem(r, "prompt clips: 1 records whose length does not match"));
    EXPECT_TRUE(HasProblem(r, "prompt index: 1 texts whose segment lengths do not add up"));
    EXPECT_NE(RenderInspectText(r).find("Problems: 3\n"), std::string::npos)
        << RenderInspectText(r);

    // A directory entry that reaches past the file, a wrong data end.
    std::string cut = bytes.substr(0, bytes.size() - 8);
    qmtest::WriteFile(path, cut);
    r = Inspect(path);
    EXPECT_TRUE(HasProblem(r, "entry 1: resource ends at"));
    EXPECT_TRUE(HasProblem(r, "data end"));

    // Role frames whose blocks do not chain.
    std::string roleIndex = Str(EmptyRoleIndexFile());
    PutU32(reinterpret_cast<unsigned char*>(roleIndex.data()) + 24, 1);
    roleIndex += std::string(12, '\0');
    qmtest::WriteFile(
        path, Package({{kRoleIndexId, roleIndex}, {kRoleClipId, Str(EmptyRoleClipContainer())}}));
    r = Inspect(path);
    EXPECT_TRUE(HasProblem(r, "role index: total length 1024, the resource is 1036 bytes"));
    EXPECT_TRUE(HasProblem(r, "role index has 1 roles, role clips 0"));
    ASSERT_EQ(r.sets.size(), 1u);
    EXPECT_EQ(r.sets[0].name, "role 1");
}

TEST(Inspect, GoldenPackagesAreConsistent) {
    const std::string root = std::string(QM_SHARED_DIR) + "/golden";
    if (!PathIsDirectory(root)) GTEST_SKIP() << "no golden builds at " << root;
    // The prompt package: its texts are those of New-TextLst.txt, in order.
    const std::string prompt = root + "/prompt-code1/expected/tree/audio/";
    InspectReport r = Inspect(prompt + "voice pack.irf");
    EXPECT_TRUE(r.problems.empty()) << r.problems.front();
    ASSERT_GE(r.sets.size(), 1u);
    std::string list = qmtest::ReadFile(prompt + "New-TextLst.txt");
    std::vector<std::string> lines;
    for (size_t pos = 0, nl; (nl = list.find("\r\n", pos)) != std::string::npos; pos = nl + 2) {
        lines.push_back(Cp936ToUtf8(list.substr(pos, nl - pos)));
    }
    const InspectSet& set = r.sets[0];
    ASSERT_EQ(set.texts.size(), lines.size());
    for (size_t t = 0; t < lines.size(); ++t) EXPECT_EQ(set.texts[t].text, lines[t]) << t;
    // Record 0's count field, read straight from the clip file.
    std::vector<unsigned char> voc = qmtest::ReadBytes(prompt + "Prompt-Code1-16K.voc");
    EXPECT_EQ(set.texts[0].samples, GetU32(voc.data() + GetU32(voc.data() + 40)));
    EXPECT_EQ(set.rate, 16000);

    r = Inspect(root + "/bgsound-code2/expected/tree/audio/input.irf");
    EXPECT_TRUE(r.problems.empty()) << r.problems.front();
    r = Inspect(root + "/role-code3/expected/tree/audio/input.irf");
    EXPECT_TRUE(r.problems.empty()) << r.problems.front();
    EXPECT_EQ(r.roleIndex.roles, 2u);
    ASSERT_EQ(r.sets.size(), 4u);
    EXPECT_EQ(r.sets[2].roleId, -30);
    EXPECT_EQ(r.sets[3].roleId, 7);
    EXPECT_EQ(r.sets[3].coding, CODING_IMA_ADPCM);
}

// Damaged packages: every truncation and many byte changes of a real one
// give a report or a refusal, and both renderers work on every report.
TEST(Inspect, SurvivesDamagedPackages) {
    qmtest::TempDir dir;
    std::string err;
    ASSERT_TRUE(WriteSkeletonPackage(dir / "s.irf", 16000, 2, err));
    std::string base = Package({{kPromptIndexId, TextIndex({"xy", "z"})},
                                {kPromptClipId, ClipContainer(16, CODING_PCM16, {3, 5})},
                                {kRoleIndexId, Str(EmptyRoleIndexFile())},
                                {kRoleClipId, Str(EmptyRoleClipContainer())}});
    InspectReport r = Inspect(dir / "s.irf");
    EXPECT_TRUE(r.problems.empty());
    EXPECT_EQ(r.sets.size(), 2u);  // prompt and bgsound; no roles

    const std::string path = dir / "d.irf";
    auto check = [&](const std::string& bytes) {
        qmtest::WriteFile(path, bytes);
        InspectReport rep;
        std::string e;
        if (InspectPackage(path, rep, e)) {
            EXPECT_FALSE(RenderInspectText(rep).empty());
            EXPECT_TRUE(nlohmann::json::accept(RenderInspectJson(rep)));
        } else {
            EXPECT_FALSE(e.empty());
        }
    };
    for (size_t n = 0; n < base.size(); n += 7) check(base.substr(0, n));
    uint32_t x = 12345;
    for (int round = 0; round < 1500; ++round) {
        std::string bytes = base;
        for (int k = 0; k < 4; ++k) {
            x = x * 1664525u + 1013904223u;
            size_t at = (x >> 8) % bytes.size();
            x = x * 1664525u + 1013904223u;
            // Mostly large values, which make offsets and counts point far away.
            bytes[at] = static_cast<char>((x >> 28) < 4 ? 0xFF : (x >> 20));
        }
        check(bytes);
    }
}

}  // namespace
}  // namespace qm
