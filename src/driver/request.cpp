#include "driver/request.h"

#include <algorithm>

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

std::optional<Failure> CheckLanding(const std::string& audioFolder, const std::string& landing) {
    // The lists and the role configuration are read by the build: the new
    // package may not replace them (work-file names are refused by the
    // build itself, recordings once the lists are read).
    for (const char* input : {"TextList.txt", "WaveList.txt", "Config.ini"}) {
        if (ReplacingHits(landing, JoinPath(audioFolder, input))) {
            Failure f =
                Refusal("IRF file path name is incorrect, please re-set it!", "output", landing);
            f.detail.push_back(landing + " is the build's input " + input);
            return f;
        }
    }
    // In the audio folder a folder that takes no file is found by the
    // build's first work file, with that file's message; elsewhere only the
    // last step would find it.
    const bool inAudio = SameFile(ParentPath(landing), audioFolder);
    const std::string problem = ReplaceProblem(landing, !inAudio);
    if (problem.empty()) return std::nullopt;
    Failure f = Refusal("Copy temp file failed！", "output", landing);
    f.detail.push_back(problem);
    return f;
}

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

    // Where the package lands is checked before the build rather than found
    // out at its end: the build would fail there with the same message.
    const std::string landing = NewPackagePath(audio, package, output);
    if (std::optional<Failure> refused = CheckLanding(audio, landing)) return refused;

    checked.buildType = request.buildType;
    checked.codeType = request.codeType;
    checked.audioFolder = audio;
    checked.packagePath = package;
    checked.outputPath = landing;
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
    for (std::string& line : DetailLines(account)) failure.detail.push_back(std::move(line));
    // The note of what failed, unless the account already says it.
    const std::string& note = build.FailureNote();
    if (!note.empty() && std::find(failure.detail.begin(), failure.detail.end(), note) ==
                             failure.detail.end())
        failure.detail.insert(failure.detail.begin(), note);
    return false;
}

std::string SuccessMessage(const CheckedRequest& request) {
    return Format("The new IRF has been generated，it located in %s", request.outputPath.c_str());
}

}  // namespace qm
