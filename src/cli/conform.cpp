#include "cli/conform.h"

#include <cstdio>
#include <map>
#include <memory>

#include "cli/conform_render.h"
#include "cli/output.h"

namespace qm {
namespace {

const std::map<std::string, ListEncoding> kEncodings = {{"auto", ListEncoding::kAuto},
                                                        {"gbk", ListEncoding::kCp936},
                                                        {"utf-8", ListEncoding::kUtf8},
                                                        {"utf-16", ListEncoding::kUtf16}};

void Print(FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

ConformCommand::ConformCommand(CLI::App& app) {
    cmd_ = app.add_subcommand("conform",
                              "Turn any audio and any list encoding into a folder the build takes");
    cmd_->add_option("--audio", options_.inDir, "Folder of lists and recordings (only read)")
        ->required();
    cmd_->add_option("--out", options_.outDir, "Folder to write (outside the audio folder)")
        ->required();
    cmd_->add_option("--rate", options_.rate, "Resample every recording to exactly this rate")
        ->check(CLI::IsMember({8000, 11025, 16000, 22050}));
    cmd_->add_option("--lists", lists_, "Encoding of the list files")
        ->check(CLI::IsMember({"auto", "gbk", "utf-8", "utf-16"}));
    cmd_->add_flag("--force", options_.force, "Replace files that exist in the output folder");
    cmd_->add_flag("--json", json_, "Write the report as JSON");
}

int ConformCommand::Run() const {
    ConformOptions options = options_;
    options.lists = kEncodings.at(lists_);
    ConformReport report;
    std::string err;
    const ConformOutcome outcome = ConformFolder(options, report, err);
    if (outcome == ConformOutcome::kBadUsage || outcome == ConformOutcome::kRefused) {
        Print(stderr, err + "\n");
        return outcome == ConformOutcome::kBadUsage ? 2 : 1;
    }
    Print(stdout, json_ ? RenderConformJson(report, options) : RenderConformText(report));
    if (outcome == ConformOutcome::kAllConformed) return 0;
    Print(stderr, "Some inputs were not conformed:\n" + RenderConformFailures(report));
    return 1;
}

}  // namespace qm

namespace qm::cli {

Command AddConformCommand(CLI::App& tool) {
    auto command = std::make_shared<ConformCommand>(tool);
    return {command->App(), [command] { return command->Run(); }};
}

}  // namespace qm::cli
