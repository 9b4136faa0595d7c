#include "platform/fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/file.h"

namespace qm {

bool PathIsDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathFileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool PathIsFile(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string PathFindFileName(std::string_view path) {
    size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string PathFindExtension(std::string_view path) {
    std::string name = PathFindFileName(path);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ParentPath(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    out += '/';
    out += name;
    return out;
}

std::string MakeAbsolute(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    return JoinPath(GetCurrentDir(), path);
}

std::string GetCurrentDir() {
    std::vector<char> buf(4096);
    for (;;) {
        if (::getcwd(buf.data(), buf.size()) != nullptr) return std::string(buf.data());
        if (errno != ERANGE || buf.size() > (1u << 20)) return std::string();
        buf.resize(buf.size() * 2);
    }
}

bool SetCurrentDir(const std::string& path) { return !path.empty() && ::chdir(path.c_str()) == 0; }

bool CopyFileReplace(const std::string& src, const std::string& dst) {
    File in;
    if (!in.Open(src, "rb")) return false;
    File out;
    if (!out.Open(dst, "wb")) return false;
    std::vector<unsigned char> buf(1 << 16);
    for (;;) {
        size_t got = in.Read(buf.data(), buf.size());
        if (got > 0 && !out.Write(buf.data(), got)) return false;
        if (got < buf.size()) break;
    }
    if (in.Failed()) return false;
    return out.Close();
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool RenameReplace(const std::string& src, const std::string& dst) {
    return ::rename(src.c_str(), dst.c_str()) == 0;
}

long long FileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

bool SyncFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return !a.empty() && !b.empty() && ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool ReplacingHits(const std::string& target, const std::string& path) {
    struct stat t, p;
    if (target.empty() || path.empty() || ::lstat(target.c_str(), &t) != 0) return false;
    // A link at the target is replaced itself: only the same link is hit.
    const int r = S_ISLNK(t.st_mode) ? ::lstat(path.c_str(), &p) : ::stat(path.c_str(), &p);
    return r == 0 && t.st_dev == p.st_dev && t.st_ino == p.st_ino;
}

std::string FileKind(const std::string& path) {
    struct stat st;
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) return "";
    if (S_ISREG(st.st_mode)) return "a regular file";
    if (S_ISDIR(st.st_mode)) return "a folder";
    if (S_ISLNK(st.st_mode)) return "a symbolic link";
    if (S_ISFIFO(st.st_mode)) return "a FIFO";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    if (S_ISCHR(st.st_mode)) return "a character device";
    if (S_ISBLK(st.st_mode)) return "a block device";
    return "an unknown kind of file";
}

std::string NotRegularInput(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return "";
    const char* kind = S_ISDIR(st.st_mode)    ? "a folder"
                       : S_ISFIFO(st.st_mode) ? "a FIFO"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                       : S_ISCHR(st.st_mode)  ? "a character device"
                       : S_ISBLK(st.st_mode)  ? "a block device"
                                              : "an unknown kind of file";
    return path + " is " + kind + ", not a regular file";
}

bool ClaimFileName(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (S_ISLNK(st.st_mode)) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    return S_ISREG(st.st_mode);
}

std::string ReplaceProblem(const std::string& path, bool checkFolder) {
    const std::string kind = FileKind(path);
    if (!kind.empty() && kind != "a regular file" && kind != "a symbolic link")
        return path + " is " + kind + ", not a regular file";
    if (!checkFolder) return "";
    const std::string folder = ParentPath(path);
    if (!PathIsDirectory(folder)) return "the folder " + folder + " does not exist";
    // A new file needs the folder writable and searchable.
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "the folder " + folder + " takes no new file (" + std::strerror(errno) + ")";
    return "";
}

}  // namespace qm
