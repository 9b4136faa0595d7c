#include "cli/inspect_render.h"

#include <nlohmann/json.hpp>

#include "platform/text.h"
#include "resfile/clip_container.h"
#include "resfile/package.h"

namespace qm {

std::string EscapeControls(const std::string& text) {
    std::string out;
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (u < 0x20 || u == 0x7F) {
            out += Format("\\x%02X", u);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

namespace {

unsigned long long ULL(uint64_t v) { return static_cast<unsigned long long>(v); }

// Seconds with three decimals from milliseconds, without floating point.
std::string Seconds(uint32_t ms) { return Format("%u.%03u", ms / 1000, ms % 1000); }

}  // namespace

std::string RenderInspectText(const InspectReport& r) {
    std::string out;
    out += "Package: " + r.path + "\n";
    out += Format("File size: %llu bytes, data end %u, %zu entries\n",
                  static_cast<unsigned long long>(r.fileSize), r.dataEnd, r.entries.size());
    out += "\nDirectory:\n";
    out += Format("  %3s  %-38s  %10s  %10s  %s\n", "#", "identifier", "offset", "size", "name");
    for (size_t k = 0; k < r.entries.size(); ++k) {
        const InspectEntry& e = r.entries[k];
        out += Format("  %3zu  %-38s  %10u  %10u  %s\n", k, ResourceIdText(e.id).c_str(), e.offset,
                      e.size, e.name.empty() ? "-" : e.name.c_str());
    }
    if (r.roleIndex.present) {
        out += Format("\nRole index: %u roles, total length %u\n", r.roleIndex.roles,
                      r.roleIndex.totalLength);
    }
    if (r.roleClips.present) {
        out += Format("Role clips: %u roles, total length %u, rate byte %u, coding %u\n",
                      r.roleClips.roles, r.roleClips.totalLength, r.roleClips.rateByte,
                      r.roleClips.coding);
    }
    for (const InspectSet& s : r.sets) {
        out += "\n" + s.name;
        if (s.role > 0) out += Format(" (id %d)", s.roleId);
        out += ":";
        if (s.hasIndex) {
            out += Format(" %zu texts;", s.texts.size());
        } else {
            out += " no text index;";
        }
        if (s.hasClips) {
            out += Format(" clips at %d Hz (rate byte %u), coding %u %s, %u records\n", s.rate,
                          s.rateByte, s.coding, ClipCodingName(s.coding).c_str(), s.records);
        } else {
            out += " no clips\n";
        }
        for (const InspectText& t : s.texts) {
            std::string duration = t.hasClip ? Seconds(t.durationMs) + " s" : "-";
            std::string offset = t.hasClip ? Format("%llu", ULL(t.offset)) : "-";
            std::string length = t.hasClip ? Format("%llu", ULL(t.length)) : "-";
            out += Format("  %5u  %9s  %10s  %8s  %s\n", t.number, duration.c_str(), offset.c_str(),
                          length.c_str(), EscapeControls(t.text).c_str());
        }
    }
    if (r.problems.empty()) {
        out += "\nProblems: none\n";
    } else {
        out += Format("\nProblems: %zu\n", r.problems.size());
        for (const std::string& p : r.problems) out += "  - " + p + "\n";
    }
    return out;
}

std::string RenderInspectJson(const InspectReport& r) {
    using Json = nlohmann::ordered_json;
    Json j;
    j["path"] = r.path;
    j["fileSize"] = r.fileSize;
    j["dataEnd"] = r.dataEnd;
    Json entries = Json::array();
    for (const InspectEntry& e : r.entries) {
        Json je;
        je["id"] = ResourceIdText(e.id);
        je["name"] = e.name.empty() ? Json(nullptr) : Json(e.name);
        je["offset"] = e.offset;
        je["size"] = e.size;
        entries.push_back(std::move(je));
    }
    j["entries"] = std::move(entries);
    auto frame = [](const InspectRoleFrame& f, bool clips) {
        if (!f.present) return Json(nullptr);
        Json jf;
        jf["roles"] = f.roles;
        jf["totalLength"] = f.totalLength;
        if (clips) {
            jf["rateByte"] = f.rateByte;
            jf["coding"] = f.coding;
        }
        return jf;
    };
    j["roleIndex"] = frame(r.roleIndex, false);
    j["roleClips"] = frame(r.roleClips, true);
    Json sets = Json::array();
    for (const InspectSet& s : r.sets) {
        Json js;
        js["name"] = s.name;
        js["role"] = s.role > 0 ? Json(s.role) : Json(nullptr);
        js["roleId"] = s.role > 0 ? Json(s.roleId) : Json(nullptr);
        if (s.hasClips) {
            Json jc;
            jc["rate"] = s.rate;
            jc["rateByte"] = s.rateByte;
            jc["coding"] = s.coding;
            jc["codingName"] = ClipCodingName(s.coding);
            jc["records"] = s.records;
            js["clips"] = std::move(jc);
        } else {
            js["clips"] = nullptr;
        }
        if (s.hasIndex) {
            Json texts = Json::array();
            for (const InspectText& t : s.texts) {
                Json jt;
                jt["number"] = t.number;
                jt["text"] = t.text;
                jt["samples"] = t.hasClip ? Json(t.samples) : Json(nullptr);
                jt["durationMs"] = t.hasClip ? Json(t.durationMs) : Json(nullptr);
                jt["offset"] = t.hasClip ? Json(t.offset) : Json(nullptr);
                jt["length"] = t.hasClip ? Json(t.length) : Json(nullptr);
                texts.push_back(std::move(jt));
            }
            js["texts"] = std::move(texts);
        } else {
            js["texts"] = nullptr;
        }
        sets.push_back(std::move(js));
    }
    j["sets"] = std::move(sets);
    j["problems"] = r.problems;
    // The path may hold bytes that are not UTF-8; replace them rather than fail.
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace qm
