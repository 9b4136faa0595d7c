// `extract`: every record of a package's clip sets decoded and written as a
// WAV file, with an index of the records in JSON and CSV.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/out_folder.h"
#include "cli/output.h"
#include "driver/package_records.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "resfile/clip_container.h"

namespace qm::cli {
namespace {

struct ExtractArgs {
    std::string package;
    std::string out;
    std::string set;
    std::vector<int32_t> roles;
    std::vector<uint32_t> records;
    bool force = false;
    int jobs = 0;
};

// One record on its way out: where its WAV goes, and why it could not be written.
struct Outcome {
    std::string file;  // relative to the output folder, "/"-separated; "" when none
    std::string error;
};

std::string ClassesText(const std::vector<uint8_t>& classes) {
    std::string s;
    for (uint8_t c : classes) s += (s.empty() ? "" : " ") + std::to_string(c);
    return s;
}

// A CSV field, quoted when it holds a separator, a quote or a line end.
std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string IndexJson(const std::string& package, const std::vector<PackageRecord>& records,
                      const std::vector<Outcome>& outcomes) {
    using Json = nlohmann::ordered_json;
    Json j;
    j["package"] = package;
    Json list = Json::array();
    for (size_t i = 0; i < records.size(); ++i) {
        const PackageRecord& r = records[i];
        Json jr;
        jr["set"] = r.set;
        jr["role"] = r.role > 0 ? Json(r.role) : Json(nullptr);
        jr["roleId"] = r.role > 0 ? Json(r.roleId) : Json(nullptr);
        jr["record"] = r.number;
        jr["file"] = outcomes[i].file.empty() ? Json(nullptr) : Json(outcomes[i].file);
        jr["text"] = r.hasText ? Json(r.text) : Json(nullptr);
        jr["classes"] = r.classes;
        jr["samples"] = r.hasClip ? Json(r.samples) : Json(nullptr);
        jr["durationMs"] = r.hasClip ? Json(r.durationMs) : Json(nullptr);
        jr["coding"] = r.coding;
        jr["codingName"] = ClipCodingName(r.coding);
        jr["rate"] = r.rate;
        jr["offset"] = r.hasClip ? Json(r.offset) : Json(nullptr);
        jr["length"] = r.hasClip ? Json(r.length) : Json(nullptr);
        jr["error"] = outcomes[i].error.empty() ? Json(nullptr) : Json(outcomes[i].error);
        list.push_back(std::move(jr));
    }
    j["records"] = std::move(list);
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string IndexCsv(const std::vector<PackageRecord>& records,
                     const std::vector<Outcome>& outcomes) {
    std::string s =
        "set,role,role_id,record,file,text,classes,samples,duration_ms,coding,rate,offset,length,"
        "error\r\n";
    for (size_t i = 0; i < records.size(); ++i) {
        const PackageRecord& r = records[i];
        const auto clip = [&](uint64_t v) { return r.hasClip ? std::to_string(v) : std::string(); };
        s += r.set + "," + (r.role > 0 ? std::to_string(r.role) : "") + "," +
             (r.role > 0 ? std::to_string(r.roleId) : "") + "," + std::to_string(r.number) + "," +
             CsvField(outcomes[i].file) + "," + CsvField(r.text) + "," + ClassesText(r.classes) +
             "," + clip(r.samples) + "," + clip(r.durationMs) + "," +
             CsvField(ClipCodingName(r.coding)) + "," + std::to_string(r.rate) + "," +
             clip(r.offset) + "," + clip(r.length) + "," + CsvField(outcomes[i].error) + "\r\n";
    }
    return s;
}

int RunExtract(const ExtractArgs& a) {
    RecordSelection sel;
    if (!a.set.empty()) sel.sets = {a.set};
    if (!a.roles.empty()) {
        if (!a.set.empty() && a.set != "role") {
            Fail("--role selects role records; it cannot be given with --set " + a.set);
            return kExitUsage;
        }
        sel.sets = {"role"};
        sel.roleIds = a.roles;
    }
    sel.numbers = a.records;
    InspectReport report;
    std::string err;
    if (!InspectPackage(a.package, report, err)) {
        Fail(err);
        return kExitFailed;
    }
    const std::vector<PackageRecord> records = PackageRecords(report, sel);
    if (!PrepareOutputFolder(a.out, a.force, err)) {
        Fail(err);
        return kExitFailed;
    }
    // Every folder first, so the workers only write files.
    std::vector<Outcome> outcomes(records.size());
    std::vector<std::string> files;
    ClipLayout layout;
    if (!layout.Make(a.out, records, files, err)) {
        Fail(err);
        return kExitFailed;
    }
    for (size_t i = 0; i < records.size(); ++i) outcomes[i].file = files[i];
    const bool opened = DecodeRecords(
        a.package, records, a.jobs,
        [&](size_t i, const std::vector<int16_t>& samples, const std::string& error) {
            Outcome& o = outcomes[i];
            o.error = error;
            if (o.error.empty())
                WriteRecordWav(JoinPath(a.out, o.file), records[i], samples, o.error);
            if (!o.error.empty()) o.file.clear();
        },
        err);
    if (!opened) {
        Fail(err);
        return kExitFailed;
    }
    const std::string json = IndexJson(a.package, records, outcomes);
    const std::string csv = IndexCsv(records, outcomes);
    if (!WriteRegular(JoinPath(a.out, "index.json"), json.data(), json.size(), err) ||
        !WriteRegular(JoinPath(a.out, "index.csv"), csv.data(), csv.size(), err)) {
        Fail(err);
        return kExitFailed;
    }
    size_t failed = 0;
    for (const Outcome& o : outcomes) failed += o.error.empty() ? 0 : 1;
    std::printf("Extracted %zu of %zu records to %s\n", records.size() - failed, records.size(),
                a.out.c_str());
    if (failed == 0) return kExitOk;
    Failure failure{Format("%zu records were not extracted:", failed), {}, "extract", a.package};
    for (size_t i = 0; i < records.size(); ++i) {
        if (outcomes[i].error.empty()) continue;
        const PackageRecord& r = records[i];
        const std::string where = r.role > 0 ? Format("role %d (id %d)", r.role, r.roleId) : r.set;
        failure.detail.push_back(
            Format("%s record %u: %s", where.c_str(), r.number, outcomes[i].error.c_str()));
    }
    Fail(failure);
    return kExitFailed;
}

}  // namespace

Command AddExtractCommand(CLI::App& tool) {
    auto args = std::make_shared<ExtractArgs>();
    CLI::App* cmd =
        tool.add_subcommand("extract", "Decode every record of a package into WAV files");
    cmd->add_option("PACKAGE", args->package, "Package")->required();
    cmd->add_option("--out", args->out, "Folder to write")->required();
    cmd->add_option("--set", args->set, "Only this set")
        ->check(CLI::IsMember({"prompt", "bgsound", "role"}));
    cmd->add_option("--role", args->roles, "Only the roles with these identifiers");
    cmd->add_option("--record", args->records, "Only these record numbers");
    cmd->add_flag("--force", args->force, "Write into a folder that is not empty");
    cmd->add_option("--jobs", args->jobs, "Decoding threads (default: one per core)")
        ->check(CLI::Range(1, 64));
    return {cmd, [args] { return RunExtract(*args); }};
}

}  // namespace qm::cli
