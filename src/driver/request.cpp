#include "driver/request.h"

#include "driver/package_build.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qm {

namespace {

Failure Refusal(const char* message, const char* reason, const std::string& path,
                const char* why = nullptr) {
    Failure f{message, {}, reason, path};
    if (!path.empty()) f.detail.push_back("in " + path);
    if (why != nullptr) f.detail.push_back(std::string("reason: ") + why);
    return f;
}

}  // namespace

std::string ResolvePath(const std::string& base, const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    return base.empty() ? MakeAbsolute(path) : JoinPath(base, path);
}

std::string NewPackagePath(const std::string& audioFolder, const std::string& packagePath,
                           const std::string& outputPath) {
    if (!outputPath.empty()) return MakeAbsolute(outputPath);
    return JoinPath(audioFolder, PathFindFileName(packagePath));
}

std::optional<Failure> CheckRequest(const BuildRequest& request, CheckedRequest& checked) {
    const std::string package = ResolvePath(request.baseDir, request.packagePath);
    const std::string audio = ResolvePath(request.baseDir, request.audioFolder);
    // Taken before the current directory moves.
    const std::string output = ResolvePath(request.baseDir, request.outputPath);
    if (package.empty()) return Refusal("Please select an original IRF file！", "no-package", "");
    if (audio.empty()) return Refusal("Please specify audio file path！", "no-audio-folder", "");
    if (!PathIsDirectory(audio))
        return Refusal("The audio file path is incorrect, please re-set it!", "audio-folder", audio,
                       PathFileExists(audio) ? "it is not a folder" : "it does not exist");
    if (!PathFileExists(package) || PathIsDirectory(package))
        return Refusal("IRF file path name is incorrect, please re-set it!", "package", package,
                       PathIsDirectory(package) ? "it is a folder" : "it does not exist");
    // The build reads its lists from the current directory: a folder that
    // cannot be entered would have it read another folder's.
    if (!SetCurrentDir(audio))
        return Refusal("The audio file path is incorrect, please re-set it!", "audio-folder", audio,
                       "it cannot be entered");

    checked.buildType = request.buildType;
    checked.codeType = request.codeType;
    checked.audioFolder = audio;
    checked.packagePath = package;
    checked.outputPath = NewPackagePath(audio, package, output);
    checked.jobs = request.jobs;
    return std::nullopt;
}

bool RunCheckedRequest(const CheckedRequest& request, ProgressSink* progress, Failure& failure) {
    CPackageBuild build;
    build.SetProgress(progress);
    build.SetOutputPath(request.outputPath);
    build.SetJobs(request.jobs);
    std::string err;
    if (build.Run(request.buildType, request.audioFolder, request.packagePath, request.codeType,
                  err))
        return true;
    const Problem& account = build.FailureAccount();
    failure = Failure{err, {}, account.word.empty() ? "build" : account.word, account.path};
    if (err.empty() && !build.FailureNote().empty()) failure.detail.push_back(build.FailureNote());
    for (std::string& line : DetailLines(account)) failure.detail.push_back(std::move(line));
    return false;
}

std::string SuccessMessage(const CheckedRequest& request) {
    return Format("The new IRF has been generated，it located in %s", request.outputPath.c_str());
}

}  // namespace qm
