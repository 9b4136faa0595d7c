// `check`: the dry run of a build. Every problem of the inputs in one pass,
// as text lines or as JSON; nothing is written.
#include "driver/check.h"

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/output.h"
#include "driver/build_types.h"

namespace qm::cli {

namespace {

struct CheckArgs {
    std::string type;
    std::string code = "Code1";
    std::string audio;
    std::string irf;
    bool json = false;
    bool noLevels = false;
};

// "FILE:LINE: message" (or the reason where the build has no message).
std::string Headline(const Problem& p) {
    std::string where = p.file.empty() ? p.path : p.file;
    if (p.line > 0) where += ":" + std::to_string(p.line);
    const std::string& text = p.message.empty() ? p.reason : p.message;
    return where.empty() ? text : where + ": " + text;
}

// The headline, then the path (unless a note names it), the reason (unless
// the headline is the reason), the notes and the fix, each indented.
void PrintText(const char* kind, const Problem& p) {
    std::printf("%s: %s\n", kind, Headline(p).c_str());
    bool pathShown = p.path.empty() || p.path == p.file;
    for (const std::string& m : p.more)
        pathShown = pathShown || m.find(p.path) != std::string::npos;
    if (!pathShown) std::printf("  path: %s\n", p.path.c_str());
    if (!p.message.empty() && !p.reason.empty()) std::printf("  reason: %s\n", p.reason.c_str());
    for (const std::string& m : p.more) std::printf("  %s\n", m.c_str());
    if (!p.hint.empty()) std::printf("  fix: %s\n", p.hint.c_str());
}

nlohmann::json ToJson(const Problem& p) {
    nlohmann::json j = {{"file", p.file},       {"line", p.line},     {"path", p.path},
                        {"message", p.message}, {"reason", p.reason}, {"hint", p.hint},
                        {"kind", p.word},       {"notes", p.more}};
    return j;
}

int RunCheck(const CheckArgs& a) {
    DryRun run;
    run.buildType = FindBuildTypeOption(a.type)->type;
    run.codeType = FindCodeTypeName(a.code)->type;
    run.audioFolder = a.audio;
    run.packagePath = a.irf;
    run.audioLevels = !a.noLevels;
    const CheckReport report = RunDryRun(run);
    if (a.json) {
        nlohmann::json out = {{"errors", nlohmann::json::array()},
                              {"warnings", nlohmann::json::array()}};
        for (const Problem& p : report.errors) out["errors"].push_back(ToJson(p));
        for (const Problem& p : report.warnings) out["warnings"].push_back(ToJson(p));
        std::printf("%s\n", out.dump(2).c_str());
    } else {
        for (const Problem& p : report.errors) PrintText("error", p);
        for (const Problem& p : report.warnings) PrintText("warning", p);
        std::printf("%zu error%s, %zu warning%s\n", report.errors.size(),
                    report.errors.size() == 1 ? "" : "s", report.warnings.size(),
                    report.warnings.size() == 1 ? "" : "s");
    }
    return report.errors.empty() ? kExitOk : kExitFailed;
}

}  // namespace

Command AddCheckCommand(CLI::App& tool) {
    auto args = std::make_shared<CheckArgs>();
    std::vector<std::string> codes;
    for (const CodeTypeInfo& c : CodeTypes()) codes.emplace_back(c.name);

    CLI::App* cmd = tool.add_subcommand(
        "check", "Report every problem a build of the audio folder would meet, writing nothing");
    cmd->add_option("--type", args->type, "Build type")
        ->required()
        ->check(CLI::IsMember(BuildTypeOptions()));
    cmd->add_option("--audio", args->audio, "Audio folder (TextList.txt, WaveList.txt)")
        ->required();
    cmd->add_option("--irf", args->irf, "Input package (its rate and resources are checked)");
    cmd->add_option("--code", args->code, "Code type")->check(CLI::IsMember(codes));
    cmd->add_flag("--json", args->json, "Print the problems as JSON");
    cmd->add_flag("--no-levels", args->noLevels,
                  "Skip the warnings that read every sample (clipping, silence, offset, pace)");
    return {cmd, [args] { return RunCheck(*args); }};
}

}  // namespace qm::cli
