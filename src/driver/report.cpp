#include "driver/report.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "driver/build_types.h"
#include "driver/check.h"
#include "input/prepare.h"
#include "input/roles.h"
#include "input/survey.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "resfile/clip_container.h"
#include "resfile/package.h"
#include "resfile/textindex.h"

namespace qm {
namespace {

// A folder of prompt lists: the role it builds (0 outside role builds), its
// path and how `check` names its files.
struct ListFolder {
    int32_t role = 0;
    std::string path;
    std::string prefix;
};

std::vector<ListFolder> ListFolders(const std::string& audio, int32_t buildType) {
    if (buildType != BUILD_ROLE) return {{0, audio, ""}};
    std::vector<ListFolder> out;
    RoleConfig config;
    if (!LoadRoleConfig(audio, config, nullptr, false)) return out;
    for (size_t n = 0; n < config.roles.size(); ++n) {
        out.push_back({static_cast<int32_t>(n + 1), RoleFolder(audio, config.roles[n]),
                       Cp936ToUtf8(config.roles[n].path) + "/"});
    }
    return out;
}

}  // namespace

ClipMeasure MeasureClip(const std::vector<int16_t>& samples) {
    ClipMeasure m;
    double energy = 0;
    uint32_t run = 0;
    for (int16_t s : samples) {
        const int32_t a = std::abs(int32_t{s});
        m.peak = std::max(m.peak, a);
        energy += double(s) * s;
        run = a >= kClipLevel ? run + 1 : 0;
        m.clipped = m.clipped || run >= kClipRun;
    }
    m.silent = m.peak < kSilentPeak;
    if (energy > 0)
        m.rmsDb =
            10 * std::log10(energy / static_cast<double>(samples.size()) / (32768.0 * 32768.0));
    m.low.assign(kEnvelopeColumns, 0);
    m.high.assign(kEnvelopeColumns, 0);
    const size_t n = samples.size();
    for (size_t c = 0; c < kEnvelopeColumns && n > 0; ++c) {
        const size_t from = c * n / kEnvelopeColumns;
        const size_t to = std::max(from + 1, (c + 1) * n / kEnvelopeColumns);
        if (from >= n) break;
        const auto [lo, hi] = std::minmax_element(samples.begin() + static_cast<ptrdiff_t>(from),
                                                  samples.begin() + static_cast<ptrdiff_t>(to));
        m.low[c] = *lo;
        m.high[c] = *hi;
    }
    return m;
}

bool SignalToNoise(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded,
                   double& db) {
    double signal = 0, noise = 0;
    const size_t n = std::min(reference.size(), decoded.size());
    for (size_t i = 0; i < n; ++i) {
        const double r = reference[i], d = r - decoded[i];
        signal += r * r;
        noise += d * d;
    }
    if (signal == 0) return false;
    db = noise == 0 ? kExactSnrDb : std::min(kExactSnrDb, 10 * std::log10(signal / noise));
    return true;
}

ReportFolder ReadReportFolder(const std::string& audio, int32_t buildType, int32_t codeType,
                              const std::string& package) {
    ReportFolder f;
    f.audio = MakeAbsolute(audio);
    f.buildType = buildType;
    f.levelTarget = FindBuildType(buildType)->levelTarget;
    DryRun run;
    run.buildType = buildType;
    run.codeType = codeType;
    run.audioFolder = f.audio;
    run.packagePath = MakeAbsolute(package);
    CheckReport check = RunDryRun(run);
    f.errors = std::move(check.errors);

    int32_t rate = 0;
    std::string err;
    ReadPackageRate(buildType, run.packagePath, rate, err);
    // (list file, line) -> the source's key, for placing the warnings.
    std::map<std::pair<std::string, size_t>, std::pair<int32_t, uint32_t>> byLine;
    for (const ListFolder& lf : ListFolders(f.audio, buildType)) {
        if (!SetCurrentDir(lf.path)) continue;
        std::vector<PromptEntry> list;
        std::vector<Problem> problems;
        ScanPromptLists(list, rate, lf.path, std::numeric_limits<size_t>::max(), problems);
        // The build's index order: texts by segment count, each count in list order.
        CTextIndex index;
        for (size_t i = 0; i < list.size(); ++i)
            index.AddText(list[i].text, static_cast<int32_t>(i + 1), err);
        uint32_t number = 0;
        for (const auto& bucket : index.Buckets()) {
            for (const IndexedText& t : bucket) {
                ReportSource s;
                s.entry = list[static_cast<size_t>(t.entry)];
                s.listFile = lf.prefix + "WaveList.txt";
                s.folderText = Cp936ToUtf8(t.text);
                byLine[{s.listFile, s.entry.line}] = {lf.role, number};
                f.sources[{lf.role, number++}] = std::move(s);
            }
        }
        f.lines += number;
    }
    SetCurrentDir(f.audio);
    for (Problem& w : check.warnings) {
        auto it = byLine.find({w.file, w.line});
        if (it == byLine.end()) {
            f.warnings.push_back(std::move(w));
        } else {
            f.sources[it->second].warnings.push_back(w.word + ": " + w.reason);
        }
    }
    return f;
}

bool RecordFromFolder(const ReportFolder& folder, const PackageRecord& record) {
    if (folder.buildType == BUILD_ROLE) return record.role > 0;
    return record.role == 0 && record.set == FindBuildType(folder.buildType)->option;
}

void CompareWithFolder(const ReportFolder& folder, const std::vector<int16_t>& decoded,
                       ReportRow& row) {
    const PackageRecord& r = row.record;
    if (!RecordFromFolder(folder, r)) return;
    auto it = folder.sources.find({r.role, r.number});
    if (it == folder.sources.end()) {
        row.mismatch = true;
        return;
    }
    row.source = &it->second;
    row.mismatch = !r.hasText || r.text != it->second.folderText;
    if (r.rate == 0) return;
    std::vector<int16_t> prepared;
    size_t length = 0;
    row.prepared = PrepareClip(it->second.entry, r.rate, folder.levelTarget, prepared,
                               row.prepareError, &row.gain, &length);
    row.sourceSamples = length;
    if (row.prepared && r.hasClip && r.coding != CODING_PCM16 && !decoded.empty())
        row.hasSnr = SignalToNoise(prepared, decoded, row.snrDb);
}

void FlagLowSnr(std::vector<ReportRow>& rows, double belowDb) {
    std::map<std::pair<std::string, int32_t>, std::vector<size_t>> sets;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].hasSnr) continue;
        sets[{rows[i].record.set, rows[i].record.role}].push_back(i);
        rows[i].lowSnr = rows[i].snrDb < belowDb;
    }
    for (auto& [key, idx] : sets) {
        std::stable_sort(idx.begin(), idx.end(),
                         [&](size_t a, size_t b) { return rows[a].snrDb < rows[b].snrDb; });
        const auto worst = std::max<size_t>(
            1, static_cast<size_t>(std::ceil(kLowSnrShare * static_cast<double>(idx.size()))));
        for (size_t k = 0; k < worst && k < idx.size(); ++k) rows[idx[k]].lowSnr = true;
    }
}

Histogram MakeHistogram(const std::vector<double>& values, size_t bins) {
    Histogram h;
    h.counts.assign(bins, 0);
    if (values.empty() || bins == 0) return h;
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    h.low = std::floor(*lo);
    h.high = std::max(std::ceil(*hi), h.low + 1);
    for (double v : values) {
        const auto b = static_cast<size_t>((v - h.low) / (h.high - h.low) * double(bins));
        ++h.counts[std::min(b, bins - 1)];
    }
    return h;
}

}  // namespace qm
