// `inspect`: a package described and checked, as text or JSON.
#include "resfile/inspect.h"

#include <cstdio>
#include <memory>

#include "cli/inspect_render.h"
#include "cli/output.h"

namespace qm::cli {

Command AddInspectCommand(CLI::App& tool) {
    struct Args {
        std::string package;
        bool json = false;
    };
    auto args = std::make_shared<Args>();
    CLI::App* cmd = tool.add_subcommand("inspect", "Describe a package and check it");
    cmd->add_option("PACKAGE", args->package, "Package")->required();
    cmd->add_flag("--json", args->json, "Write JSON");
    return {cmd, [args] {
                InspectReport report;
                std::string err;
                if (!InspectPackage(args->package, report, err)) {
                    Fail(err);
                    return kExitFailed;
                }
                const std::string text =
                    args->json ? RenderInspectJson(report) : RenderInspectText(report);
                std::fwrite(text.data(), 1, text.size(), stdout);
                return report.problems.empty() ? kExitOk : kExitFailed;
            }};
}

}  // namespace qm::cli
