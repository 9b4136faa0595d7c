// `extract`: every record of a package's clip sets decoded and written as a
// WAV file, with an index of the records in JSON and CSV.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "cli/output.h"
#include "driver/package_records.h"
#include "platform/bytes.h"
#include "platform/file.h"
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

bool IsLink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// A folder made (or found) at path; a link or another kind of file there is refused.
bool MakeFolder(const std::string& path, std::string& err) {
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    struct stat st;
    if (errno == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    err = Format("Cannot create folder %s", path.c_str());
    return false;
}

bool FolderIsEmpty(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_empty(path, ec) && !ec;
}

// Writes bytes to path, which must be absent or a regular file: never through
// a link, never over a device. A failed write leaves no file behind.
bool WriteRegular(const std::string& path, const void* data, size_t size, std::string& err) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        err = Format("Cannot write %s: it is not a regular file", path.c_str());
        return false;
    }
    File f;
    bool ok = f.Open(path, "wb");
    if (ok) {
        ok = (size == 0 || f.Write(data, size)) && f.Close();
        if (!ok) RemoveFile(path);
    }
    if (!ok) err = Format("Cannot write %s", path.c_str());
    return ok;
}

// A WAV file with the plain 44-byte header: 16-bit mono PCM at rate.
std::vector<unsigned char> WavBytes(const std::vector<int16_t>& samples, uint32_t rate) {
    const auto dataBytes = static_cast<uint32_t>(2 * samples.size());
    std::vector<unsigned char> b(44 + size_t{dataBytes});
    unsigned char* p = b.data();
    std::copy_n("RIFF", 4, p);
    PutU32(p + 4, 36 + dataBytes);
    std::copy_n("WAVEfmt ", 8, p + 8);
    PutU32(p + 16, 16);
    PutU16(p + 20, 1);
    PutU16(p + 22, 1);
    PutU32(p + 24, rate);
    PutU32(p + 28, 2 * rate);
    PutU16(p + 32, 2);
    PutU16(p + 34, 16);
    std::copy_n("data", 4, p + 36);
    PutU32(p + 40, dataBytes);
    for (size_t i = 0; i < samples.size(); ++i)
        PutU16(p + 44 + 2 * i, static_cast<uint16_t>(samples[i]));
    return b;
}

// The folder of a record's set below the output folder: "prompt", "bgsound",
// or "role/<ID>" (a role whose identifier an earlier role already has gets
// "role/<ID>-<role number>").
std::string SetFolder(const PackageRecord& r, std::map<int32_t, std::string>& roleFolders,
                      std::set<int32_t>& takenIds) {
    if (r.role == 0) return r.set;
    auto it = roleFolders.find(r.role);
    if (it != roleFolders.end()) return it->second;
    std::string folder = Format("role/%d", r.roleId);
    if (!takenIds.insert(r.roleId).second) folder += Format("-%d", r.role);
    roleFolders[r.role] = folder;
    return folder;
}

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

// The output folder made or accepted: a new folder is made (its parent must
// exist); an existing one must be a folder, not a link, and empty unless forced.
bool PrepareOutput(const ExtractArgs& a, std::string& err) {
    if (IsLink(a.out)) {
        err = Format("Output folder %s is a link; give the folder itself", a.out.c_str());
        return false;
    }
    if (PathFileExists(a.out)) {
        if (!PathIsDirectory(a.out)) {
            err = Format("Output folder %s exists and is not a folder", a.out.c_str());
            return false;
        }
        if (!a.force && !FolderIsEmpty(a.out)) {
            err = Format("Output folder %s is not empty (--force writes into it)", a.out.c_str());
            return false;
        }
        return true;
    }
    return MakeFolder(a.out, err);
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
    if (!PrepareOutput(a, err)) {
        Fail(err);
        return kExitFailed;
    }
    // Every folder first, so the workers only write files.
    std::vector<Outcome> outcomes(records.size());
    std::map<int32_t, std::string> roleFolders;
    std::set<int32_t> takenIds;
    std::set<std::string> made;
    for (size_t i = 0; i < records.size(); ++i) {
        const std::string folder = SetFolder(records[i], roleFolders, takenIds);
        std::string folderErr;
        if (made.insert(folder).second) {
            if (records[i].role > 0 && made.insert("role").second &&
                !MakeFolder(JoinPath(a.out, "role"), folderErr)) {
                Fail(folderErr);
                return kExitFailed;
            }
            if (!MakeFolder(JoinPath(a.out, folder), folderErr)) {
                Fail(folderErr);
                return kExitFailed;
            }
        }
        outcomes[i].file = folder + Format("/%05u.wav", records[i].number);
    }
    const bool opened = DecodeRecords(
        a.package, records, a.jobs,
        [&](size_t i, const std::vector<int16_t>& samples, const std::string& error) {
            Outcome& o = outcomes[i];
            o.error = error;
            if (error.empty() && records[i].rate == 0) {
                o.error = Format("rate byte %u is not 8, 11, 16 or 22", records[i].rateByte);
            }
            if (o.error.empty() && 2 * uint64_t{samples.size()} + 36 > UINT32_MAX) {
                o.error = Format("%zu samples, too many for a WAV file", samples.size());
            }
            if (o.error.empty()) {
                const std::vector<unsigned char> wav =
                    WavBytes(samples, static_cast<uint32_t>(records[i].rate));
                WriteRegular(JoinPath(a.out, o.file), wav.data(), wav.size(), o.error);
            }
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
