// `init-package`: a skeleton package with the six resources empty.
#include <cstdio>
#include <memory>

#include "cli/output.h"
#include "driver/build_types.h"
#include "platform/fs.h"
#include "platform/interrupt.h"
#include "platform/text.h"
#include "resfile/package.h"

namespace qm::cli {

Command AddInitPackageCommand(CLI::App& tool) {
    struct Args {
        std::string out;
        int rate = 0;
        int extra = 1;
        bool force = false;
    };
    auto args = std::make_shared<Args>();
    std::vector<int> rates;
    for (const RateInfo& r : Rates()) rates.push_back(r.hz);

    CLI::App* cmd =
        tool.add_subcommand("init-package", "Write a skeleton package with empty resources");
    cmd->add_option("OUT", args->out, "Package to write")->required();
    cmd->add_option("--rate", args->rate, "Sample rate")->required()->check(CLI::IsMember(rates));
    cmd->add_option("--extra", args->extra, "Opaque resources around the six empty ones")
        ->check(CLI::Range(0, kSkeletonMaxExtra));
    cmd->add_flag("--force", args->force, "Replace an existing file");
    return {cmd, [args] {
                InstallInterruptHandlers();
                std::string err;
                const std::string out = MakeAbsolute(args->out);
                // A folder, FIFO, device or socket at the name, or a folder
                // that takes no file, is refused before anything is written.
                if (const std::string problem = ReplaceProblem(out); !problem.empty()) {
                    Fail(Failure{
                        Format("Can not create file %s！", out.c_str()), {problem}, "output", out});
                    return kExitFailed;
                }
                const bool written =
                    WriteSkeletonPackage(out, args->rate, args->extra, err, args->force);
                EndInterruptHandling();
                if (Interrupted()) return InterruptExit();
                if (!written) {
                    Fail(err);
                    return kExitFailed;
                }
                std::printf("%s\n", args->out.c_str());
                return kExitOk;
            }};
}

}  // namespace qm::cli
