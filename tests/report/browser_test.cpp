// The report page opened from the file system by headless Chromium: the
// rendered DOM holds every row, player and chart, the page's script ran
// without an error, and the address's order sorts the rows.
#include <gtest/gtest.h>

#include <cstdlib>

#include "e2e/fixture.h"
#include "report/page.h"

using namespace qmtest;

namespace {

// The DOM of the page at url once its scripts have run.
std::string DumpDom(const std::string& url, const TempDir& scratch) {
    const std::string dom = scratch / "dom.html";
    const std::string cmd =
        "timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-dev-shm-usage "
        "--no-first-run --user-data-dir='" +
        scratch / "profile" + "' --dump-dom '" + url + "' > '" + dom + "' 2> '" +
        scratch / "stderr" + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << ReadFile(scratch / "stderr");
    return ReadFile(dom);
}

TEST(ReportBrowser, RendersRowsPlayersChartsAndSorts) {
    // The test machine installs Chromium: without it this fails, never skips.
    ASSERT_EQ(std::system("command -v chromium > /dev/null"), 0)
        << "chromium is not installed (make deps installs it)";
    Fixture f(16000);
    WriteFile(f.audio + "/a8.wav", WavBytes(ToneSamples(4000, 50.0, 8000), 8000));
    ASSERT_EQ(f.Build("prompt", "Code2").exit, 0);
    const std::string out = f.dir / "rep";
    const CliResult r = RunCli(
        {"report", f.audio + "/in.irf", "--out", out, "--audio", f.audio, "--type", "prompt"});
    ASSERT_EQ(r.exit, 0) << r.err;
    const Page written = Page::Read(out);

    TempDir scratch;
    const Page page =
        Page::Parse(DumpDom("file://" + out + "/index.html#sort=snr&flag=warning", scratch));
    const size_t body = page.html.find("<body");
    ASSERT_NE(body, std::string::npos);
    EXPECT_EQ(Page::Attribute(page.html, body, "data-ready"), "1") << page.html.substr(0, 2000);
    EXPECT_EQ(Page::Attribute(page.html, body, "data-error"), "");
    EXPECT_NE(page.html.find("<pre id=\"script-errors\" hidden=\"\"></pre>"), std::string::npos);
    EXPECT_EQ(page.rows.size(), kPrompts.size());
    EXPECT_EQ(page.players, kPrompts.size());
    EXPECT_EQ(page.charts, written.charts);
    // Lowest SNR first: the flagged row leads, the ratios rise.
    ASSERT_FALSE(page.rows.empty());
    EXPECT_TRUE(page.rows[0].Has("low-snr"));
    std::vector<double> snr;
    // The SNR is the numeric cell just before the warnings.
    const std::string warnings = "<td class=\"warnings\">";
    for (const Page::Row& row : page.rows) {
        const size_t w = row.html.find(warnings);
        const size_t cell = row.html.rfind("<td", w - 1);
        if (w == std::string::npos || cell == std::string::npos) continue;
        const std::string v = Page::Attribute(row.html, cell, "data-v");
        if (!v.empty()) snr.push_back(std::stod(v));
    }
    EXPECT_EQ(snr.size(), kPrompts.size());
    EXPECT_TRUE(std::is_sorted(snr.begin(), snr.end()));
    // The flag filter hides the rows without a warning, and only them.
    size_t warned = 0;
    for (const Page::Row& row : written.rows) warned += row.Has("warning");
    EXPECT_GT(warned, 0u);
    EXPECT_NE(
        page.html.find(std::to_string(warned) + " of " + std::to_string(kPrompts.size()) + " rows"),
        std::string::npos);
    for (const Page::Row& row : page.rows)
        EXPECT_EQ(row.html.find(" hidden") == std::string::npos, row.Has("warning")) << row.source;
}

}  // namespace
