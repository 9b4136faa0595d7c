// The inspector and its renderings (src/cli/inspect_render) against the saved
// output of the golden packages and of damaged copies of them, which together
// hold every pairing and every finding.
#include "resfile/inspect.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

uint64_t Fnv1a(const std::string& s) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : s) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

// Damaged copies of the golden packages, one per line of damaged.tsv: the
// package, its damage (t:LENGTH cuts it; p:OFFSET:HEX,... overwrites bytes),
// and the hashes of both renderings or the refusal. Together they give every
// finding the inspector knows.
TEST(InspectRender, DamagedPackages) {
    qmtest::TempDir dir;
    std::ifstream list(kExpected + "damaged.tsv");
    std::string line, updated;
    int cases = 0;
    while (std::getline(list, line)) {
        ++cases;
        std::istringstream fields(line);
        std::string package, damage, outcome;
        std::getline(fields, package, '\t');
        std::getline(fields, damage, '\t');
        std::getline(fields, outcome);
        std::string bytes = qmtest::ReadFile(kGolden + package);
        if (damage.starts_with("t:")) {
            bytes.resize(std::stoul(damage.substr(2)));
        } else {
            std::istringstream patches(damage.substr(2));
            for (std::string patch; std::getline(patches, patch, ',');) {
                const size_t colon = patch.find(':');
                const size_t at = std::stoul(patch.substr(0, colon));
                for (size_t i = colon + 1; i + 1 < patch.size(); i += 2)
                    bytes.at(at + (i - colon - 1) / 2) =
                        static_cast<char>(std::stoi(patch.substr(i, 2), nullptr, 16));
            }
        }
        qmtest::WriteFile(dir / "damaged.irf", bytes);
        InspectReport r;
        std::string err;
        std::string got;
        if (InspectPackage(dir / "damaged.irf", r, err)) {
            r.path = "damaged.irf";
            const std::string text = RenderInspectText(r);
            char hashes[40];
            std::snprintf(hashes, sizeof hashes, "ok %016llx %016llx",
                          static_cast<unsigned long long>(Fnv1a(text)),
                          static_cast<unsigned long long>(Fnv1a(RenderInspectJson(r))));
            got = hashes;
            if (!Updating()) {
                EXPECT_EQ(got, outcome) << line << "\n" << text;
            }
        } else {
            got = "refused " + err;
            EXPECT_EQ(got, outcome) << line;
        }
        updated += package + "\t" + damage + "\t" + got + "\n";
    }
    if (Updating()) qmtest::WriteFile(kExpected + "damaged.tsv", updated);
    EXPECT_EQ(cases, 44);
}

}  // namespace
}  // namespace qm
