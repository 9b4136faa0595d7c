// `build`: what the dialog's Start button does, through the same request.
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "cli/output.h"
#include "driver/build_types.h"
#include "driver/check.h"
#include "driver/request.h"
#include "platform/interrupt.h"

namespace qm::cli {

namespace {

struct BuildArgs {
    std::string type;
    std::string code;
    std::string audio;
    std::string irf;
    std::string out;
    int jobs = 0;
};

int RunBuild(const BuildArgs& a) {
    // SIGINT, SIGTERM and SIGHUP stop the build at its next check, so that it
    // removes its temporary files on the way out.
    InstallInterruptHandlers();
    BuildRequest request;
    request.buildType = FindBuildTypeOption(a.type)->type;
    request.codeType = FindCodeTypeName(a.code)->type;
    request.audioFolder = a.audio;
    request.packagePath = a.irf;
    request.outputPath = a.out;
    request.jobs = a.jobs;
    CheckedRequest checked;
    if (std::optional<Failure> refused = CheckRequest(request, checked)) {
        Fail(*refused);
        return kExitFailed;
    }

    // The warnings of the dry run; its errors are the build's own to report.
    DryRun dry;
    dry.buildType = checked.buildType;
    dry.codeType = checked.codeType;
    dry.audioFolder = checked.audioFolder;
    dry.packagePath = checked.packagePath;
    const std::vector<Problem> warnings = RunDryRun(dry).warnings;
    auto warn = [&warnings] {
        for (const Problem& p : warnings) {
            std::string where = p.file.empty() ? p.path : p.file;
            if (p.line > 0) where += ":" + std::to_string(p.line);
            std::fprintf(stderr, "warning: %s: %s\n", where.c_str(), p.reason.c_str());
            if (!p.hint.empty()) std::fprintf(stderr, "  fix: %s\n", p.hint.c_str());
        }
    };

    TerminalProgress bar;
    Failure failure;
    const bool ok = RunCheckedRequest(checked, ::isatty(STDERR_FILENO) ? &bar : nullptr, failure);
    bar.End();
    if (ok) {
        warn();
        std::printf("%s\n", SuccessMessage(checked).c_str());
    }
    EndInterruptHandling();
    if (Interrupted()) return InterruptExit();
    if (ok) return kExitOk;
    if (failure.message.empty()) {
        // The dialog would show an empty box; say at least what failed.
        Fail("Build failed: " +
             (failure.detail.empty() ? std::string("no message") : failure.detail.front()));
        for (size_t i = 1; i < failure.detail.size(); ++i)
            std::fprintf(stderr, "  %s\n", failure.detail[i].c_str());
    } else {
        Fail(failure);
    }
    warn();
    return kExitFailed;
}

}  // namespace

Command AddBuildCommand(CLI::App& tool) {
    auto args = std::make_shared<BuildArgs>();
    std::vector<std::string> codes;
    for (const CodeTypeInfo& c : CodeTypes()) codes.emplace_back(c.name);

    CLI::App* cmd = tool.add_subcommand("build", "Build a new package from an audio folder");
    cmd->add_option("--type", args->type, "Build type")
        ->required()
        ->check(CLI::IsMember(BuildTypeOptions()));
    cmd->add_option("--code", args->code, "Code type")->required()->check(CLI::IsMember(codes));
    cmd->add_option("--audio", args->audio, "Audio folder (TextList.txt, WaveList.txt)");
    cmd->add_option("--irf", args->irf, "Input package");
    cmd->add_option("--out", args->out,
                    "Write the new package here instead of into the audio folder");
    cmd->add_option("--jobs", args->jobs, "Coder threads (0: one per core)")
        ->check(CLI::Range(0, 256));
    return {cmd, [args] { return RunBuild(*args); }};
}

}  // namespace qm::cli
