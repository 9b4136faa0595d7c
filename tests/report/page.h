// What a report page shows, read from its HTML (as written, or as a browser
// rendered it): the summary's sets, the rows with their flags, the players
// and the charts.
#pragma once

#include <map>
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

    // The value of attribute name in the tag that starts at `at` ("" when absent).
    static std::string Attribute(const std::string& html, size_t at, const std::string& name) {
        const size_t end = html.find('>', at);
        const size_t k = html.find(" " + name + "=\"", at);
        if (k == std::string::npos || k > end) return "";
        const size_t from = k + name.size() + 3;
        return html.substr(from, html.find('"', from) - from);
    }

    static Page Parse(const std::string& html) {
        Page p;
        p.html = html;
        const std::string set = "<tr class=\"set\"";
        for (size_t at = 0; (at = html.find(set, at)) != std::string::npos; ++at)
            p.sets[Attribute(html, at, "data-set")] = {
                std::stoul(Attribute(html, at, "data-texts")),
                std::stoul(Attribute(html, at, "data-records"))};
        for (size_t at = 0; (at = html.find("<tr data-flags=", at)) != std::string::npos;) {
            const size_t end = html.find("</tr>", at);
            p.rows.push_back({Attribute(html, at, "data-flags"), Attribute(html, at, "data-source"),
                              html.substr(at, end - at)});
            at = end;
        }
        for (size_t at = 0; (at = html.find("<a class=\"play\" href=\"", at)) != std::string::npos;
             ++at)
            ++p.players;
        const std::string chart = "<figure class=\"chart\"";
        for (size_t at = 0; (at = html.find(chart, at)) != std::string::npos; ++at)
            p.charts.insert(Attribute(html, at, "data-chart"));
        return p;
    }
    static Page Read(const std::string& folder) { return Parse(ReadFile(folder + "/index.html")); }
};

}  // namespace qmtest
