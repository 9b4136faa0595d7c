#include "input/conform.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>

#include "input/conform_write.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// Existing files named at most in a refusal; the rest are counted.
constexpr size_t kNamedExisting = 20;

bool IsListSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Single-byte white space removed at both ends, as the build trims list lines.
std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsListSpace(s[b])) ++b;
    while (e > b && IsListSpace(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// A path below a folder: "/"-separated names without "" and "."; nullopt
// for an absolute path or one with "..", which could lead out of the folder.
std::optional<std::string> NormalizeRelative(const std::string& path) {
    if (path.empty() || path[0] == '/') return std::nullopt;
    std::string rel;
    size_t b = 0;
    while (b <= path.size()) {
        size_t e = path.find('/', b);
        if (e == std::string::npos) e = path.size();
        const std::string name = path.substr(b, e - b);
        if (name == "..") return std::nullopt;
        if (!name.empty() && name != ".") rel += (rel.empty() ? "" : "/") + name;
        b = e + 1;
    }
    return rel;
}

std::string Under(const std::string& folder, const std::string& rel) {
    return folder.empty() ? rel : folder + "/" + rel;
}

bool ReadWhole(const std::string& path, std::string& bytes, std::string& err) {
    File f;
    if (!PathIsFile(path) || !f.Open(path, "rb")) {
        err = PathFileExists(path) ? "cannot be read" : "missing";
        return false;
    }
    const int64_t size = f.Size();
    if (size < 0) {
        err = "cannot be read";
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    bytes.resize(f.Read(bytes.data(), bytes.size()));
    return true;
}

// A code page 936 wave-list name with its extension (from the last "." of
// its last component) replaced by ".wav". 0x2E and 0x2F are never trail
// bytes of a pair, but 0x5C is, so characters are walked.
std::string WithWavExtension(const std::string& name) {
    size_t dot = std::string::npos;
    for (size_t i = 0; i < name.size();) {
        const size_t w = Cp936CharWidth(name, i);
        if (w == 1 && (name[i] == '\\' || name[i] == '/')) dot = std::string::npos;
        if (w == 1 && name[i] == '.') dot = i;
        i += w;
    }
    return name.substr(0, dot) + ".wav";
}

// One list file read and converted, with where its lines go.
struct PlannedList {
    size_t report = 0;  // index in the report's lists
    std::vector<std::string> lines;
};

struct Plan {
    std::vector<PlannedList> lists;
    std::vector<size_t> firstOf;  // per recording: the recording it repeats, or itself
};

class Conformer {
  public:
    Conformer(const ConformOptions& o, ConformReport& r) : opt_(o), report_(r) {}
    ConformOutcome Run(std::string& err);

  private:
    std::string In(const std::string& rel) const { return JoinPath(opt_.inDir, rel); }
    std::optional<size_t> ReadList(const std::string& rel, bool dropBlank);
    void PlanFolder(const std::string& folder);
    std::vector<std::string> RoleFolders(const std::vector<std::string>& configLines);
    void PlanRecordings(const std::string& folder, size_t waveList);
    bool CheckExisting(std::string& err);
    void ConformRecording(ConformedRecording& r);

    const ConformOptions& opt_;
    ConformReport& report_;
    Plan plan_;
    OutputFolder out_;
    bool outOpen_ = false;
};

std::optional<size_t> Conformer::ReadList(const std::string& rel, bool dropBlank) {
    ConformedList item;
    item.path = rel;
    std::string bytes;
    ListText text;
    if (ReadWhole(In(rel), bytes, item.error) &&
        ConvertListText(bytes, opt_.lists, dropBlank, text, item.error)) {
        item.ok = true;
        item.encoding = text.encoding;
        item.lines = text.lines.size();
        item.droppedBlank = text.droppedBlank;
    }
    report_.lists.push_back(item);
    if (!item.ok) return std::nullopt;
    plan_.lists.push_back({report_.lists.size() - 1, std::move(text.lines)});
    return plan_.lists.size() - 1;
}

void Conformer::PlanFolder(const std::string& folder) {
    ReadList(Under(folder, "TextList.txt"), true);
    if (auto wave = ReadList(Under(folder, "WaveList.txt"), true)) PlanRecordings(folder, *wave);
}

void Conformer::PlanRecordings(const std::string& folder, size_t waveList) {
    PlannedList& list = plan_.lists[waveList];
    const std::string listPath = report_.lists[list.report].path;
    std::map<std::string, size_t> byOutput;  // output path -> recording, over every folder
    for (size_t k = 0; k < report_.recordings.size(); ++k) {
        if (!report_.recordings[k].output.empty())
            byOutput.emplace(report_.recordings[k].output, k);
    }
    for (size_t i = 0; i < list.lines.size(); ++i) {
        const std::string name = Trim(list.lines[i]);
        if (name.empty()) continue;  // the build names blank lines itself
        ConformedRecording r;
        r.list = listPath;
        r.line = i + 1;
        const std::string native = Cp936PathToUtf8(name);
        r.source = Under(folder, native);
        plan_.firstOf.push_back(report_.recordings.size());
        const auto rel = NormalizeRelative(native);
        const std::string last = native.substr(native.rfind('/') + 1);
        if (!rel || last.empty() || last == ".") {
            r.error = "does not name a file inside its folder";
            report_.recordings.push_back(r);
            continue;
        }
        r.source = Under(folder, *rel);
        const std::string ext = PathFindExtension(*rel);
        r.raw = EqualsNoCase(ext, ".pcm");
        const bool rename = !r.raw && !EqualsNoCase(ext, ".wav");
        r.output = rename ? r.source.substr(0, r.source.size() - ext.size()) + ".wav" : r.source;
        auto [it, fresh] = byOutput.emplace(r.output, report_.recordings.size());
        if (!fresh && report_.recordings[it->second].source != r.source) {
            // The line keeps its name, so that it never names another recording.
            const ConformedRecording& first = report_.recordings[it->second];
            r.error = Format("its output %s is also the output of %s line %zu", r.output.c_str(),
                             first.list.c_str(), first.line);
            r.output.clear();
        } else {
            if (!fresh) {
                const ConformedRecording& first = report_.recordings[it->second];
                plan_.firstOf.back() = it->second;
                r.sameAsLine = first.list == r.list ? first.line : 0;
            }
            if (rename) {
                list.lines[i] = WithWavExtension(name);
                ++report_.lists[list.report].renamed;
            }
        }
        report_.recordings.push_back(r);
    }
}

// The role folders named in Config.ini (already code page 936 lines), each
// relative to the input folder; problems go to the report.
std::vector<std::string> Conformer::RoleFolders(const std::vector<std::string>& configLines) {
    PrivateProfile profile;
    profile.Parse(JoinCrLf(configLines));
    std::vector<std::string> folders;
    const auto count = profile.Get("RoleInfo", "Count");
    const int32_t n = count ? ProfileInt(*count) : 0;
    if (n <= 0) {
        report_.problems.push_back({"Config.ini", "Count is not a positive number"});
        return folders;
    }
    for (int32_t k = 1; k <= n; ++k) {
        const std::string key = "RolePath" + std::to_string(k);
        const auto value = profile.Get("RoleInfo", key);
        if (!value && !profile.Get("RoleInfo", "RoleID" + std::to_string(k))) {
            report_.problems.push_back(
                {"Config.ini", Format("Count is %d but role %d is missing", n, k)});
            break;
        }
        const std::string path = Trim(value.value_or(""));
        const auto rel = NormalizeRelative(Cp936PathToUtf8(path));
        if (path.empty()) {
            report_.problems.push_back({"Config.ini " + key, "no folder given"});
        } else if (!rel) {
            report_.problems.push_back({"Config.ini " + key,
                                        "not a folder inside the input folder: the output could "
                                        "not keep its place"});
        } else if (!PathIsDirectory(In(*rel))) {
            report_.problems.push_back({"Config.ini " + key, "no such folder: " + *rel});
        } else if (std::find(folders.begin(), folders.end(), *rel) == folders.end()) {
            folders.push_back(*rel);
        }
    }
    return folders;
}

bool Conformer::CheckExisting(std::string& err) {
    if (!PathIsDirectory(opt_.outDir)) return true;  // created later: nothing exists yet
    if (!out_.Open(opt_.outDir, opt_.inDir, err)) return false;
    outOpen_ = true;
    std::vector<std::string> existing;
    auto look = [&](const std::string& rel, std::string& itemError) {
        std::string why;
        const OutputFolder::State state = out_.Look(rel, why);
        if (state == OutputFolder::State::kBlocked) itemError = "not written: " + why;
        if (state == OutputFolder::State::kFile && !opt_.force) existing.push_back(rel);
    };
    for (ConformedList& l : report_.lists) {
        if (l.ok) look(l.path, l.error), l.ok = l.error.empty();
    }
    for (size_t k = 0; k < report_.recordings.size(); ++k) {
        ConformedRecording& r = report_.recordings[k];
        if (r.error.empty() && !r.output.empty() && plan_.firstOf[k] == k) look(r.output, r.error);
    }
    if (existing.empty()) return true;
    err = Format("%s already holds files that conform would write (--force replaces them):",
                 opt_.outDir.c_str());
    for (size_t k = 0; k < existing.size() && k < kNamedExisting; ++k) err += "\n  " + existing[k];
    if (existing.size() > kNamedExisting) {
        err += Format("\n  ... and %zu more", existing.size() - kNamedExisting);
    }
    return false;
}

void Conformer::ConformRecording(ConformedRecording& r) {
    std::string bytes;
    if (r.raw) {
        if (!ReadWhole(In(r.source), bytes, r.error)) return;
        r.in.container = "raw PCM";
        r.in.format = "16-bit";
        r.in.channels = 1;
        r.in.frames = static_cast<int64_t>(bytes.size() / 2);
        r.outSamples = bytes.size() / 2;
    } else {
        ConformedAudio audio;
        if (!PathFileExists(In(r.source))) {
            r.error = "missing";
            return;
        }
        if (!ConformAudioFile(In(r.source), opt_.rate, r.in, audio, r.error)) {
            r.error = "cannot read: " + r.error;
            return;
        }
        r.outRate = audio.rate;
        r.outSamples = audio.samples.size();
        r.clipped = audio.clipped;
        if (!r.in.plainHeader) {
            const bool wav = r.in.container.rfind("WAV", 0) == 0;
            r.changes.push_back(wav ? "header -> plain 44-byte header"
                                    : "container " + r.in.container + " -> WAV");
        }
        if (r.in.format != "16-bit")
            r.changes.push_back("sample format " + r.in.format + " -> 16-bit");
        if (r.in.channels != 1) r.changes.push_back(Format("channels %d -> 1", r.in.channels));
        if (r.in.rate != r.outRate) {
            r.changes.push_back(Format("rate %d -> %d Hz", r.in.rate, r.outRate));
        }
        if (r.clipped)
            r.changes.push_back(
                Format("%llu samples clipped", static_cast<unsigned long long>(r.clipped)));
        bytes = PlainWavBytes(audio.samples, audio.rate);
    }
    r.ok = out_.Write(r.output, bytes, r.error);
}

ConformOutcome Conformer::Run(std::string& err) {
    const bool hasConfig = PathIsFile(In("Config.ini"));
    const bool hasLists = PathFileExists(In("TextList.txt")) || PathFileExists(In("WaveList.txt"));
    if (!hasConfig && !hasLists) {
        err = Format("%s holds no TextList.txt, WaveList.txt or Config.ini", opt_.inDir.c_str());
        return ConformOutcome::kRefused;
    }
    std::vector<std::string> folders;
    if (hasLists) folders.push_back("");
    if (hasConfig) {
        if (auto config = ReadList("Config.ini", false)) {
            for (const std::string& f : RoleFolders(plan_.lists[*config].lines)) {
                if (std::find(folders.begin(), folders.end(), f) == folders.end()) {
                    folders.push_back(f);
                }
            }
        }
    }
    for (const std::string& folder : folders) PlanFolder(folder);

    if (!CheckExisting(err)) return ConformOutcome::kRefused;
    if (!outOpen_ && !out_.Open(opt_.outDir, opt_.inDir, err)) return ConformOutcome::kRefused;

    for (size_t k = 0; k < report_.recordings.size(); ++k) {
        ConformedRecording& r = report_.recordings[k];
        if (!r.error.empty()) continue;
        if (plan_.firstOf[k] != k) {
            const ConformedRecording& first = report_.recordings[plan_.firstOf[k]];
            r.in = first.in;
            r.ok = first.ok;
            r.error = first.error;
            r.outRate = first.outRate;
            r.outSamples = first.outSamples;
            r.clipped = first.clipped;
            r.changes = first.changes;
            continue;
        }
        ConformRecording(r);
    }
    for (const PlannedList& l : plan_.lists) {
        ConformedList& item = report_.lists[l.report];
        if (item.ok) item.ok = out_.Write(item.path, JoinCrLf(l.lines), item.error);
    }
    const ConformTotals t = report_.Totals();
    return t.failed || t.listsFailed || t.problems ? ConformOutcome::kSomeFailed
                                                   : ConformOutcome::kAllConformed;
}

}  // namespace

ConformTotals ConformReport::Totals() const {
    ConformTotals t;
    for (const ConformedRecording& r : recordings) {
        ++t.recordings;
        if (r.ok) {
            ++t.conformed;
            if (!r.changes.empty()) ++t.changed;
            t.clipped += r.clipped;
        } else {
            ++t.failed;
        }
    }
    for (const ConformedList& l : lists) {
        ++t.lists;
        if (!l.ok) ++t.listsFailed;
    }
    t.problems = problems.size();
    return t;
}

ConformOutcome ConformFolder(const ConformOptions& options, ConformReport& report,
                             std::string& err) {
    report = ConformReport();
    if (options.rate != 0 && options.rate != 8000 && options.rate != 11025 &&
        options.rate != 16000 && options.rate != 22050) {
        err = "--rate must be 8000, 11025, 16000 or 22050";
        return ConformOutcome::kBadUsage;
    }
    if (!PathIsDirectory(options.inDir)) {
        err = Format("%s is not a folder", options.inDir.c_str());
        return ConformOutcome::kBadUsage;
    }
    if (PathFileExists(options.outDir) && !PathIsDirectory(options.outDir)) {
        err = Format("%s is not a folder", options.outDir.c_str());
        return ConformOutcome::kBadUsage;
    }
    // Compared as real paths, so that links and ".." do not hide that the
    // output would land in the input folder.
    std::error_code ec1, ec2;
    const fs::path in = fs::canonical(options.inDir, ec1);
    const fs::path out = fs::weakly_canonical(fs::absolute(options.outDir), ec2);
    const auto [end, _] = std::mismatch(in.begin(), in.end(), out.begin(), out.end());
    if (ec1 || ec2 || end == in.end()) {
        err = "the output folder must lie outside the input folder";
        return ConformOutcome::kBadUsage;
    }
    ConformOptions resolved = options;
    resolved.inDir = in.string();
    resolved.outDir = out.string();
    return Conformer(resolved, report).Run(err);
}

}  // namespace qm
