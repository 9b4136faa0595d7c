// `report`: a folder to open in a browser, with no server and no network:
// every record of a package with its text, waveform, levels and a player on
// its decoded WAV, flags for what needs a listen, and (given the folder it
// was built from) its recording, `check`'s warnings and the coding's damage.
#include <cstdio>
#include <limits>
#include <memory>

#include "cli/out_folder.h"
#include "cli/output.h"
#include "cli/report_html.h"
#include "driver/build_types.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qm::cli {
namespace {

struct ReportArgs {
    std::string package;
    std::string out;
    std::string audio;
    std::string type;
    bool force = false;
    double lowSnr = -std::numeric_limits<double>::infinity();  // no threshold unless given
    int jobs = 0;
};

// The code type whose coder makes the coding byte of the set the folder builds.
int32_t CodeTypeOf(const InspectReport& report, int32_t buildType) {
    for (const InspectSet& s : report.sets) {
        const bool ofType = buildType == BUILD_ROLE
                                ? s.role > 0
                                : s.role == 0 && s.name == FindBuildType(buildType)->option;
        if (!ofType || !s.hasClips) continue;
        for (const CodeTypeInfo& c : CodeTypes())
            if (c.coding == s.coding) return c.type;
    }
    return CODE_NONE;
}

bool WriteText(const std::string& path, const std::string& text, std::string& err) {
    return WriteRegular(path, text.data(), text.size(), err);
}

int RunReport(ReportArgs a) {
    if (a.audio.empty() != a.type.empty()) {
        Fail(
            "--audio and --type go together: the folder and build type the package was built from");
        return kExitUsage;
    }
    // The dry run moves the current directory: every path is taken first.
    a.package = MakeAbsolute(a.package);
    a.out = MakeAbsolute(a.out);
    ReportModel model;
    std::string err;
    if (!InspectPackage(a.package, model.package, err)) {
        Fail(err);
        return kExitFailed;
    }
    if (!PrepareOutputFolder(a.out, a.force, err)) {
        Fail(err);
        return kExitFailed;
    }
    if (!a.audio.empty()) {
        const int32_t buildType = FindBuildTypeOption(a.type)->type;
        model.hasFolder = true;
        model.folder =
            ReadReportFolder(a.audio, buildType, CodeTypeOf(model.package, buildType), a.package);
    }
    model.lowSnrBelowDb = a.lowSnr;
    const std::vector<PackageRecord> records = PackageRecords(model.package);
    std::vector<std::string> files;
    ClipLayout layout;
    if (!layout.Make(a.out, records, files, err)) {
        Fail(err);
        return kExitFailed;
    }
    model.rows.resize(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        model.rows[i].record = records[i];
        model.rows[i].file = files[i];
    }
    const bool opened = DecodeRecords(
        a.package, records, a.jobs,
        [&](size_t i, const std::vector<int16_t>& samples, const std::string& error) {
            ReportRow& row = model.rows[i];
            row.error = error;
            if (row.error.empty())
                WriteRecordWav(JoinPath(a.out, row.file), row.record, samples, row.error);
            if (!row.error.empty()) row.file.clear();
            row.measure = MeasureClip(samples);
            if (model.hasFolder) CompareWithFolder(model.folder, samples, row);
        },
        err);
    if (!opened) {
        Fail(err);
        return kExitFailed;
    }
    FlagLowSnr(model.rows, a.lowSnr);
    const std::string html = RenderReportHtml(model);
    if (!WriteText(JoinPath(a.out, kReportScriptName), kReportScript, err) ||
        !WriteText(JoinPath(a.out, kReportStyleName), kReportStyle, err) ||
        !WriteText(JoinPath(a.out, "index.html"), html, err)) {
        Fail(err);
        return kExitFailed;
    }
    size_t missing = 0;
    for (const ReportRow& row : model.rows) missing += row.file.empty() ? 1 : 0;
    if (missing > 0)
        std::fprintf(stderr, "warning: %zu of %zu records have no WAV file (see the report)\n",
                     missing, model.rows.size());
    if (model.hasFolder && !model.folder.errors.empty())
        std::fprintf(
            stderr,
            "warning: a build of the folder would be refused: %zu errors (see the report)\n",
            model.folder.errors.size());
    std::printf("Report of %zu records written to %s\n", model.rows.size(),
                JoinPath(a.out, "index.html").c_str());
    return kExitOk;
}

}  // namespace

Command AddReportCommand(CLI::App& tool) {
    auto args = std::make_shared<ReportArgs>();
    CLI::App* cmd = tool.add_subcommand(
        "report",
        "Write a page to open in a browser: every record's text, waveform, player and flags");
    cmd->add_option("PACKAGE", args->package, "Package")->required();
    cmd->add_option("--out", args->out, "Folder to write")->required();
    cmd->add_option("--audio", args->audio, "Audio folder the package was built from");
    cmd->add_option("--type", args->type, "Build type the package was built with")
        ->check(CLI::IsMember(BuildTypeOptions()));
    cmd->add_flag("--force", args->force, "Write into a folder that is not empty");
    cmd->add_option("--low-snr", args->lowSnr,
                    "Also flag coded records below this signal-to-noise ratio (dB)");
    cmd->add_option("--jobs", args->jobs, "Decoding threads (default: one per core)")
        ->check(CLI::Range(1, 64));
    return {cmd, [args] { return RunReport(*args); }};
}

}  // namespace qm::cli
