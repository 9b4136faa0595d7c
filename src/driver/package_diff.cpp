#include "driver/package_diff.h"

#include <algorithm>
#include <map>

#include "driver/package_records.h"
#include "platform/file.h"
#include "platform/text.h"
#include "resfile/clip_container.h"
#include "resfile/package.h"

namespace qm {
namespace {

// The two packages compared, and the threads to decode on.
struct Paths {
    std::string oldPath;
    std::string newPath;
    int jobs = 0;
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
void CompareAudio(const Paths& a, std::vector<Pair>& pairs) {
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

void CompareResources(const Paths& a, const InspectReport& o, const InspectReport& n,
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

}  // namespace

PackageDiff ComparePackages(const std::string& oldPath, const InspectReport& o,
                            const std::string& newPath, const InspectReport& n, int jobs) {
    const Paths a{oldPath, newPath, jobs};
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

}  // namespace qm
