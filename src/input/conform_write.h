// The output folder of `conform`: every file is written below it, through
// folders that are real folders (a link on the way is refused, never
// followed), never into the input folder, and each through a temporary file
// that is flushed to the device and renamed over the final name.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace qm {

class OutputFolder {
  public:
    OutputFolder() = default;
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    // Opens the folder at path, creating it (and missing parents) first.
    // Nothing is ever written into the folder guard or below it.
    bool Open(const std::string& path, const std::string& guard, std::string& err);

    enum class State { kMissing, kFile, kBlocked };
    // What lies at rel (a relative path of "/"-separated names, none of them
    // "." or ".."), creating nothing: kBlocked, with the reason in why, for
    // anything but a regular file, and for a path through a link, a
    // non-folder or the guard folder.
    State Look(const std::string& rel, std::string& why) const;

    // Writes bytes to rel, creating its folders; replaces a regular file.
    bool Write(const std::string& rel, std::string_view bytes, std::string& err);

  private:
    // The folder that holds rel's last name (an owned descriptor), or -1 with
    // the reason; missing is set when a folder does not exist (and create is
    // false).
    int OpenParent(const std::vector<std::string>& names, bool create, bool& missing,
                   std::string& why) const;
    bool IsGuard(int fd) const;

    int root_ = -1;
    dev_t guardDev_ = 0;
    ino_t guardIno_ = 0;
};

}  // namespace qm
