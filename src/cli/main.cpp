// quillmark-cli: the builds of the desktop dialog without the dialog, and a
// few tools around packages and coders.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <map>
#include <string>

#include "cli/inspect_render.h"
#include "codec/frontend.h"
#include "driver/package_build.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "resfile/formats.h"
#include "resfile/package.h"

namespace {

using namespace qm;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void Fail(const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); }

// A progress bar on standard error, drawn only when that is a terminal.
class TerminalProgress : public ProgressSink {
  public:
    int GetPos() const override { return pos_; }
    void SetPos(int pos) override {
        pos_ = pos;
        const int width = 40;
        int filled = std::max(0, std::min(width, pos * width / 100));
        std::fprintf(stderr, "\r[%s%s] %3d%%",
                     std::string(static_cast<size_t>(filled), '#').c_str(),
                     std::string(static_cast<size_t>(width - filled), ' ').c_str(), pos);
        std::fflush(stderr);
        drawn_ = true;
    }
    void End() {
        if (drawn_) std::fprintf(stderr, "\n");
        drawn_ = false;
    }

  private:
    int pos_ = 0;
    bool drawn_ = false;
};

const std::map<std::string, int> kBuildTypes = {
    {"prompt", BUILD_PROMPT}, {"bgsound", BUILD_BGSOUND}, {"role", BUILD_ROLE}};
const std::map<std::string, int> kCodeTypes = {
    {"Code1", CODE_NONE}, {"Code2", CODE_ALAW}, {"Code3", CODE_ADPCM}, {"Code4", CODE_G7231}};

const char* RateText(int32_t rate) {
    switch (rate) {
        case 8000:
            return "8kHz  16bit";
        case 11025:
            return "11kHz 16bit";
        case 16000:
            return "16kHz 16bit";
        case 22050:
            return "22kHz 16bit";
        default:
            return "";
    }
}

struct BuildArgs {
    std::string type;
    std::string code;
    std::string audio;
    std::string irf;
    std::string out;
    int jobs = 0;
};

// The Start command of the dialog: the same checks in the same order, the
// audio folder as current directory, one build.
int RunBuild(const BuildArgs& a) {
    const int buildType = kBuildTypes.at(a.type);
    const int codeType = kCodeTypes.at(a.code);
    // Relative paths mean what the user typed: they are made absolute before
    // the current directory moves.
    const std::string package = MakeAbsolute(a.irf);
    const std::string audio = MakeAbsolute(a.audio);
    const std::string out = a.out.empty() ? std::string() : MakeAbsolute(a.out);

    if (package.empty()) {
        Fail("Please select an original IRF file！");
        return kExitFailed;
    }
    if (audio.empty()) {
        Fail("Please specify audio file path！");
        return kExitFailed;
    }
    if (!PathIsDirectory(audio)) {
        Fail("The audio file path is incorrect, please re-set it!");
        return kExitFailed;
    }
    if (!PathFileExists(package) || PathIsDirectory(package)) {
        Fail("IRF file path name is incorrect, please re-set it!");
        return kExitFailed;
    }
    SetCurrentDir(audio);

    TerminalProgress bar;
    CPackageBuild build;
    if (::isatty(STDERR_FILENO)) build.SetProgress(&bar);
    if (!out.empty()) build.SetOutputPath(out);
    build.SetJobs(a.jobs);
    std::string err;
    const bool ok = build.Run(buildType, audio, package, codeType, err);
    bar.End();
    if (ok) {
        std::string where =
            out.empty() ? Format("%s/%s", audio.c_str(), PathFindFileName(package).c_str())
                        : Format("%s/%s", ParentPath(out).c_str(), PathFindFileName(out).c_str());
        std::printf("The new IRF has been generated，it located in %s\n", where.c_str());
        return kExitOk;
    }
    if (!err.empty()) {
        Fail(err);
    } else {
        Fail("Build failed: " +
             (build.FailureNote().empty() ? std::string("no message") : build.FailureNote()));
    }
    return kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Packs recorded prompt audio into a speech engine's resource package (.irf).",
                 "quillmark-cli"};
    app.set_version_flag("--version", std::string("quillmark-cli ") + QM_VERSION);
    app.require_subcommand(1);

    BuildArgs build;
    CLI::App* cmdBuild = app.add_subcommand("build", "Build a new package from an audio folder");
    cmdBuild->add_option("--type", build.type, "Build type")
        ->required()
        ->check(CLI::IsMember({"prompt", "bgsound", "role"}));
    cmdBuild->add_option("--code", build.code, "Code type")
        ->required()
        ->check(CLI::IsMember({"Code1", "Code2", "Code3", "Code4"}));
    cmdBuild->add_option("--audio", build.audio, "Audio folder (TextList.txt, WaveList.txt)");
    cmdBuild->add_option("--irf", build.irf, "Input package");
    cmdBuild->add_option("--out", build.out,
                         "Write the new package here instead of into the audio folder");
    cmdBuild->add_option("--jobs", build.jobs, "Coder threads (0: one per core)")
        ->check(CLI::Range(0, 256));

    std::string ratePackage, rateType = "prompt";
    CLI::App* cmdRate = app.add_subcommand("rate", "Show a package's sample rate");
    cmdRate->add_option("PACKAGE", ratePackage, "Package")->required();
    cmdRate->add_option("--type", rateType, "Build type whose clip resource is read")
        ->check(CLI::IsMember({"prompt", "bgsound", "role"}));

    std::string initOut;
    int initRate = 0, initExtra = 1;
    bool initForce = false;
    CLI::App* cmdInit =
        app.add_subcommand("init-package", "Write a skeleton package with empty resources");
    cmdInit->add_option("OUT", initOut, "Package to write")->required();
    cmdInit->add_option("--rate", initRate, "Sample rate")
        ->required()
        ->check(CLI::IsMember({8000, 11025, 16000, 22050}));
    cmdInit->add_option("--extra", initExtra, "Opaque resources around the six empty ones")
        ->check(CLI::Range(0, kSkeletonMaxExtra));
    cmdInit->add_flag("--force", initForce, "Replace an existing file");

    std::string inspectPackage;
    bool inspectJson = false;
    CLI::App* cmdInspect = app.add_subcommand("inspect", "Describe a package and check it");
    cmdInspect->add_option("PACKAGE", inspectPackage, "Package")->required();
    cmdInspect->add_flag("--json", inspectJson, "Write JSON");

    std::string codec, encodeIn, encodeOut;
    CLI::App* cmdEncode =
        app.add_subcommand("encode", "Code raw 16-bit little-endian mono samples as one clip");
    cmdEncode->add_option("--codec", codec, "Coder")
        ->required()
        ->check(CLI::IsMember({"alaw", "adpcm", "g7231"}));
    cmdEncode->add_option("IN", encodeIn, "Raw samples")->required();
    cmdEncode->add_option("OUT", encodeOut, "Coded bytes")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }

    if (cmdBuild->parsed()) return RunBuild(build);

    if (cmdRate->parsed()) {
        CPackageBuild probe;
        std::string err;
        if (!probe.clipSet.OpenPackage(kBuildTypes.at(rateType), MakeAbsolute(ratePackage), err)) {
            Fail(err);
            return kExitFailed;
        }
        std::printf("%s\n", RateText(probe.clipSet.sampleRate));
        return kExitOk;
    }

    if (cmdInit->parsed()) {
        std::string err;
        if (!WriteSkeletonPackage(MakeAbsolute(initOut), initRate, initExtra, err, initForce)) {
            Fail(err);
            return kExitFailed;
        }
        std::printf("%s\n", initOut.c_str());
        return kExitOk;
    }

    if (cmdInspect->parsed()) {
        InspectReport report;
        std::string err;
        if (!InspectPackage(inspectPackage, report, err)) {
            Fail(err);
            return kExitFailed;
        }
        std::string text = inspectJson ? RenderInspectJson(report) : RenderInspectText(report);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return report.problems.empty() ? kExitOk : kExitFailed;
    }

    if (cmdEncode->parsed()) {
        std::string err;
        if (EncodeRawFile(codec, encodeIn, encodeOut, err) != 0) {
            Fail(err);
            return kExitFailed;
        }
        return kExitOk;
    }
    return kExitUsage;
}
