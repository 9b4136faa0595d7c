// One build request as both front ends make it: the checks of Start in their
// order, the audio folder as current directory, where the new package lands,
// the build itself and the message of its outcome.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/failure.h"
#include "platform/progress.h"

namespace qm {

struct BuildRequest {
    int32_t buildType = 0;
    int32_t codeType = 0;
    std::string audioFolder;  // as given; a relative path is taken from baseDir
    std::string packagePath;  // as given; a relative path is taken from baseDir
    std::string outputPath;   // "" for the audio folder under the package's file name
    std::string baseDir;      // where relative paths start ("" for the current directory)
    int jobs = 0;             // coder threads (0: one per core)
};

// A request that passed the checks, its paths made absolute.
struct CheckedRequest {
    int32_t buildType = 0;
    int32_t codeType = 0;
    std::string audioFolder;
    std::string packagePath;
    std::string outputPath;  // where the new package lands
    int jobs = 0;
};

// path taken from base when it is relative ("" base: the current directory);
// an empty or absolute path is returned as it is.
std::string ResolvePath(const std::string& base, const std::string& path);

// Where the new package of a build lands: the given output path, or the
// audio folder under the package's file name.
std::string NewPackagePath(const std::string& audioFolder, const std::string& packagePath,
                           const std::string& outputPath);

// Whether the new package can land at landing, checked before a build: not
// over a list or the role configuration of the audio folder ("IRF file path
// name is incorrect, please re-set it!"), not over anything but a regular
// file or a link, and in an existing folder that takes new files ("Copy temp
// file failed！"); the reason is the failure's detail.
std::optional<Failure> CheckLanding(const std::string& audioFolder, const std::string& landing);

// The checks of Start, in their order: a package path is given, an audio
// folder is given, the audio folder is a directory, the package path names
// an existing file, the audio folder can be made the current directory, the
// new package can land where it goes (CheckLanding).
// Each refusal gives its fixed message. Past the checks the audio folder is
// the current directory and checked holds the request's absolute paths.
std::optional<Failure> CheckRequest(const BuildRequest& request, CheckedRequest& checked);

// Runs the build of a checked request with a new CPackageBuild. False with
// the failure: the build's error text as the message (it may be empty), and
// when it is empty, the account of what failed as its detail.
bool RunCheckedRequest(const CheckedRequest& request, ProgressSink* progress, Failure& failure);

// "The new IRF has been generated，it located in <where the package landed>".
std::string SuccessMessage(const CheckedRequest& request);

}  // namespace qm
