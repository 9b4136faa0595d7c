#include "platform/safe_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <random>

#include "platform/fs.h"
#include "platform/text.h"

namespace qm {

namespace {

// Syncs a folder's entries. File systems that cannot sync a folder say so
// with EINVAL; that is no failure.
bool SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    return ::close(fd) == 0 && ok;
}

}  // namespace

SafeReplace::SafeReplace(std::string target) : target_(std::move(target)) {}

SafeReplace::SafeReplace(int folder, std::string name)
    : folder_(folder), target_(std::move(name)) {}

bool SafeReplace::SyncTargetFolder() const {
    if (folder_ == AT_FDCWD) return SyncFolder(ParentPath(target_));
    return ::fsync(folder_) == 0 || errno == EINVAL;
}

SafeReplace::~SafeReplace() { Abandon(); }

bool SafeReplace::Open() {
    Abandon();
    struct stat st;
    if (::fstatat(folder_, target_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return false;
    // ".name.XXXXXXXX.tmp" beside the target, so the rename stays on one
    // file system. It is created exclusively (never through a link), with
    // the permissions the process gives any new file.
    std::string hidden(1, '.');
    hidden += PathFindFileName(target_);
    const std::string prefix = JoinPath(ParentPath(target_), hidden);
    // Names only need to differ between attempts and processes.
    static std::atomic<unsigned> counter{0};
    std::mt19937 rng(
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                              (::getpid() << 16) ^ counter.fetch_add(1)));
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp_ = Format("%s.%08x.tmp", prefix.c_str(), static_cast<unsigned>(rng()));
        fd = ::openat(folder_, temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        temp_.clear();
        return false;
    }
    if (!out_.Attach(fd, temp_, "w+b")) {
        Abandon();
        return false;
    }
    return true;
}

bool SafeReplace::Finish() {
    if (temp_.empty() || !out_.IsOpen()) return false;
    const bool ok = out_.Flush() && ::fsync(out_.Descriptor()) == 0;
    return out_.Close() && ok;
}

bool SafeReplace::Commit() {
    if (!Finish() || ::renameat(folder_, temp_.c_str(), folder_, target_.c_str()) != 0) {
        Abandon();
        return false;
    }
    temp_.clear();
    return SyncTargetFolder();
}

bool SafeReplace::CommitNew() {
    targetExists_ = false;
    if (!Finish()) {
        Abandon();
        return false;
    }
    // link() refuses an existing name, so nothing that appeared meanwhile is
    // replaced. A file system without hard links: check, then rename.
    bool ok = ::linkat(folder_, temp_.c_str(), folder_, target_.c_str(), 0) == 0;
    int error = ok ? 0 : errno;
    if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS) {
        struct stat st;
        error = ::fstatat(folder_, target_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? EEXIST : 0;
        ok = error == 0 && ::renameat(folder_, temp_.c_str(), folder_, target_.c_str()) == 0;
    }
    targetExists_ = error == EEXIST;
    Abandon();
    return ok && SyncTargetFolder();
}

void SafeReplace::Abandon() {
    if (out_.IsOpen()) out_.Close();
    if (!temp_.empty()) ::unlinkat(folder_, temp_.c_str(), 0);
    temp_.clear();
}

}  // namespace qm
