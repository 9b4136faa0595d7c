// What a report page shows, read from its HTML (as written, or as a browser
// rendered it): the summary's sets, the rows with their flags, the players
// and the charts.
#pragma once

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/testutil.h"

namespace qmtest {

struct Page {
    struct Row {
        std::string flags;   // space-separated
        std::string source;  // "WaveList.txt:3", "" without a list line
        std::string html;
        bool Has(const std::string& flag) const {
            return (" " + flags + " ").find(" " + flag + " ") != std::string::npos;
        }
    };
    std::string html;
    std::map<std::string, std::pair<size_t, size_t>> sets;  // name -> texts, records
    std::vector<Row> rows;
    size_t players = 0;  // play links on a WAV
    std::multiset<std::string> charts;

    static Page Parse(const std::string& html) {
        Page p;
        p.html = html;
        const std::regex set(
            R"re(<tr class="set" data-set="([^"]*)" data-texts="(\d+)" data-records="(\d+)">)re");
        for (auto it = std::sregex_iterator(html.begin(), html.end(), set);
             it != std::sregex_iterator(); ++it)
            p.sets[(*it)[1]] = {std::stoul((*it)[2]), std::stoul((*it)[3])};
        const std::regex row(R"re(<tr data-flags="([^"]*)"(?: data-source="([^"]*)")?>)re");
        size_t at = 0;
        std::smatch m;
        std::string rest;
        while ((at = html.find("<tr data-flags=", at)) != std::string::npos) {
            const size_t end = html.find("</tr>", at);
            Row r;
            r.html = html.substr(at, end - at);
            if (std::regex_search(r.html, m, row)) {
                r.flags = m[1];
                r.source = m[2];
            }
            p.rows.push_back(r);
            at = end;
        }
        for (at = 0; (at = html.find("<a class=\"play\" href=\"", at)) != std::string::npos; ++at)
            ++p.players;
        const std::regex chart(R"re(<figure class="chart" data-chart="([^"]*)")re");
        for (auto it = std::sregex_iterator(html.begin(), html.end(), chart);
             it != std::sregex_iterator(); ++it)
            p.charts.insert((*it)[1]);
        return p;
    }
    static Page Read(const std::string& folder) { return Parse(ReadFile(folder + "/index.html")); }
};

}  // namespace qmtest
