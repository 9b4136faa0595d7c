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

// True when both paths name the same existing file (links followed).
bool SameFile(const std::string& a, const std::string& b);
// True when replacing what the name target holds (a link itself, never what
// it points to) would replace the file that path leads to.
bool ReplacingHits(const std::string& target, const std::string& path);
// What lies at path, as a message says it: "a folder", "a FIFO", "a
// socket", "a character device", "a block device", "a symbolic link",
// "a regular file", or "" when nothing is there. Links are not followed.
std::string FileKind(const std::string& path);
// "<path> is a FIFO, not a regular file" (links followed) for an input that
// exists but is not a regular file; "" otherwise.
std::string NotRegularInput(const std::string& path);
// Makes a name ready for a file that the caller creates as its own: a
// symbolic link there is removed (never what it points to). False when
// anything but a regular file, a link or nothing is there, or the link
// cannot be removed.
bool ClaimFileName(const std::string& path);
// Why a file could not be written at path, replacing what is there ("" when
// nothing stands in the way): the name holds something other than a regular
// file or a link, or (with checkFolder) its folder is missing or takes no
// new file.
std::string ReplaceProblem(const std::string& path, bool checkFolder = true);

}  // namespace qm
