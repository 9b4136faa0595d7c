#include "cli/report_html.h"

#include <algorithm>
#include <cmath>

#include "driver/build_types.h"
#include "platform/text.h"
#include "resfile/clip_container.h"
#include "resfile/segment.h"

namespace qm::cli {
namespace {

constexpr size_t kBins = 24;
constexpr int kWaveHeight = 32;

const char* ClassName(uint8_t c) {
    switch (c) {
        case SEG_SYMBOL:
            return "symbol";
        case SEG_DIGITS:
            return "digits";
        case SEG_DECIMAL:
            return "decimal";
        case SEG_LETTERS:
            return "letters";
        case SEG_HANZI:
            return "hanzi";
        default:
            return "unknown";
    }
}

std::string SetLabel(const PackageRecord& r) {
    return r.role > 0 ? Format("role %d", r.roleId) : r.set;
}

double Dbfs(int32_t peak) { return peak > 0 ? 20 * std::log10(peak / 32768.0) : -99.0; }

// A numeric cell: its shown text and the value it sorts by.
std::string NumCell(double v, const char* fmt) {
    return "<td class=\"num\" data-v=\"" + Format("%.4f", v) + "\">" + Format(fmt, v) + "</td>";
}

std::string EmptyCell() { return "<td></td>"; }

// The clip's envelope: one vertical stroke per column, in integer units.
std::string Waveform(const ClipMeasure& m) {
    std::string d;
    const int mid = kWaveHeight / 2;
    for (size_t c = 0; c < m.high.size(); ++c) {
        const int top = mid - static_cast<int>(std::lround(m.high[c] * double(mid) / 32768.0));
        int bottom = mid - static_cast<int>(std::lround(m.low[c] * double(mid) / 32768.0));
        if (bottom <= top) bottom = top + 1;
        d += Format("M%zu %dV%d", c, top, bottom);
    }
    return Format("<svg class=\"wave\" viewBox=\"0 0 %zu %d\" width=\"%zu\" height=\"%d\">",
                  kEnvelopeColumns, kWaveHeight, kEnvelopeColumns, kWaveHeight) +
           "<path d=\"" + d + "\"/></svg>";
}

// A histogram of the values as an SVG bar chart with its range below.
std::string Chart(const char* key, const char* title, const std::vector<double>& values,
                  const char* unit) {
    const Histogram h = MakeHistogram(values, kBins);
    const uint32_t top = std::max<uint32_t>(1, *std::max_element(h.counts.begin(), h.counts.end()));
    constexpr int kW = 240, kH = 80, kBar = kW / static_cast<int>(kBins);
    std::string s = Format("<figure class=\"chart\" data-chart=\"%s\" data-values=\"%zu\">", key,
                           values.size());
    s += Format("<figcaption>%s (%zu)</figcaption>", title, values.size());
    s += Format("<svg viewBox=\"0 0 %d %d\" width=\"%d\" height=\"%d\">", kW, kH + 14, kW, kH + 14);
    for (size_t b = 0; b < h.counts.size(); ++b) {
        if (h.counts[b] == 0) continue;
        const int height = std::max(1, static_cast<int>(h.counts[b] * kH / top));
        s += Format("<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\"><title>%u</title></rect>",
                    static_cast<int>(b) * kBar, kH - height, kBar - 1, height, h.counts[b]);
    }
    s += Format("<text x=\"0\" y=\"%d\">%g %s</text>", kH + 12, h.low, unit);
    s += Format("<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%g %s</text>", kW, kH + 12, h.high,
                unit);
    return s + "</svg></figure>";
}

std::string ProblemLine(const Problem& p) {
    std::string where = p.file;
    if (p.line > 0) where += ":" + std::to_string(p.line);
    std::string text = p.message.empty() ? p.reason : p.message + " (" + p.reason + ")";
    return "<li>" + HtmlEscape(where.empty() ? text : where + ": " + text) + "</li>";
}

std::string Summary(const ReportModel& m) {
    const InspectReport& p = m.package;
    std::string s = "<section id=\"summary\"><h1>" + HtmlEscape(p.path) + "</h1>";
    s += Format("<p>%llu bytes, %zu records.</p>", static_cast<unsigned long long>(p.fileSize),
                m.rows.size());
    s += "<table id=\"sets\"><thead><tr><th>Set</th><th>Texts</th><th>Records</th>"
         "<th>Coding</th><th>Rate</th><th>Total duration</th></tr></thead><tbody>";
    for (const InspectSet& set : p.sets) {
        uint64_t ms = 0;
        for (const InspectText& t : set.texts) ms += t.durationMs;
        for (const InspectText& t : set.unindexed) ms += t.durationMs;
        const std::string label =
            set.role > 0 ? Format("role %d (id %d)", set.role, set.roleId) : set.name;
        s += Format("<tr class=\"set\" data-set=\"%s\" data-texts=\"%zu\" data-records=\"%u\">",
                    HtmlEscape(set.name).c_str(), set.texts.size(), set.records);
        s += "<td>" + HtmlEscape(label) + "</td>" +
             Format("<td>%zu</td><td>%u</td>", set.texts.size(), set.records);
        s += set.hasClips ? "<td>" + HtmlEscape(ClipCodingName(set.coding)) + "</td>" +
                                Format("<td>%d Hz</td>", set.rate)
                          : std::string("<td>-</td><td>-</td>");
        s += Format("<td>%.1f s</td></tr>", static_cast<double>(ms) / 1000.0);
    }
    s += "</tbody></table>";
    if (!p.problems.empty()) {
        s += "<h2>Problems of the package</h2><ul class=\"problems\">";
        for (const std::string& x : p.problems) s += "<li>" + HtmlEscape(x) + "</li>";
        s += "</ul>";
    }
    if (m.hasFolder) {
        const ReportFolder& f = m.folder;
        s += "<h2>Folder " + HtmlEscape(f.audio) + " (" + FindBuildType(f.buildType)->option +
             " build)</h2>";
        size_t placed = 0;
        for (const ReportRow& r : m.rows) placed += r.source != nullptr ? 1 : 0;
        s += Format("<p>%zu list lines in the build's order", f.lines);
        if (placed < f.sources.size())
            s += Format("; <span class=\"errors\">%zu of them have no record in the package</span>",
                        f.sources.size() - placed);
        s += ".</p>";
        if (!f.errors.empty()) {
            s += "<p>A build of this folder would be refused:</p><ul class=\"errors\">";
            for (const Problem& e : f.errors) s += ProblemLine(e);
            s += "</ul>";
        }
        if (!f.warnings.empty()) {
            s += "<ul class=\"warnings\">";
            for (const Problem& w : f.warnings) s += ProblemLine(w);
            s += "</ul>";
        }
    }
    std::vector<double> durations, peaks, snrs;
    for (const ReportRow& r : m.rows) {
        if (!r.record.hasClip) continue;
        durations.push_back(r.record.durationMs / 1000.0);
        peaks.push_back(Dbfs(r.measure.peak));
        if (r.hasSnr) snrs.push_back(r.snrDb);
    }
    s += "<div class=\"charts\">" + Chart("duration", "Durations", durations, "s") +
         Chart("peak", "Peak levels", peaks, "dBFS");
    if (!snrs.empty()) s += Chart("snr", "Coding SNR", snrs, "dB");
    s += "</div>";
    if (!snrs.empty()) {
        s += Format(
            "<p>SNR: the decoded clip against the uncoded clip the build makes. Flagged "
            "low-snr: the lowest %.0f%% of each coded set",
            100 * kLowSnrShare);
        if (std::isfinite(m.lowSnrBelowDb))
            s += Format(", and every ratio below %g dB", m.lowSnrBelowDb);
        s += ".</p>";
    }
    return s + "</section>";
}

std::string Flags(const ReportRow& r) {
    std::vector<const char*> f;
    if (r.measure.clipped) f.push_back("clipped");
    if (r.measure.silent && r.record.hasClip) f.push_back("silent");
    if (r.source != nullptr && !r.source->warnings.empty()) f.push_back("warning");
    if (r.lowSnr) f.push_back("low-snr");
    if (r.mismatch) f.push_back("mismatch");
    if (r.file.empty()) f.push_back("error");
    std::string s;
    for (const char* x : f) s += (s.empty() ? "" : " ") + std::string(x);
    return s;
}

std::string Row(const ReportModel& m, const ReportRow& r) {
    const PackageRecord& rec = r.record;
    const std::string flags = Flags(r);
    std::string s = "<tr data-flags=\"" + flags + "\"";
    if (r.source != nullptr)
        s += Format(" data-source=\"%s:%zu\"", HtmlEscape(r.source->listFile).c_str(),
                    r.source->entry.line);
    s += ">";
    s += Format("<td class=\"num\" data-v=\"%u\">%u</td>", rec.number, rec.number);
    s += "<td>" + HtmlEscape(SetLabel(rec)) + "</td>";
    s += "<td class=\"text\">" + HtmlEscape(rec.text);
    if (r.mismatch && r.source != nullptr)
        s += "<div class=\"folder-text\">folder: " + HtmlEscape(r.source->folderText) + "</div>";
    s += "</td><td>";
    for (size_t k = 0; k < rec.classes.size(); ++k) {
        const std::string part = k < rec.segments.size() ? rec.segments[k] : std::string();
        s += Format("<span class=\"seg c%u\" title=\"%s\">", rec.classes[k],
                    ClassName(rec.classes[k])) +
             HtmlEscape(part) + "</span>";
    }
    s += "</td>";
    if (rec.hasClip) {
        s += NumCell(rec.durationMs / 1000.0, "%.2f") + NumCell(Dbfs(r.measure.peak), "%.1f") +
             NumCell(r.measure.rmsDb, "%.1f");
        s += "<td>" + Waveform(r.measure) + "</td>";
    } else {
        s += EmptyCell() + EmptyCell() + EmptyCell() + EmptyCell();
    }
    s += r.file.empty() ? "<td class=\"error\">" + HtmlEscape(r.error) + "</td>"
                        : "<td><a class=\"play\" href=\"" + HtmlEscape(r.file) +
                              "\" title=\"Play\">&#9654;</a></td>";
    if (m.hasFolder) {
        if (r.source != nullptr) {
            const PromptEntry& e = r.source->entry;
            s += "<td>" + HtmlEscape(Cp936ToUtf8(e.listedName)) + "</td>";
            s += Format("<td class=\"num\" data-v=\"%zu\">%zu</td>", e.line, e.line);
            s += Format("<td class=\"num\" data-v=\"%d\">%d</td>", e.sampleRate, e.sampleRate);
        } else {
            s += EmptyCell() + EmptyCell() + EmptyCell();
        }
        if (r.prepared && r.source != nullptr && r.source->entry.sampleRate > 0) {
            s += NumCell(static_cast<double>(r.sourceSamples) / r.source->entry.sampleRate, "%.2f");
            s += NumCell(20 * std::log10(r.gain), "%+.1f");
        } else {
            s += r.prepareError.empty()
                     ? EmptyCell() + EmptyCell()
                     : "<td colspan=\"2\" class=\"error\">" + HtmlEscape(r.prepareError) + "</td>";
        }
        s += r.hasSnr ? NumCell(r.snrDb, "%.1f") : EmptyCell();
        s += "<td class=\"warnings\">";
        if (r.source != nullptr)
            for (const std::string& w : r.source->warnings) s += "<div>" + HtmlEscape(w) + "</div>";
        s += "</td>";
    }
    s += "<td>";
    for (size_t a = 0, b; a < flags.size(); a = b + 1) {
        b = flags.find(' ', a);
        if (b == std::string::npos) b = flags.size();
        const std::string f = flags.substr(a, b - a);
        s += "<span class=\"flag f-" + f + "\">" + f + "</span>";
    }
    return s + "</td></tr>\n";
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string RenderReportHtml(const ReportModel& m) {
    std::string s =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>Report: " +
        HtmlEscape(m.package.path) + "</title>\n<link rel=\"stylesheet\" href=\"" +
        kReportStyleName + "\">\n<script src=\"" + kReportScriptName +
        "\" defer></script>\n</head>\n<body>\n<pre id=\"script-errors\" hidden></pre>\n";
    s += Summary(m);
    s += "\n<div id=\"controls\"><input id=\"filter\" type=\"search\" placeholder=\"Filter by "
         "text\">"
         " <select id=\"flag\"><option value=\"\">every row</option>"
         "<option value=\"clipped\">clipped</option><option value=\"silent\">silent</option>"
         "<option value=\"warning\">warning</option><option value=\"low-snr\">lowest SNR</option>"
         "<option value=\"mismatch\">mismatch</option><option value=\"error\">no WAV</option>"
         "</select> <span id=\"shown\"></span>";
    if (m.hasFolder) s += " <a href=\"#sort=snr\">lowest SNR first</a>";
    s += "</div>\n";
    // Each column's key names it in the page's address: #sort=snr, #sort=-peak.
    struct Column {
        const char* key;
        const char* title;
        const char* type;  // "num", "text" or "" (not sortable)
    };
    static const Column kColumns[] = {{"record", "#", "num"},
                                      {"set", "Set", "text"},
                                      {"text", "Text", "text"},
                                      {"segments", "Segments", "text"},
                                      {"duration", "Duration (s)", "num"},
                                      {"peak", "Peak (dBFS)", "num"},
                                      {"rms", "RMS (dBFS)", "num"},
                                      {"wave", "Waveform", ""},
                                      {"play", "Play", ""}};
    static const Column kFolderColumns[] = {
        {"recording", "Recording", "text"}, {"line", "Line", "num"},
        {"rate", "Rate (Hz)", "num"},       {"length", "Length (s)", "num"},
        {"gain", "Gain (dB)", "num"},       {"snr", "SNR (dB)", "num"},
        {"warnings", "Warnings", "text"}};
    const auto head = [](const Column& c) {
        return Format("<th data-key=\"%s\" data-type=\"%s\"%s>%s</th>", c.key, c.type,
                      *c.type ? "" : " class=\"nosort\"", c.title);
    };
    s += m.hasFolder ? "<table id=\"records\" class=\"folder\"><thead><tr>"
                     : "<table id=\"records\"><thead><tr>";
    for (const Column& c : kColumns) s += head(c);
    if (m.hasFolder)
        for (const Column& c : kFolderColumns) s += head(c);
    s += head({"flags", "Flags", "text"});
    s += "</tr></thead>\n<tbody>\n";
    for (const ReportRow& r : m.rows) s += Row(m, r);
    return s + "</tbody></table>\n</body></html>\n";
}

}  // namespace qm::cli
