// `diff`: what changed between two packages, set by set: texts added and
// removed, texts whose decoded audio or whose coding or rate changed, and
// the other resources that differ.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/inspect_render.h"
#include "cli/output.h"
#include "driver/package_records.h"
#include "platform/file.h"
#include "platform/text.h"
#include "resfile/clip_container.h"
#include "resfile/package.h"

namespace qm::cli {
namespace {

struct DiffArgs {
    std::string oldPath;
    std::string newPath;
    bool json = false;
    int jobs = 0;
};

// A text of a set as the comparison names it: its text (or, for a record
// without a text, its number) and the record numbers on each side.
struct DiffItem {
    bool hasText = true;
    std::string text;
    uint32_t oldRecord = 0;
    uint32_t newRecord = 0;
    std::string detail;  // coding change or error
};

struct SetDiff {
    std::string name;  // "prompt", "bgsound", "role 1", ...
    int32_t roleId = 0;
    bool role = false;
    std::vector<DiffItem> added, removed, audioChanged, codingChanged, errors;
    bool Same() const {
        return added.empty() && removed.empty() && audioChanged.empty() && errors.empty();
    }
};

struct ResourceDiff {
    std::string id;
    std::string change;  // "added", "removed", "changed"
};

struct PackageDiff {
    std::vector<SetDiff> sets;
    std::vector<ResourceDiff> resources;
    bool Same() const {
        for (const SetDiff& s : sets)
            if (!s.Same()) return false;
        return resources.empty();
    }
};

// The key of a set: roles are matched by identifier (and, when identifiers
// repeat, by their order among the roles with that identifier).
using SetKey = std::pair<int32_t, std::string>;  // (role id, set name or occurrence)
// The key of a record: its text and its occurrence among equal texts; a
// record without a text by its number.
using RecordKey = std::pair<std::string, uint32_t>;

struct SetRecords {
    std::string name;
    bool role = false;
    int32_t roleId = 0;
    std::map<RecordKey, const PackageRecord*> records;
};

std::vector<std::pair<SetKey, SetRecords>> Group(const std::vector<PackageRecord>& records) {
    std::vector<std::pair<SetKey, SetRecords>> sets;
    std::map<int32_t, int> roleSeen;
    std::map<std::string, uint32_t> textSeen;
    int32_t lastRole = -1;
    std::string lastSet;
    for (const PackageRecord& r : records) {
        if (sets.empty() || r.set != lastSet || r.role != lastRole) {
            lastSet = r.set;
            lastRole = r.role;
            textSeen.clear();
            SetRecords s;
            s.role = r.role > 0;
            s.roleId = r.roleId;
            s.name = s.role ? Format("role %d", r.role) : r.set;
            SetKey key = s.role ? SetKey{r.roleId, Format("role #%d", roleSeen[r.roleId]++)}
                                : SetKey{0, r.set};
            sets.emplace_back(key, std::move(s));
        }
        RecordKey key =
            r.hasText ? RecordKey{r.text, textSeen[r.text]++} : RecordKey{"\x01record", r.number};
        sets.back().second.records.emplace(key, &r);
    }
    return sets;
}

DiffItem Item(const RecordKey& key, const PackageRecord* o, const PackageRecord* n) {
    DiffItem item;
    const PackageRecord* any = n ? n : o;
    item.hasText = any->hasText;
    item.text = any->hasText ? key.first : std::string();
    if (o) item.oldRecord = o->number;
    if (n) item.newRecord = n->number;
    return item;
}

std::string CodingText(const PackageRecord& r) {
    return Format("%s %d Hz", ClipCodingName(r.coding).c_str(), r.rate);
}

// Records present on both sides, to be compared on decoded samples.
struct Pair {
    SetDiff* set;
    RecordKey key;
    const PackageRecord* o;
    const PackageRecord* n;
    bool changed = false;
    std::string error;
};

void CompareAudio(const DiffArgs& a, std::vector<Pair>& pairs) {
    ForEachIndex(pairs.size(), a.jobs, [&](size_t i) {
        Pair& p = pairs[i];
        // A text without a record on one side only has lost or gained its audio.
        if (!p.o->hasClip || !p.n->hasClip) {
            p.changed = p.o->hasClip != p.n->hasClip;
            return;
        }
        File fo, fn;
        std::vector<int16_t> so, sn;
        std::string eo, en;
        if (!fo.Open(a.oldPath, "rb") || !fn.Open(a.newPath, "rb")) {
            p.error = "the packages cannot be opened";
            return;
        }
        const bool okO = DecodeRecord(fo, *p.o, so, eo);
        const bool okN = DecodeRecord(fn, *p.n, sn, en);
        if (!okO || !okN) {
            p.error = !okO ? "old: " + eo : "";
            if (!okN) p.error += (p.error.empty() ? "new: " : "; new: ") + en;
            return;
        }
        p.changed = so != sn || p.o->rate != p.n->rate;
    });
}

// The bytes of a resource, read from the open package.
bool ResourceBytes(File& f, const InspectEntry& e, std::string& out) {
    out.assign(e.size, '\0');
    return f.Seek(e.offset) && f.ReadExact(out.data(), out.size());
}

void CompareResources(const DiffArgs& a, const InspectReport& o, const InspectReport& n,
                      PackageDiff& d) {
    // The first entry of each identifier the tool does not own, as readers take it.
    auto others = [](const InspectReport& r) {
        std::map<ResourceId, InspectEntry> m;
        for (const InspectEntry& e : r.entries)
            if (e.name.empty()) m.emplace(e.id, e);
        return m;
    };
    const auto mo = others(o), mn = others(n);
    File fo, fn;
    const bool open = fo.Open(a.oldPath, "rb") && fn.Open(a.newPath, "rb");
    for (const auto& [id, e] : mo) {
        auto it = mn.find(id);
        if (it == mn.end()) {
            d.resources.push_back({ResourceIdText(id), "removed"});
            continue;
        }
        std::string bo, bn;
        const bool readO = open && ResourceBytes(fo, e, bo);
        const bool readN = open && ResourceBytes(fn, it->second, bn);
        if (!readO || !readN || bo != bn) d.resources.push_back({ResourceIdText(id), "changed"});
    }
    for (const auto& [id, e] : mn)
        if (!mo.count(id)) d.resources.push_back({ResourceIdText(id), "added"});
}

PackageDiff Compare(const DiffArgs& a, const InspectReport& o, const InspectReport& n) {
    const std::vector<PackageRecord> ro = PackageRecords(o), rn = PackageRecords(n);
    const auto so = Group(ro), sn = Group(rn);
    PackageDiff d;
    std::vector<std::pair<const SetRecords*, const SetRecords*>> matched;
    for (const auto& [key, s] : so) {
        const SetRecords* other = nullptr;
        for (const auto& [k2, s2] : sn)
            if (k2 == key) other = &s2;
        matched.emplace_back(&s, other);
    }
    for (const auto& [key, s] : sn) {
        bool found = false;
        for (const auto& [k2, s2] : so) found = found || k2 == key;
        if (!found) matched.emplace_back(nullptr, &s);
    }
    d.sets.resize(matched.size());
    std::vector<Pair> pairs;
    static const SetRecords kEmpty;
    for (size_t i = 0; i < matched.size(); ++i) {
        const SetRecords& sOld = matched[i].first ? *matched[i].first : kEmpty;
        const SetRecords& sNew = matched[i].second ? *matched[i].second : kEmpty;
        const SetRecords& named = matched[i].second ? sNew : sOld;
        SetDiff& sd = d.sets[i];
        sd.name = named.name;
        sd.role = named.role;
        sd.roleId = named.roleId;
        for (const auto& [key, r] : sOld.records) {
            auto it = sNew.records.find(key);
            if (it == sNew.records.end()) {
                sd.removed.push_back(Item(key, r, nullptr));
                continue;
            }
            const PackageRecord* rN = it->second;
            if (r->coding != rN->coding || r->rateByte != rN->rateByte) {
                DiffItem item = Item(key, r, rN);
                item.detail = CodingText(*r) + " -> " + CodingText(*rN);
                sd.codingChanged.push_back(std::move(item));
            }
            pairs.push_back({&sd, key, r, rN, false, {}});
        }
        for (const auto& [key, r] : sNew.records)
            if (!sOld.records.count(key)) sd.added.push_back(Item(key, nullptr, r));
    }
    CompareAudio(a, pairs);
    for (const Pair& p : pairs) {
        DiffItem item = Item(p.key, p.o, p.n);
        if (!p.error.empty()) {
            item.detail = p.error;
            p.set->errors.push_back(std::move(item));
        } else if (p.changed) {
            p.set->audioChanged.push_back(std::move(item));
        }
    }
    // Each list in record order.
    auto byNew = [](const DiffItem& x, const DiffItem& y) { return x.newRecord < y.newRecord; };
    auto byOld = [](const DiffItem& x, const DiffItem& y) { return x.oldRecord < y.oldRecord; };
    for (SetDiff& s : d.sets) {
        std::sort(s.added.begin(), s.added.end(), byNew);
        std::sort(s.removed.begin(), s.removed.end(), byOld);
        std::sort(s.audioChanged.begin(), s.audioChanged.end(), byNew);
        std::sort(s.codingChanged.begin(), s.codingChanged.end(), byNew);
        std::sort(s.errors.begin(), s.errors.end(), byNew);
    }
    CompareResources(a, o, n, d);
    return d;
}

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
    const PackageDiff d = Compare(a, o, n);
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
