// quillmark-cli: the builds of the desktop dialog without the dialog, and a
// few tools around packages and coders. Each command lives in its own file.
#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "cli/output.h"

int main(int argc, char** argv) {
    using namespace qm::cli;
    CLI::App app{"Packs recorded prompt audio into a speech engine's resource package (.irf).",
                 "quillmark-cli"};
    app.set_version_flag("--version", std::string("quillmark-cli ") + QM_VERSION);
    app.require_subcommand(1);

    const std::vector<Command> commands = {
        AddBuildCommand(app),   AddRateCommand(app),    AddInitPackageCommand(app),
        AddInspectCommand(app), AddEncodeCommand(app),  AddDecodeCommand(app),
        AddConformCommand(app), AddExtractCommand(app), AddDiffCommand(app),
        AddCheckCommand(app),   AddReportCommand(app)};
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
    for (const Command& c : commands)
        if (c.app->parsed()) return c.run();
    return kExitUsage;
}
