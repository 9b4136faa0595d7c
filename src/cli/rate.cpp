// `rate`: a package's sample rate as the dialog shows it.
#include <cstdio>
#include <memory>

#include "cli/output.h"
#include "driver/build_types.h"
#include "platform/fs.h"
#include "resfile/clipset.h"

namespace qm::cli {

Command AddRateCommand(CLI::App& tool) {
    struct Args {
        std::string package;
        std::string type = FindBuildType(BUILD_PROMPT)->option;
    };
    auto args = std::make_shared<Args>();
    CLI::App* cmd = tool.add_subcommand("rate", "Show a package's sample rate");
    cmd->add_option("PACKAGE", args->package, "Package")->required();
    cmd->add_option("--type", args->type, "Build type whose clip resource is read")
        ->check(CLI::IsMember(BuildTypeOptions()));
    return {cmd, [args] {
                CClipSet probe;
                std::string err;
                if (!probe.OpenPackage(FindBuildTypeOption(args->type)->type,
                                       MakeAbsolute(args->package), err)) {
                    Fail(err);
                    return kExitFailed;
                }
                std::printf("%s\n", RateText(probe.sampleRate));
                return kExitOk;
            }};
}

}  // namespace qm::cli
