// Exclusive use of folders by one build at a time. A lock is an flock on a
// lock file of the holder's own in the folder, which the holder removes when
// it lets go; a process that dies releases it with its descriptors.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qm {

inline constexpr const char* kFolderLockName = ".quillmark-build.lock";

enum class LockResult {
    kTaken,   // this set now holds the folder (or held it already)
    kBusy,    // another process holds it
    kNoLock,  // no lock file can be made there (the folder takes no new file)
};

class FolderLocks {
  public:
    FolderLocks() = default;
    ~FolderLocks() { ReleaseAll(); }
    FolderLocks(const FolderLocks&) = delete;
    FolderLocks& operator=(const FolderLocks&) = delete;

    // Takes the lock of folder without waiting. A folder this set holds
    // already (by whatever path) is taken at once.
    LockResult Take(const std::string& folder);
    // Removes the lock files and lets go of every folder.
    void ReleaseAll();

  private:
    struct Held {
        dev_t dev;
        ino_t ino;
        std::string lockPath;
        int fd;
    };
    std::vector<Held> held_;
};

}  // namespace qm
