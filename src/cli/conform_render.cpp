#include "cli/conform_render.h"

#include <nlohmann/json.hpp>

#include "platform/text.h"

namespace qm {
namespace {

std::string Join(const std::vector<std::string>& parts, const char* sep) {
    std::string s;
    for (const std::string& p : parts) s += (s.empty() ? "" : sep) + p;
    return s;
}

std::string ListLine(const ConformedList& l) {
    if (!l.ok) return Format("%s: NOT CONVERTED: %s", l.path.c_str(), l.error.c_str());
    std::string s =
        Format("%s: %s -> code page 936, %zu lines", l.path.c_str(), l.encoding.c_str(), l.lines);
    if (l.renamed) s += Format(", %zu names now end in .wav", l.renamed);
    if (l.droppedBlank) s += Format(", %zu blank lines at the end dropped", l.droppedBlank);
    return s;
}

std::string RecordingLine(const ConformedRecording& r) {
    std::string s = r.source;
    if (!r.output.empty() && r.output != r.source) s += " -> " + r.output;
    if (!r.ok) {
        return s +
               Format(": NOT CONFORMED (%s line %zu): %s", r.list.c_str(), r.line, r.error.c_str());
    }
    if (r.raw) return s + ": raw PCM, copied as it is";
    if (r.changes.empty()) {
        return s +
               Format(": unchanged (%s, 16-bit, mono, %d Hz)", r.in.container.c_str(), r.outRate);
    }
    return s + ": " + Join(r.changes, ", ");
}

nlohmann::json OrNull(const std::string& s) {
    return s.empty() ? nlohmann::json() : nlohmann::json(s);
}
nlohmann::json OrNull(int64_t v) { return v == 0 ? nlohmann::json() : nlohmann::json(v); }

}  // namespace

std::string RenderConformText(const ConformReport& report) {
    std::string out;
    for (const ConformedList& l : report.lists) out += ListLine(l) + "\n";
    for (const ConformedRecording& r : report.recordings) out += RecordingLine(r) + "\n";
    for (const ConformProblem& p : report.problems) {
        out += Format("%s: %s\n", p.where.c_str(), p.message.c_str());
    }
    const ConformTotals t = report.Totals();
    out += Format(
        "Total: %zu recordings, %zu conformed (%zu changed, %zu unchanged), %zu not "
        "conformed, %llu samples clipped; %zu list files, %zu not converted",
        t.recordings, t.conformed, t.changed, t.conformed - t.changed, t.failed,
        static_cast<unsigned long long>(t.clipped), t.lists, t.listsFailed);
    if (t.problems) out += Format("; %zu other problems", t.problems);
    return out + "\n";
}

std::string RenderConformFailures(const ConformReport& report) {
    std::string out;
    for (const ConformedList& l : report.lists) {
        if (!l.ok) out += Format("  %s: %s\n", l.path.c_str(), l.error.c_str());
    }
    for (const ConformedRecording& r : report.recordings) {
        if (!r.ok) {
            out += Format("  %s (%s line %zu): %s\n", r.source.c_str(), r.list.c_str(), r.line,
                          r.error.c_str());
        }
    }
    for (const ConformProblem& p : report.problems) {
        out += Format("  %s: %s\n", p.where.c_str(), p.message.c_str());
    }
    return out;
}

std::string RenderConformJson(const ConformReport& report, const ConformOptions& options) {
    using nlohmann::json;
    static const char* const kEncodings[] = {"auto", "gbk", "utf-8", "utf-16"};
    json j;
    j["input"] = options.inDir;
    j["output"] = options.outDir;
    j["rate"] = OrNull(options.rate);
    j["lists_encoding"] = kEncodings[static_cast<int>(options.lists)];
    j["lists"] = json::array();
    for (const ConformedList& l : report.lists) {
        j["lists"].push_back({{"path", l.path},
                              {"ok", l.ok},
                              {"error", OrNull(l.error)},
                              {"encoding", OrNull(l.encoding)},
                              {"lines", l.lines},
                              {"renamed_lines", l.renamed},
                              {"dropped_blank_lines", l.droppedBlank}});
    }
    j["recordings"] = json::array();
    for (const ConformedRecording& r : report.recordings) {
        json in = {{"container", OrNull(r.in.container)}, {"plain_header", r.in.plainHeader},
                   {"format", OrNull(r.in.format)},       {"channels", r.in.channels},
                   {"rate", OrNull(r.in.rate)},           {"frames", r.in.frames}};
        j["recordings"].push_back({{"list", r.list},
                                   {"line", r.line},
                                   {"source", r.source},
                                   {"output", OrNull(r.output)},
                                   {"ok", r.ok},
                                   {"error", OrNull(r.error)},
                                   {"raw", r.raw},
                                   {"repeat_of_line", OrNull(static_cast<int64_t>(r.sameAsLine))},
                                   {"input", in},
                                   {"output_rate", OrNull(r.outRate)},
                                   {"output_samples", r.outSamples},
                                   {"clipped", r.clipped},
                                   {"changes", r.changes}});
    }
    j["problems"] = json::array();
    for (const ConformProblem& p : report.problems) {
        j["problems"].push_back({{"where", p.where}, {"message", p.message}});
    }
    const ConformTotals t = report.Totals();
    j["total"] = {{"recordings", t.recordings}, {"conformed", t.conformed},
                  {"changed", t.changed},       {"unchanged", t.conformed - t.changed},
                  {"failed", t.failed},         {"clipped", t.clipped},
                  {"lists", t.lists},           {"lists_failed", t.listsFailed},
                  {"problems", t.problems}};
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace qm
