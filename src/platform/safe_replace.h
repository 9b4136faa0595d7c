// Replacing a file so that its name holds either the old file or the whole
// new one, whatever happens meanwhile: the new content goes into a temporary
// file in the target's folder, which is flushed and synced, renamed over the
// target, and the folder synced. A replacement that is not committed removes
// its temporary file, on every way out.
#pragma once

#include <fcntl.h>

#include <string>

#include "platform/file.h"

namespace qm {

class SafeReplace {
  public:
    explicit SafeReplace(std::string target);
    // A replacement of name inside the folder open as the descriptor folder
    // (kept open by the caller until the replacement ends): every step goes
    // through the descriptor, so no link on the way to the folder is
    // followed. TempPath() is then a name in that folder.
    SafeReplace(int folder, std::string name);
    ~SafeReplace();
    SafeReplace(const SafeReplace&) = delete;
    SafeReplace& operator=(const SafeReplace&) = delete;

    // Creates the temporary file, empty and open for reading and writing.
    // False when the target is a directory or anything but a regular file or
    // a symbolic link (a link is replaced, never followed), or when the
    // folder takes no new file.
    bool Open();
    // The temporary file. Writers that open files by name may open
    // TempPath() instead (it is created afresh for this replacement); the
    // content is then what the file holds at Commit.
    File& Out() { return out_; }
    const std::string& TempPath() const { return temp_; }
    const std::string& Target() const { return target_; }

    // Flushes and syncs the temporary file (created with the permissions of
    // an ordinary new file), renames it over the target and syncs the folder.
    // False (and the temporary removed) when any step fails, the writes to
    // Out() included; the target is then as it was, unless only the final
    // sync of the folder failed.
    bool Commit();
    // As Commit, but only when no file of the target's name exists: an
    // existing one (even one that appeared meanwhile) is kept, and
    // TargetExists() says so.
    bool CommitNew();
    bool TargetExists() const { return targetExists_; }
    // Removes the temporary file; the target stays as it was.
    void Abandon();

  private:
    // Flushes, syncs and closes the temporary file.
    bool Finish();
    bool SyncTargetFolder() const;

    int folder_ = AT_FDCWD;  // target_ is then a path
    std::string target_;
    bool targetExists_ = false;
    std::string temp_;
    File out_;
};

// Writes a file through a SafeReplace: write gets the open temporary and
// returns false to give up. True when the target has been replaced.
template <typename Writer>
bool ReplaceFile(const std::string& target, Writer&& write) {
    SafeReplace r(target);
    if (!r.Open() || !write(r.Out())) return false;
    return r.Commit();
}

}  // namespace qm
