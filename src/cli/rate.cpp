// `rate`: a package's sample rate as the dialog shows it.
#include <cstdio>
#include <memory>

#include "cli/output.h"
#include "driver/build_types.h"
#include "platform/fs.h"
#include "resfile/package.h"

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
                int32_t rate = 0;
                std::string err;
                if (!ReadPackageRate(FindBuildTypeOption(args->type)->type,
                                     MakeAbsolute(args->package), rate, err)) {
                    Fail(err);
                    return kExitFailed;
                }
                std::printf("%s\n", RateText(rate));
                return kExitOk;
            }};
}

}  // namespace qm::cli
