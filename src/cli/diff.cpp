// `diff`: what changed between two packages, set by set: texts added and
// removed, texts whose decoded audio or whose coding or rate changed, and
// the other resources that differ.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/inspect_render.h"
#include "cli/output.h"
#include "driver/package_diff.h"
#include "platform/text.h"

namespace qm::cli {
namespace {

struct DiffArgs {
    std::string oldPath;
    std::string newPath;
    bool json = false;
    int jobs = 0;
};

std::string Label(const DiffItem& item) {
    return item.hasText
               ? EscapeControls(item.text)
               : Format("record %u (no text)", item.newRecord ? item.newRecord : item.oldRecord);
}

std::string RenderText(const PackageDiff& d) {
    std::string out;
    for (const SetDiff& s : d.sets) {
        out += s.name;
        if (s.role) out += Format(" (id %d)", s.roleId);
        out +=
            Format(": %zu added, %zu removed, %zu audio changed, %zu coding or rate changed",
                   s.added.size(), s.removed.size(), s.audioChanged.size(), s.codingChanged.size());
        if (!s.errors.empty()) out += Format(", %zu not decoded", s.errors.size());
        out += "\n";
        for (const DiffItem& i : s.added) out += "  + " + Label(i) + "\n";
        for (const DiffItem& i : s.removed) out += "  - " + Label(i) + "\n";
        for (const DiffItem& i : s.audioChanged) out += "  ~ " + Label(i) + "\n";
        for (const DiffItem& i : s.codingChanged) out += "  c " + Label(i) + ": " + i.detail + "\n";
        for (const DiffItem& i : s.errors) out += "  ! " + Label(i) + ": " + i.detail + "\n";
    }
    for (const ResourceDiff& r : d.resources) out += "resource " + r.id + ": " + r.change + "\n";
    out += d.Same() ? "The packages hold the same texts and audio.\n" : "The packages differ.\n";
    return out;
}

std::string RenderJson(const DiffArgs& a, const PackageDiff& d) {
    using Json = nlohmann::ordered_json;
    auto items = [](const std::vector<DiffItem>& list, bool detail) {
        Json arr = Json::array();
        for (const DiffItem& i : list) {
            Json j;
            j["text"] = i.hasText ? Json(i.text) : Json(nullptr);
            j["oldRecord"] = i.oldRecord;
            j["newRecord"] = i.newRecord;
            if (detail) j["detail"] = i.detail;
            arr.push_back(std::move(j));
        }
        return arr;
    };
    Json j;
    j["old"] = a.oldPath;
    j["new"] = a.newPath;
    j["same"] = d.Same();
    Json sets = Json::array();
    for (const SetDiff& s : d.sets) {
        Json js;
        js["name"] = s.name;
        js["roleId"] = s.role ? Json(s.roleId) : Json(nullptr);
        js["added"] = items(s.added, false);
        js["removed"] = items(s.removed, false);
        js["audioChanged"] = items(s.audioChanged, false);
        js["codingChanged"] = items(s.codingChanged, true);
        js["errors"] = items(s.errors, true);
        sets.push_back(std::move(js));
    }
    j["sets"] = std::move(sets);
    Json res = Json::array();
    for (const ResourceDiff& r : d.resources) res.push_back({{"id", r.id}, {"change", r.change}});
    j["resources"] = std::move(res);
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

int RunDiff(const DiffArgs& a) {
    InspectReport o, n;
    std::string err;
    if (!InspectPackage(a.oldPath, o, err) || !InspectPackage(a.newPath, n, err)) {
        Fail(err);
        return kExitUsage;
    }
    const PackageDiff d = ComparePackages(a.oldPath, o, a.newPath, n, a.jobs);
    const std::string text = a.json ? RenderJson(a, d) : RenderText(d);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return d.Same() ? kExitOk : kExitFailed;
}

}  // namespace

Command AddDiffCommand(CLI::App& tool) {
    auto args = std::make_shared<DiffArgs>();
    CLI::App* cmd = tool.add_subcommand("diff", "Tell what changed between two packages");
    cmd->add_option("OLD", args->oldPath, "Old package")->required();
    cmd->add_option("NEW", args->newPath, "New package")->required();
    cmd->add_flag("--json", args->json, "Write JSON");
    cmd->add_option("--jobs", args->jobs, "Decoding threads (default: one per core)")
        ->check(CLI::Range(1, 64));
    return {cmd, [args] { return RunDiff(*args); }};
}

}  // namespace qm::cli
