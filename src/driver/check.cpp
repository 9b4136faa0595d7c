#include "driver/check.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>

#include "driver/build_types.h"
#include "driver/package_build.h"
#include "driver/work_files.h"
#include "input/lists.h"
#include "input/resampler.h"
#include "input/roles.h"
#include "input/survey.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "resfile/package.h"
#include "resfile/segment.h"

namespace qm {

namespace {

constexpr const char* kConformHint = "run `quillmark-cli conform` on the folder, or re-save it";

Problem Simple(std::string message, const char* word, std::string path, std::string reason,
               std::string hint) {
    Problem p;
    p.message = std::move(message);
    p.word = word;
    p.path = std::move(path);
    p.reason = std::move(reason);
    p.hint = std::move(hint);
    return p;
}

class DryRunner {
  public:
    DryRunner(const DryRun& run, CheckReport& report) : run_(run), report_(report) {}

    void Run() {
        // Both paths are taken before the current directory moves.
        const std::string audio = MakeAbsolute(run_.audioFolder);
        package_ = run_.packagePath.empty() ? "" : MakeAbsolute(run_.packagePath);
        if (run_.audioFolder.empty()) {
            Error(Simple("Please specify audio file path！", "no-audio-folder", "",
                         "no audio folder was given", "give the folder with --audio"));
            return;
        }
        if (!PathIsDirectory(audio) || !SetCurrentDir(audio)) {
            Error(Simple(
                "The audio file path is incorrect, please re-set it!", "audio-folder", audio,
                PathIsDirectory(audio) ? "it cannot be entered" : "it is not an existing folder",
                "give the folder that holds TextList.txt and WaveList.txt"));
            return;
        }
        audio_ = audio;
        CheckPackagePath();
        if (run_.buildType == BUILD_ROLE) {
            RunRoles();
        } else {
            int32_t rate = 0;
            if (packageOk_ && !ReadRate(run_.buildType, rate)) packageOk_ = false;
            // The build writes the index file after filing the texts and
            // before it reads the recordings.
            CheckFolder(audio_, "", rate,
                        [this] { CheckWritable(audio_, "打开文件TextLst.txt失败！"); });
            CoderWarning(rate);
        }
        SetCurrentDir(audio_);
    }

  private:
    void Error(Problem p) { report_.errors.push_back(std::move(p)); }
    void Warn(Problem p) { report_.warnings.push_back(std::move(p)); }

    void CheckPackagePath() {
        packageOk_ = false;
        if (package_.empty()) return;
        if (!PathFileExists(package_) || PathIsDirectory(package_)) {
            Error(Simple("IRF file path name is incorrect, please re-set it!", "package", package_,
                         PathIsDirectory(package_) ? "it is a folder" : "it does not exist",
                         "give the package (.irf) that the new one is made from"));
            return;
        }
        std::error_code ec;
        if (IsWorkFileName(PathFindFileName(package_)) &&
            std::filesystem::equivalent(ParentPath(package_), audio_, ec) && !ec) {
            Error(Simple("IRF file path name is incorrect, please re-set it!", "package", package_,
                         "the build writes a work file of that name into the audio folder",
                         "rename the package or move it out of the audio folder"));
            return;
        }
        packageOk_ = true;
    }

    bool ReadRate(int buildType, int32_t& rate) {
        std::string err;
        if (ReadPackageRate(buildType, package_, rate, err)) return true;
        Error(PackageProblem(err, package_));
        rate = 0;
        return false;
    }

    // The index file is the first file a build creates in the audio folder.
    void CheckWritable(const std::string& folder, const std::string& message) {
        if (::access(folder.c_str(), W_OK) == 0) return;
        Error(Simple(message, "write", folder, "the build cannot create its files in this folder",
                     "make the folder writable"));
    }

    void CoderWarning(int32_t rate) {
        if (run_.codeType == CODE_G7231 && rate > 8000)
            Warn(Simple("", "code4-rate", package_,
                        Format("Code4 (G.723.1) is a telephone-band coder, and the package "
                               "is %d Hz: everything above 4 kHz is lost",
                               rate),
                        "use Code1, Code2 or Code3 for packages above 8 kHz"));
    }

    void RunRoles() {
        RoleConfig config;
        Problem why;
        if (!LoadRoleConfig(audio_, config, &why, false)) {
            Error(std::move(why));
            return;
        }
        CheckWritable(audio_, Format("打开文件%s失败！", FindBuildType(BUILD_ROLE)->indexFile));
        bool packageRead = false;
        int32_t rate = 0;
        for (size_t n = 0; n < config.roles.size(); ++n) {
            const RoleEntry& role = config.roles[n];
            const std::string folder = RoleFolder(audio_, role);
            if (role.path.empty() || !PathIsDirectory(folder) || !SetCurrentDir(folder)) {
                Problem p = Simple(
                    Format("%s is not a valid path!", Cp936ToUtf8(role.path).c_str()), "role-path",
                    JoinPath(audio_, "Config.ini"),
                    role.path.empty() ? Format("role %zu has no RolePath", n + 1)
                                      : Format("RolePath%zu names %s, which is not a folder", n + 1,
                                               folder.c_str()),
                    "point RolePath at the role's folder (absolute, or relative to the audio "
                    "folder)");
                p.file = "Config.ini";
                Error(std::move(p));
                continue;
            }
            if (!packageRead && packageOk_) {
                packageRead = true;
                if (ReadRate(BUILD_ROLE, rate)) {
                    RoleRateWarning(rate);
                } else {
                    packageOk_ = false;
                }
            }
            CheckFolder(GetCurrentDir(), Cp936ToUtf8(role.path) + "/", rate);
            SetCurrentDir(audio_);
        }
        CoderWarning(rate);
    }

    void RoleRateWarning(int32_t roleRate) {
        int32_t promptRate = 0;
        std::string err;
        if (!ReadPackageRate(BUILD_PROMPT, package_, promptRate, err) || promptRate == roleRate)
            return;
        Warn(Simple(
            "", "role-rate", package_,
            Format("the role clips are %d Hz but the prompt clips are %d Hz", roleRate, promptRate),
            "check that the package is the one these roles belong to"));
    }

    // Lists, texts and recordings of one folder (the current directory).
    void CheckFolder(const std::string& folder, const std::string& prefix, int32_t rate,
                     const std::function<void()>& beforeRecordings = {}) {
        for (const char* name : {"TextList.txt", "WaveList.txt"}) {
            std::string why;
            const std::string enc = GuessListEncoding(name, why);
            if (enc.empty()) continue;
            Problem p = Simple("", "list-encoding", JoinPath(folder, name),
                               Format("the list looks %s-encoded: %s", enc.c_str(), why.c_str()),
                               "save the list in code page 936 (GBK), without a byte-order mark");
            p.file = prefix + name;
            Warn(std::move(p));
        }

        std::vector<PromptEntry> list;
        std::vector<Problem> problems;
        ScanPromptLists(list, rate, folder, std::numeric_limits<size_t>::max(), problems);
        for (Problem& p : problems) {
            p.file = prefix + p.file;
            Error(std::move(p));
        }

        // Texts, in list order as the build files them; the segment count
        // gives each entry its place in the index order.
        std::vector<int32_t> segments(list.size(), 0);
        for (size_t i = 0; i < list.size(); ++i) {
            IndexedText t;
            std::string err;
            Problem why;
            if (!SegmentText(list[i].text, static_cast<int32_t>(list[i].line), t, err, &why)) {
                why.message = err;
                why.file = prefix + "TextList.txt";
                why.line = list[i].line;
                why.path = JoinPath(folder, "TextList.txt");
                why.more.push_back("text: \"" + Cp936ToUtf8(list[i].text) + "\"");
                Error(std::move(why));
                continue;
            }
            segments[i] = t.segmentCount;
        }

        if (beforeRecordings) beforeRecordings();
        // Recordings, in the index order in which the build reads them.
        std::vector<size_t> order(list.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return segments[a] < segments[b]; });
        for (size_t i : order) {
            if (segments[i] == 0) continue;
            CheckRecording(list[i], prefix, rate);
        }
        for (const PromptEntry& e : list) RecordingWarnings(e, prefix, rate);
        PaceWarnings(list, prefix);
    }

    Problem About(const PromptEntry& e, const std::string& prefix, std::string message,
                  const char* word, std::string reason, std::string hint) {
        Problem p = Simple(std::move(message), word, e.path, std::move(reason), std::move(hint));
        p.file = prefix + "WaveList.txt";
        p.line = e.line;
        p.more.push_back("recording: \"" + Cp936ToUtf8(e.listedName) + "\" (" + e.path + ")");
        return p;
    }

    void CheckRecording(const PromptEntry& e, const std::string& prefix, int32_t rate) {
        if (!PathIsFile(e.path)) {
            Error(About(e, prefix, Format("打开文件%s失败！", e.path.c_str()), "recording",
                        "it is not a regular file", "list a recording file, not a folder"));
            return;
        }
        if (rate <= 0 || e.sampleRate == rate) return;
        std::unique_ptr<ResamplerState> st;
        if (CreateResampler(e.sampleRate, rate, st) != 0)
            Error(
                About(e, prefix, "转采样句柄初始化错误！", "wav-rate",
                      Format("its rate of %d Hz cannot be converted to %d Hz", e.sampleRate, rate),
                      kConformHint));
    }

    void RecordingWarnings(const PromptEntry& e, const std::string& prefix, int32_t rate) {
        if (e.kind == AUDIO_WAV) {
            uint64_t claimed = 0, held = 0;
            if (WaveDataSizes(e.path, claimed, held) && claimed > held)
                Warn(About(e, prefix, "", "wav-truncated",
                           Format("the header claims %llu samples but the file holds %llu",
                                  static_cast<unsigned long long>(claimed),
                                  static_cast<unsigned long long>(held)),
                           "the file was cut short: record or export it again"));
            if (e.sampleRate % 1000 != 0 && e.sampleRate != rate && e.sampleRate > 0) {
                const int32_t whole = e.sampleRate / 1000 * 1000;
                Warn(About(
                    e, prefix, "", "wav-rate",
                    Format("%d Hz is converted as if it were %d Hz: pitch and speed "
                           "change by %.2f%%",
                           e.sampleRate, whole, 100.0 * (e.sampleRate - whole) / e.sampleRate),
                    kConformHint));
            }
        }
        if (!run_.audioLevels) return;
        AudioLevels lv;
        if (!MeasureRecording(e.path, e.kind, lv) || lv.samples == 0) return;
        const int32_t hz = e.sampleRate > 0 ? e.sampleRate : 16000;
        if (lv.clippedRuns > 0)
            Warn(About(e, prefix, "", "clipping",
                       Format("%llu runs of %u or more full-scale samples",
                              static_cast<unsigned long long>(lv.clippedRuns), kClipRun),
                       "record it again at a lower level"));
        if (lv.peak < kSilentPeak) {
            Warn(
                About(e, prefix, "", "silent",
                      Format("its peak is %d, below %d: silent or nearly so", lv.peak, kSilentPeak),
                      "check that the right recording is listed"));
            return;
        }
        durations_.push_back({e.line, static_cast<double>(lv.samples) / hz, e.text});
        if (std::fabs(lv.mean) > kDcOffsetLimit)
            Warn(About(e, prefix, "", "dc-offset",
                       Format("its samples average %.0f, a DC offset", lv.mean),
                       "remove the offset (a high-pass filter) and save it again"));
        const double lead = static_cast<double>(lv.leadingQuiet) / hz;
        const double trail = static_cast<double>(lv.trailingQuiet) / hz;
        if (lead > kEdgeSilenceSeconds || trail > kEdgeSilenceSeconds)
            Warn(About(e, prefix, "", "edge-silence",
                       Format("%.1f s of silence at the start and %.1f s at the end", lead, trail),
                       "trim the silence"));
    }

    // Durations far from the others' seconds per character hint at lists
    // that are out of step.
    void PaceWarnings(const std::vector<PromptEntry>& list, const std::string& prefix) {
        std::vector<Duration> d;
        d.swap(durations_);
        if (d.size() < kPaceMinPrompts) return;
        std::vector<double> pace;
        for (const Duration& x : d)
            pace.push_back(x.seconds /
                           static_cast<double>(std::max<size_t>(1, CharacterCount(x.text))));
        std::vector<double> sorted = pace;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        const double median = sorted[sorted.size() / 2];
        // Clips of a few samples (test tones, placeholders) give no pace.
        if (median < kPaceMinSecondsPerChar) return;
        for (size_t i = 0; i < d.size(); ++i) {
            if (pace[i] <= median * kPaceFactor && pace[i] >= median / kPaceFactor) continue;
            auto it = std::find_if(list.begin(), list.end(),
                                   [&](const PromptEntry& e) { return e.line == d[i].line; });
            if (it == list.end()) continue;
            Warn(About(*it, prefix, "", "pace",
                       Format("%.2f s for %zu characters (%.2f s each) against a median of "
                              "%.2f s per character",
                              d[i].seconds, CharacterCount(d[i].text), pace[i], median),
                       "check that line " + std::to_string(d[i].line) +
                           " of both lists belongs to the same prompt"));
        }
    }

    struct Duration {
        size_t line;
        double seconds;
        std::string text;
    };

    const DryRun& run_;
    CheckReport& report_;
    std::string audio_;
    std::string package_;
    bool packageOk_ = false;
    std::vector<Duration> durations_;
};

}  // namespace

CheckReport RunDryRun(const DryRun& run) {
    CheckReport report;
    DryRunner(run, report).Run();
    return report;
}

}  // namespace qm
