#include "input/conform_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "platform/safe_replace.h"
#include "platform/text.h"

namespace qm {
namespace {

// The temporary file being written, for the signal handler to remove.
// Each file is written by a safe replacement inside its folder, reached
// through descriptors opened without following links, so that no link on
// the way, planted meanwhile, can send a write elsewhere. A handler removes
// the temporary on SIGINT, SIGTERM and SIGHUP.
volatile sig_atomic_t gTempActive = 0;
int gTempDir = -1;
char gTempName[512];  // a file name (at most 255 bytes) and the temporary's marks

extern "C" void RemoveTempAndDie(int sig) {
    if (gTempActive) ::unlinkat(gTempDir, gTempName, 0);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction gSaved[std::size(kCaught)];
int gHandlers = 0;  // open OutputFolders that installed the handler

void InstallHandlers() {
    if (gHandlers++ > 0) return;
    struct sigaction sa = {};
    sa.sa_handler = RemoveTempAndDie;
    sigemptyset(&sa.sa_mask);
    for (size_t k = 0; k < std::size(kCaught); ++k) ::sigaction(kCaught[k], &sa, &gSaved[k]);
}

void RestoreHandlers() {
    if (--gHandlers > 0) return;
    for (size_t k = 0; k < std::size(kCaught); ++k) ::sigaction(kCaught[k], &gSaved[k], nullptr);
}

std::vector<std::string> Split(const std::string& rel) {
    std::vector<std::string> names;
    size_t b = 0;
    while (b <= rel.size()) {
        size_t e = rel.find('/', b);
        if (e == std::string::npos) e = rel.size();
        names.push_back(rel.substr(b, e - b));
        b = e + 1;
    }
    return names;
}

}  // namespace

OutputFolder::~OutputFolder() {
    if (root_ >= 0) {
        ::close(root_);
        RestoreHandlers();
    }
}

bool OutputFolder::Open(const std::string& path, const std::string& guard, std::string& err) {
    struct stat st;
    if (::stat(guard.c_str(), &st) != 0) {
        err = Format("cannot read %s: %s", guard.c_str(), std::strerror(errno));
        return false;
    }
    guardDev_ = st.st_dev;
    guardIno_ = st.st_ino;
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    root_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root_ < 0) {
        err = Format("cannot open the output folder %s: %s", path.c_str(),
                     ec ? ec.message().c_str() : std::strerror(errno));
        return false;
    }
    InstallHandlers();
    if (IsGuard(root_)) {
        err = "the output folder is the input folder";
        return false;
    }
    return true;
}

bool OutputFolder::IsGuard(int fd) const {
    struct stat st;
    return ::fstat(fd, &st) != 0 || (st.st_dev == guardDev_ && st.st_ino == guardIno_);
}

int OutputFolder::OpenParent(const std::vector<std::string>& names, bool create, bool& missing,
                             std::string& why) const {
    missing = false;
    int fd = ::dup(root_);
    for (size_t k = 0; fd >= 0 && k + 1 < names.size(); ++k) {
        const char* name = names[k].c_str();
        int next = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && create && ::mkdirat(fd, name, 0777) == 0) {
            next = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        const int openErrno = errno;
        ::close(fd);
        fd = next;
        if (fd < 0 && openErrno == ENOENT && !create) {
            missing = true;
        } else if (fd < 0) {
            why = Format("%s on the way is a link or not a folder (%s)", name,
                         std::strerror(openErrno));
        } else if (IsGuard(fd)) {
            ::close(fd);
            fd = -1;
            why = Format("%s on the way is the input folder", name);
        }
    }
    return fd;
}

OutputFolder::State OutputFolder::Look(const std::string& rel, std::string& why) const {
    const std::vector<std::string> names = Split(rel);
    bool missing = false;
    const int dir = OpenParent(names, false, missing, why);
    if (dir < 0) return missing ? State::kMissing : State::kBlocked;
    struct stat st;
    const int got = ::fstatat(dir, names.back().c_str(), &st, AT_SYMLINK_NOFOLLOW);
    ::close(dir);
    if (got != 0) return State::kMissing;
    if (S_ISREG(st.st_mode)) return State::kFile;
    why = S_ISLNK(st.st_mode) ? "a link is there (never replaced)"
                              : "something other than a file is there (never replaced)";
    return State::kBlocked;
}

bool OutputFolder::Write(const std::string& rel, std::string_view bytes, std::string& err) {
    const std::vector<std::string> names = Split(rel);
    bool missing = false;
    std::string why;
    const int dir = OpenParent(names, true, missing, why);
    if (dir < 0) {
        err = "not written: " + why;
        return false;
    }
    const char* name = names.back().c_str();
    struct stat st;
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
        ::close(dir);
        err = "not written: something other than a file is there";
        return false;
    }
    SafeReplace out(dir, name);
    if (!out.Open()) {
        err = Format("cannot write: %s", std::strerror(errno));
        ::close(dir);
        return false;
    }
    if (out.TempPath().size() < sizeof gTempName) {
        std::memcpy(gTempName, out.TempPath().c_str(), out.TempPath().size() + 1);
        gTempDir = dir;
        gTempActive = 1;
    }
    errno = 0;
    const bool ok = out.Out().Write(bytes.data(), bytes.size()) && out.Commit();
    if (!ok) err = Format("cannot write: %s", std::strerror(errno != 0 ? errno : EIO));
    gTempActive = 0;
    ::close(dir);
    return ok;
}

}  // namespace qm
