// The inspector and its renderings (src/cli/inspect_render): the saved output
// of the golden packages, and the inspector's own cross-checks.
#include "resfile/inspect.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "cli/inspect_render.h"
#include "common/formats.h"

namespace qm {
namespace {

const std::string kGolden = std::string(QM_TEST_DATA) + "/golden/";
const std::string kExpected = std::string(QM_TEST_DATA) + "/../resfile/data/inspect/";

InspectReport Inspect(const std::string& path) {
    InspectReport r;
    std::string err;
    EXPECT_TRUE(InspectPackage(path, r, err)) << err;
    return r;
}

// With QM_UPDATE_EXPECTED set in the environment, the render tests write
// the saved outputs instead of comparing them (review the difference).
bool Updating() { return std::getenv("QM_UPDATE_EXPECTED") != nullptr; }

std::string Expected(const std::string& name) { return qmtest::ReadFile(kExpected + name); }

// The saved output, or what the render gives when the saved outputs are updated.
std::string Expect(const std::string& name, const std::string& got) {
    if (Updating()) qmtest::WriteFile(kExpected + name, got);
    return Expected(name);
}

// The text and the JSON of the golden packages, shown under their case name.
TEST(InspectRender, GoldenPackages) {
    const std::pair<const char*, const char*> cases[] = {
        {"bgsound-code2-in", "bgsound-code2/input.irf"},
        {"bgsound-code2-out", "bgsound-code2/expected/tree/audio/input.irf"},
        {"prompt-code1-in", "prompt-code1/voice pack.irf"},
        {"prompt-code1-out", "prompt-code1/expected/tree/audio/voice pack.irf"},
        {"role-code3-in", "role-code3/input.irf"},
        {"role-code3-out", "role-code3/expected/tree/audio/input.irf"},
    };
    for (const auto& [name, file] : cases) {
        InspectReport r = Inspect(kGolden + file);
        r.path = std::string(name) + ".irf";
        const std::string text = RenderInspectText(r), json = RenderInspectJson(r);
        EXPECT_EQ(text, Expect(std::string(name) + ".txt", text)) << name;
        EXPECT_EQ(json, Expect(std::string(name) + ".json", json)) << name;
        if (std::string(name).ends_with("-out")) {
            EXPECT_TRUE(r.problems.empty()) << name;
        }
    }
    // Bytes of the path that are not UTF-8 become U+FFFD in the JSON.
    InspectReport r = Inspect(kGolden + cases[1].second);
    r.path = "bad\xFFpath.irf";
    const std::string json = RenderInspectJson(r);
    EXPECT_EQ(json, Expect("bad-path.json", json));
}

// Its own cross-checks, beyond each reader's findings (tested with the
// readers, and here named by their resource): a set whose texts and records
// differ in number, role frames whose role counts differ. Records past the
// last text are kept apart; segments that overrun their text are cut.
TEST(InspectRender, CrossChecksAndTheirRendering) {
    qmtest::TempDir dir;
    using qmtest::TextIndexBytes;
    qmtest::WriteFile(
        dir / "p.irf",
        qmtest::Package(
            // The first text's one segment is 3 characters long, the text 2.
            {{kPromptIndexId, qmtest::Patched(TextIndexBytes({"ab", "cd"}), 345, 3, 1)},
             {kPromptClipId, qmtest::FillerClips(16, CODING_ALAW, {8, 9, 10})},
             {kRoleIndexId,
              qmtest::RoleIndexBytes({40, 41}, {TextIndexBytes({"x"}), TextIndexBytes({"y"})})},
             {kRoleClipId, qmtest::RoleClipBytes({qmtest::FillerClips(16, CODING_PCM16, {4})})}}));
    InspectReport r = Inspect(dir / "p.irf");
    const std::vector<std::string> problems = {
        "prompt index: 1 texts whose segment lengths do not add up to their length, the first 0",
        "prompt: 2 texts but 3 clip records", "role index has 2 roles, role clips 1"};
    EXPECT_EQ(r.problems, problems);
    ASSERT_EQ(r.sets.size(), 3u);
    EXPECT_EQ(r.sets[0].unindexed.size(), 1u);
    EXPECT_EQ(r.sets[0].unindexed[0].samples, 10u);
    EXPECT_EQ(r.sets[2].name, "role 2");
    EXPECT_EQ(r.sets[2].roleId, 41);
    EXPECT_FALSE(r.sets[2].texts.at(0).hasClip);
    // A first segment that overruns its text in a built package: the second
    // segment is what is left of the text, nothing.
    const std::string built = kGolden + "prompt-code1/expected/tree/audio/voice pack.irf";
    std::string bytes = qmtest::ReadFile(built);
    uint32_t index = 0;
    for (const InspectEntry& e : Inspect(built).entries)
        if (e.id == kPromptIndexId) index = e.offset;
    const uint32_t records = qmtest::U32At(bytes, index + 32);         // bucket 1: two segments
    const uint32_t first = qmtest::U32At(bytes, index + 36) & 0xFFFF;  // its first text
    ASSERT_NE(records, 0u);
    bytes.at(index + records + 1) = static_cast<char>(200);
    qmtest::WriteFile(dir / "cut.irf", bytes);
    const InspectText cut = Inspect(dir / "cut.irf").sets.at(0).texts.at(first);
    ASSERT_EQ(cut.segments.size(), 2u);
    EXPECT_EQ(cut.segments[0], cut.text);
    EXPECT_EQ(cut.segments[1], "");
    EXPECT_TRUE(RenderInspectText(r).ends_with("\nProblems: 3\n  - " + problems[0] + "\n  - " +
                                               problems[1] + "\n  - " + problems[2] + "\n"));
    EXPECT_EQ(nlohmann::json::parse(RenderInspectJson(r))["problems"], problems);
}

}  // namespace
}  // namespace qm
