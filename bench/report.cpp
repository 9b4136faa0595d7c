// Prints the table of measured figures against their targets: coder,
// decoder, extraction and resampler speed, coding on every core, build time
// against prompt count and peak memory. Each build runs in a child process so
// that its peak resident memory can be read on its own.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "codec/coders.h"
#include "codec/decoders.h"
#include "codec/g7231/g7231.h"
#include "driver/build_types.h"
#include "driver/check.h"
#include "input/audio.h"
#include "material.h"
#include "platform/fs.h"
#include "resfile/formats.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

struct Row {
    std::string figure, value, target;
    bool met;
};
std::vector<Row> rows;

void Add(const std::string& figure, const std::string& value, const std::string& target, bool met) {
    rows.push_back({figure, value, target, met});
    std::fprintf(stderr, "  %s: %s\n", figure.c_str(), value.c_str());
}

std::string Num(double v, int decimals = 1) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

struct BuildRun {
    bool ok = false;
    double seconds = 0;
    long peakKiB = 0;
};

// Runs quillmark-cli with the arguments in a fresh process, its output
// discarded; true when it exits with 0. The child's peak resident memory is
// its own: an exec'd process shares no pages with this one.
bool RunTool(const std::vector<std::string>& args, long* peakKiB = nullptr) {
    pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<std::string> copy = args;
        std::string tool = QM_CLI_PATH;
        std::vector<char*> argv = {tool.data()};
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(tool.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage ru {};
    ::wait4(pid, &status, 0, &ru);
    if (peakKiB != nullptr) *peakKiB = ru.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// One whole prompt build, as a user runs it from the command line.
BuildRun RunBuild(const std::string& root, const std::string& pkg, int code, int jobs) {
    BuildRun run;
    const auto t0 = Clock::now();
    run.ok =
        RunTool({"build", "--type", "prompt", "--audio", root + "/audio", "--irf", pkg, "--code",
                 qm::CodeTypes()[static_cast<size_t>(code)].name, "--jobs", std::to_string(jobs)},
                &run.peakKiB);
    run.seconds = Seconds(t0, Clock::now());
    return run;
}

// The quicker of two runs of the same build; ok only if both were.
BuildRun Faster(const BuildRun& best, const BuildRun& run, int rep) {
    if (rep == 0) return run;
    BuildRun r = run.seconds < best.seconds ? run : best;
    r.ok = best.ok && run.ok;
    return r;
}

// The shortest of at least `reps` runs of f, repeated for at least
// `seconds` in all: the load of a shared machine comes in spells that can
// last a second or more, and the shortest run is the one least disturbed.
template <typename F>
double Best(int reps, double seconds, F f) {
    double best = 1e30;
    const auto start = Clock::now();
    for (int i = 0; i < reps || Seconds(start, Clock::now()) < seconds; ++i) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, Seconds(t0, Clock::now()));
    }
    return best;
}

// The groups named on the command line, or all of them.
std::vector<std::string> wanted;
bool Want(const std::string& group) {
    return wanted.empty() || std::find(wanted.begin(), wanted.end(), group) != wanted.end();
}

// Seconds to code the clips one after the other with the encoder alone.
double EncoderAlone(size_t prompts, size_t samples, uint32_t rate) {
    double total = 0;
    for (size_t k = 0; k < prompts; ++k) {
        // The same clips as the audio folder's (see MakeAudioFolder).
        const auto clip = qmbench::SpeechLike(samples, rate, static_cast<uint32_t>(7 + k));
        std::vector<unsigned char> out(20 * (clip.size() / 240 + 1));
        const auto t0 = Clock::now();
        if (qm::G7231EncodeClip(clip.data(), static_cast<int32_t>(clip.size()), out.data()) < 0)
            return -1;
        total += Seconds(t0, Clock::now());
    }
    return total;
}

}  // namespace

// Arguments, when given, name the groups of rows to measure: encode, decode,
// extract, check, decoders, resample, code4, code4-2000, builds.
int main(int argc, char** argv) {
    wanted.assign(argv + 1, argv + argc);
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::fprintf(stderr, "Measuring (this takes a few minutes)...\n");

    if (Want("encode")) {  // G.723.1 speed on one core, the widest vector path and each other.
        const double secs = 30;
        const auto speech = qmbench::SpeechLike(static_cast<size_t>(8000 * secs), 8000);
        std::vector<unsigned char> out(20 * (speech.size() / 240 + 1));
        auto speed = [&] {
            int rc = 0;
            const double t = Best(5, 3.0, [&] {
                rc = qm::G7231EncodeClip(speech.data(), static_cast<int32_t>(speech.size()),
                                         out.data());
            });
            return rc >= 0 ? secs / t : 0;
        };
        const double best = speed();
        Add("G.723.1 5.3k, s of speech per s (1 core)", Num(best), ">= 1000", best >= 1000);
        const char* names[] = {"portable", "SSE2", "AVX2"};
        for (qm::G7231Isa isa : {qm::G7231Isa::Portable, qm::G7231Isa::Sse2, qm::G7231Isa::Avx2}) {
            if (!qm::G7231IsaSupported(isa)) continue;
            qm::SetG7231Isa(isa);
            Add(std::string("G.723.1 5.3k, ") + names[static_cast<int>(isa)] + " path (1 core)",
                Num(speed()), "reported", true);
        }
        qm::SetG7231Isa(qm::G7231Isa::Best);
    }

    if (Want("decode")) {  // G.723.1 decoding on one core, postfilter on.
        const double secs = 30;
        const auto speech = qmbench::SpeechLike(static_cast<size_t>(8000 * secs), 8000);
        const auto n = static_cast<int32_t>(speech.size());
        std::vector<unsigned char> coded(20 * (speech.size() / 240 + 1));
        const int bytes = qm::G7231EncodeClip(speech.data(), n, coded.data());
        std::vector<int16_t> out(speech.size());
        int rc = -1;
        const double t = Best(5, 2.0, [&] {
            rc = qm::G7231DecodeClip(coded.data(), bytes > 0 ? static_cast<size_t>(bytes) : 0, n,
                                     out.data());
        });
        const double speed = rc == n ? secs / t : 0;
        Add("G.723.1 5.3k decoding, s of speech per s (1 core)", Num(speed, 0), ">= 3000",
            speed >= 3000);
    }

    if (Want("extract")) {  // extract of a 2,000-prompt G.723.1 package (1 s each) on every core.
        const std::string root = qmbench::MakeScratch();
        const std::string pkg = qmbench::MakeAudioFolder(root, 2000, 8000, 8000, 8000);
        const BuildRun built = RunBuild(root, pkg, 3, static_cast<int>(cores));
        const std::string built_pkg = root + "/audio/" + qm::PathFindFileName(pkg);
        double best = 1e30;
        bool ok = built.ok;
        for (int rep = 0; rep < 3 && ok; ++rep) {
            const std::string out = root + "/extract" + std::to_string(rep);
            const auto t0 = Clock::now();
            ok = RunTool({"extract", built_pkg, "--out", out});
            best = std::min(best, Seconds(t0, Clock::now()));
        }
        Add("extract, 2,000 x 1 s G.723.1, " + std::to_string(cores) + " cores (s)",
            ok ? Num(best, 2) : "failed", "<= 5", ok && best <= 5);
        qmbench::RemoveTree(root);
    }

    if (Want("check")) {  // check of 10,000 prompts: the lists, headers and texts alone, and
                          // with the level warnings, which read every sample.
        const std::string root = qmbench::MakeScratch();
        const size_t prompts = 10000, samples = 8000;
        const std::string pkg = qmbench::MakeAudioFolder(root, prompts, samples, 16000, 16000);
        const std::string cwd = qm::GetCurrentDir();
        qm::DryRun dry;
        dry.buildType = qm::BUILD_PROMPT;
        dry.codeType = qm::CODE_NONE;
        dry.audioFolder = root + "/audio";
        dry.packagePath = pkg;
        size_t errors = 1;
        dry.audioLevels = false;
        const double tQuick = Best(3, 1.0, [&] { errors = qm::RunDryRun(dry).errors.size(); });
        const bool quickOk = errors == 0;
        dry.audioLevels = true;
        const double tLevels = Best(3, 1.0, [&] { errors = qm::RunDryRun(dry).errors.size(); });
        qm::SetCurrentDir(cwd);
        const double mb = 2.0 * prompts * samples / 1e6;
        Add("check, 10,000 prompts, no level warnings (s)", quickOk ? Num(tQuick, 2) : "failed",
            "< 2", quickOk && tQuick < 2);
        // The level warnings' own speed: what they add to the quick check.
        const double levelsMBs = tLevels > tQuick ? mb / (tLevels - tQuick) : 0;
        Add("check's level warnings, MB/s of samples read (1 core)",
            errors == 0 ? Num(levelsMBs, 0) : "failed", ">= 300 (disk speed)",
            errors == 0 && levelsMBs >= 300);
        Add("check, 10,000 x 0.5 s prompts with level warnings (s)",
            errors == 0 ? Num(tLevels, 2) : "failed", "reported", errors == 0);
        qmbench::RemoveTree(root);
    }

    if (Want("decoders")) {  // A-law and IMA ADPCM decoding on one core, in MB of samples written
                             // per second: at least a disk's speed.
        const double secs = 300;
        const auto speech = qmbench::SpeechLike(static_cast<size_t>(8000 * secs), 8000);
        const auto n = static_cast<int32_t>(speech.size());
        std::vector<unsigned char> alaw(speech.size()), adpcm(speech.size() / 2);
        std::vector<int16_t> out(speech.size());
        qm::ALawEncode(speech.data(), n, alaw.data());
        qm::AdpcmEncode(speech.data(), n, adpcm.data());
        int rcA = 0, rcI = 0;
        const double tA = Best(5, 1.0, [&] { rcA = qm::ALawDecode(alaw.data(), n, out.data()); });
        const double tI =
            Best(5, 1.0, [&] { rcI = qm::AdpcmDecode(adpcm.data(), adpcm.size(), n, out.data()); });
        const double mb = 2.0 * n / 1e6;
        const double speedA = rcA == n ? mb / tA : 0, speedI = rcI == n ? mb / tI : 0;
        Add("A-law decoding, MB/s of samples out (1 core)", Num(speedA, 0), ">= 300",
            speedA >= 300);
        Add("IMA ADPCM decoding, MB/s of samples out (1 core)", Num(speedI, 0), ">= 300",
            speedI >= 300);
    }

    if (Want("resample")) {  // Levelling, fades and 48 kHz -> 16 kHz.
        const double secs = 30;
        const auto src = qmbench::SpeechLike(static_cast<size_t>(48000 * secs), 48000);
        const double t = Best(3, 2.0, [&] {
            qm::CAudioData audio;
            audio.samples = src;
            std::string err;
            audio.Normalize(20000.0f);
            audio.Fade();
            audio.Resample(48000, 16000, err);
        });
        const double speed = secs / t;
        Add("level+fade+resample 48k->16k, x real time (1 core)", Num(speed), ">= 100",
            speed >= 100);
    }

    if (Want("code4")) {  // Coding on every core.
        const std::string root = qmbench::MakeScratch();
        const std::string pkg = qmbench::MakeAudioFolder(root, 120, 8000 * 3, 8000, 8000);
        // Best of five of each, taken in turn, so that a moment of load on
        // the machine does not count against one of them alone.
        BuildRun plain, seq, par;
        for (int rep = 0; rep < 5; ++rep) {
            plain = Faster(plain, RunBuild(root, pkg, 0, 1), rep);
            seq = Faster(seq, RunBuild(root, pkg, 3, 1), rep);
            par = Faster(par, RunBuild(root, pkg, 3, static_cast<int>(cores)), rep);
        }
        const double coding = seq.seconds - plain.seconds;
        const double bound = 1.15 * coding / cores + plain.seconds;
        const bool ok = plain.ok && seq.ok && par.ok;
        Add("Code4 build, 120 x 3 s, " + std::to_string(cores) + " cores (s)",
            ok ? Num(par.seconds, 2) : "failed",
            "<= " + Num(bound, 2) + " (1.15 x " + Num(coding, 2) + " / " + std::to_string(cores) +
                " + " + Num(plain.seconds, 2) + ")",
            ok && par.seconds <= bound);
        qmbench::RemoveTree(root);
    }

    if (Want("code4-2000")) {  // Code4 build of about two hours of 16 kHz prompts.
        const size_t prompts = 2000, samples = 16000 * 36 / 10;
        const std::string root = qmbench::MakeScratch();
        const std::string pkg = qmbench::MakeAudioFolder(root, prompts, samples, 16000, 16000);
        const double alone = EncoderAlone(prompts, samples, 16000);
        BuildRun plain, par;
        for (int rep = 0; rep < 2; ++rep) {
            plain = Faster(plain, RunBuild(root, pkg, 0, static_cast<int>(cores)), rep);
            par = Faster(par, RunBuild(root, pkg, 3, static_cast<int>(cores)), rep);
        }
        const bool ok = plain.ok && par.ok && alone > 0;
        const double bound = 1.10 * alone / cores + plain.seconds;
        Add("encoder alone, 2,000 x 3.6 s at 16 kHz, 1 core (s)", ok ? Num(alone, 2) : "failed",
            "reported", ok);
        Add("Code1 build, 2,000 x 3.6 s at 16 kHz, " + std::to_string(cores) + " cores (s)",
            ok ? Num(plain.seconds, 2) : "failed", "reported", ok);
        Add("Code4 build, 2,000 x 3.6 s at 16 kHz, " + std::to_string(cores) + " cores (s)",
            ok ? Num(par.seconds, 2) : "failed",
            "<= " + Num(bound, 2) + " (1.10 x " + Num(alone, 2) + " / " + std::to_string(cores) +
                " + " + Num(plain.seconds, 2) + ")",
            ok && par.seconds <= bound);
        qmbench::RemoveTree(root);
    }

    if (Want("builds")) {  // Build time against prompt count; peak memory.
        double perPromptSmall = 0;
        long peak100 = 0, peak10k = 0;
        for (size_t n : {size_t{100}, size_t{1000}, size_t{10000}, size_t{65535}}) {
            const std::string root = qmbench::MakeScratch();
            const std::string pkg = qmbench::MakeAudioFolder(root, n, 800, 16000, 16000);
            BuildRun run;
            for (int rep = 0; rep < 3; ++rep) run = Faster(run, RunBuild(root, pkg, 0, 1), rep);
            const double perPrompt = run.seconds / static_cast<double>(n) * 1e6;
            if (n == 100) peak100 = run.peakKiB;
            if (n == 10000) peak10k = run.peakKiB;
            if (n == 1000) perPromptSmall = perPrompt;
            if (n >= 1000) {
                const bool linear = n == 1000 || perPrompt <= 1.5 * perPromptSmall;
                Add("Code1 build, " + std::to_string(n) + " prompts (s; us per prompt)",
                    run.ok ? Num(run.seconds, 2) + "; " + Num(perPrompt, 0) : "failed",
                    n == 1000 ? "completes" : "linear: <= 1.5 x the 1000-prompt us per prompt",
                    run.ok && linear);
            }
            qmbench::RemoveTree(root);
        }
        Add("peak RSS, 100 prompts (MiB)", Num(peak100 / 1024.0), "one clip per worker", true);
        const double growth = (peak10k - peak100) * 1024.0 / 9900.0;
        Add("peak RSS, 10,000 prompts (MiB); growth per prompt (bytes)",
            Num(peak10k / 1024.0) + "; " + Num(growth, 0),
            "growth only index + table (<= 2048 bytes per prompt)", growth <= 2048);
    }

    std::printf("%-62s %-22s %-48s %s\n", "figure", "value", "target", "met");
    for (const Row& r : rows)
        std::printf("%-62s %-22s %-48s %s\n", r.figure.c_str(), r.value.c_str(), r.target.c_str(),
                    r.met ? "yes" : "NO");
    return 0;
}
