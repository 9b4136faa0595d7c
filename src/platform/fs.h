// Paths and files: the small set of file-system services the tool needs.
// Paths are native UTF-8 strings; folders are joined with "/".
#pragma once

#include <string>
#include <string_view>

namespace qm {

// True when the path names an existing directory.
bool PathIsDirectory(const std::string& path);
// True when something (file or directory) exists at the path.
bool PathFileExists(const std::string& path);
// True when the path names an existing regular file (or a link to one).
bool PathIsFile(const std::string& path);
// The last component of a path: everything after its last "/".
std::string PathFindFileName(std::string_view path);
// Everything before the last "/" of a path ("/" for a path directly below
// the root, "." for a bare name).
std::string ParentPath(std::string_view path);
// The extension of the last component, from its last "." on, or "".
std::string PathFindExtension(std::string_view path);
// folder + "/" + name.
std::string JoinPath(std::string_view folder, std::string_view name);
// Makes a relative path absolute by putting the current directory and "/"
// before it; an absolute or empty path is returned unchanged.
std::string MakeAbsolute(const std::string& path);

// The process's current directory ("" when it cannot be read).
std::string GetCurrentDir();
bool SetCurrentDir(const std::string& path);

// Copies src over dst (replacing it), checking every read and write. On
// failure a partly written dst may be left behind.
bool CopyFileReplace(const std::string& src, const std::string& dst);
// Deletes a file; false when it could not be deleted.
bool RemoveFile(const std::string& path);
// Renames src to dst, replacing dst atomically.
bool RenameReplace(const std::string& src, const std::string& dst);
// Size of a file in bytes, -1 when it cannot be read.
long long FileSize(const std::string& path);
// Flushes a file's data to the storage device.
bool SyncFile(const std::string& path);

}  // namespace qm
