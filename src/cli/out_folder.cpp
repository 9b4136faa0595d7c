#include "cli/out_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qm::cli {
namespace {

bool IsLink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool FolderIsEmpty(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_empty(path, ec) && !ec;
}

}  // namespace

bool MakeFolder(const std::string& path, std::string& err) {
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    struct stat st;
    if (errno == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    err = Format("Cannot create folder %s", path.c_str());
    return false;
}

bool PrepareOutputFolder(const std::string& out, bool force, std::string& err) {
    if (IsLink(out)) {
        err = Format("Output folder %s is a link; give the folder itself", out.c_str());
        return false;
    }
    if (PathFileExists(out)) {
        if (!PathIsDirectory(out)) {
            err = Format("Output folder %s exists and is not a folder", out.c_str());
            return false;
        }
        if (!force && !FolderIsEmpty(out)) {
            err = Format("Output folder %s is not empty (--force writes into it)", out.c_str());
            return false;
        }
        return true;
    }
    return MakeFolder(out, err);
}

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

std::string ClipLayout::SetFolder(const PackageRecord& r) {
    if (r.role == 0) return r.set;
    auto it = roleFolders_.find(r.role);
    if (it != roleFolders_.end()) return it->second;
    std::string folder = Format("role/%d", r.roleId);
    if (!takenIds_.insert(r.roleId).second) folder += Format("-%d", r.role);
    roleFolders_[r.role] = folder;
    return folder;
}

bool ClipLayout::Make(const std::string& out, const std::vector<PackageRecord>& records,
                      std::vector<std::string>& files, std::string& err) {
    files.assign(records.size(), std::string());
    std::set<std::string> made;
    for (size_t i = 0; i < records.size(); ++i) {
        const std::string folder = SetFolder(records[i]);
        if (made.insert(folder).second) {
            if (records[i].role > 0 && made.insert("role").second &&
                !MakeFolder(JoinPath(out, "role"), err))
                return false;
            if (!MakeFolder(JoinPath(out, folder), err)) return false;
        }
        files[i] = folder + Format("/%05u.wav", records[i].number);
    }
    return true;
}

bool WriteRecordWav(const std::string& path, const PackageRecord& record,
                    const std::vector<int16_t>& samples, std::string& err) {
    if (record.rate == 0) {
        err = Format("rate byte %u is not 8, 11, 16 or 22", record.rateByte);
        return false;
    }
    if (2 * uint64_t{samples.size()} + 36 > UINT32_MAX) {
        err = Format("%zu samples, too many for a WAV file", samples.size());
        return false;
    }
    const std::vector<unsigned char> wav = WavBytes(samples, static_cast<uint32_t>(record.rate));
    return WriteRegular(path, wav.data(), wav.size(), err);
}

}  // namespace qm::cli
