#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fs.h"

namespace qm {

LockResult FolderLocks::Take(const std::string& folder) {
    struct stat dir;
    if (::stat(folder.c_str(), &dir) != 0) return LockResult::kNoLock;
    for (const Held& h : held_)
        if (h.dev == dir.st_dev && h.ino == dir.st_ino) return LockResult::kTaken;

    const std::string path = JoinPath(folder, kFolderLockName);
    // A holder removes its lock file while it still holds it; a lock won on a
    // file that is no longer the one at the name is worth nothing, so the
    // file at the name is checked after locking, and taken anew if it moved.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const int fd =
            ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd < 0) {
            // A link at the name is not followed: it goes, and the file is made.
            if (errno == ELOOP && ::unlink(path.c_str()) == 0) continue;
            return LockResult::kNoLock;
        }
        struct stat mine;
        if (::fstat(fd, &mine) != 0 || !S_ISREG(mine.st_mode)) {
            ::close(fd);
            return LockResult::kNoLock;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            return error == EWOULDBLOCK ? LockResult::kBusy : LockResult::kNoLock;
        }
        struct stat now;
        if (::lstat(path.c_str(), &now) == 0 && now.st_dev == mine.st_dev &&
            now.st_ino == mine.st_ino) {
            held_.push_back({dir.st_dev, dir.st_ino, path, fd});
            return LockResult::kTaken;
        }
        ::close(fd);
    }
    return LockResult::kNoLock;
}

void FolderLocks::ReleaseAll() {
    // The file goes while it is still locked, so no one locks it in between.
    for (const Held& h : held_) {
        ::unlink(h.lockPath.c_str());
        ::close(h.fd);
    }
    held_.clear();
}

}  // namespace qm
