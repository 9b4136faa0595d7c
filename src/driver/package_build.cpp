#include "driver/package_build.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "driver/build_types.h"
#include "driver/request.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/interrupt.h"
#include "platform/safe_replace.h"
#include "platform/text.h"
#include "resfile/package.h"

namespace qm {

namespace {

constexpr uint32_t kTrailerZeros = 4096;

bool SameFolder(const std::string& a, const std::string& b) {
    std::error_code ec;
    bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

std::string WriteFailed(const std::string& name) {
    return Format("Can not write file %s！", PathFindFileName(name).c_str());
}

}  // namespace

Problem PackageProblem(const std::string& err, const std::string& packagePath) {
    Problem p;
    p.message = err;
    p.word = "package";
    p.file = PathFindFileName(packagePath);
    p.path = packagePath;
    if (err == "IRF file dose't contains the resource") {
        p.reason = "the package holds no clip resource of this build type";
        p.hint =
            "choose the package of the engine that these prompts belong to, or another "
            "build type";
    } else if (err == "Incorrect sampling rate") {
        p.reason = "the rate byte of its clip resource is not 8, 11, 16 or 22 (kHz)";
        p.hint = "`quillmark-cli inspect` shows the package's resources";
    } else {
        p.reason = "the file cannot be read as a resource package";
        p.hint = "`quillmark-cli inspect` shows what is wrong with it";
    }
    return p;
}

void CPackageBuild::ExplainPackage(const std::string& err) {
    account_ = PackageProblem(err, packagePath_);
    account_.message.clear();
}

void CPackageBuild::ExplainSystem(const char* word, const std::string& path,
                                  const std::string& what) {
    const int e = errno;
    account_ = Problem();
    account_.word = word;
    account_.path = path;
    account_.reason = what + (e != 0 ? std::string(": ") + std::strerror(e) : std::string());
    account_.hint = "check that the folder exists and that you may write into it";
}

void CPackageBuild::SetBuildProgress(int pos) {
    (progress_ != nullptr ? progress_ : &ownProgress_)->SetPos(pos);
}

std::string CPackageBuild::InAudio(const std::string& name) const {
    return JoinPath(audioFolder_, name);
}

void CPackageBuild::DeleteWorkFiles() {
    for (const std::string& path : created_) RemoveFile(path);
    created_.clear();
}

bool CPackageBuild::Run(int buildType, const std::string& audioFolder,
                        const std::string& packagePath, int codeType, std::string& err) {
    note_.clear();
    account_ = Problem();
    finalPath_.clear();
    created_.clear();
    audioFolder_ = audioFolder;
    packagePath_ = packagePath;

    indexFile_ = IndexFileName(buildType);
    if (indexFile_.empty()) {
        err = "资源类型失败！";
        return false;
    }
    // A role build names its clip files before any package is read; its
    // outer clip container is always marked 16 kHz, so the names say "16K".
    const int32_t nameRate = buildType == BUILD_ROLE ? 16000 : clipSet.sampleRate;
    uncodedClipFile_ = MakeClipFileName(buildType, CODE_NONE, nameRate);
    codedClipFile_ = MakeClipFileName(buildType, codeType, nameRate);

    // Neither the input package nor the new one may be a file that the
    // build itself writes into the audio folder.
    finalPath_ = NewPackagePath(audioFolder_, packagePath_, outputPath_);
    for (const std::string* path : {&packagePath_, &finalPath_}) {
        if (IsWorkFileName(PathFindFileName(*path)) &&
            SameFolder(ParentPath(*path), audioFolder_)) {
            err = "IRF file path name is incorrect, please re-set it!";
            account_.word = "package";
            account_.path = *path;
            account_.reason = "the build writes a work file of that name into the audio folder";
            account_.hint = "rename the package or move it out of the audio folder";
            finalPath_.clear();
            return false;
        }
    }

    // The audio folder is this build's alone until it ends: another build
    // there would share its work files.
    if (!LockFolder(audioFolder_, err)) {
        finalPath_.clear();
        return false;
    }
    bool ok =
        buildType == BUILD_ROLE ? RunRoles(codeType, err) : RunSingle(buildType, codeType, err);
    // The package copies go on every way out, failures included; an
    // interrupt also takes the work files it cut short.
    if (!ok) DeleteWorkFiles();
    if (!ok && Interrupted())
        for (const std::string& path : partial_) RemoveFile(path);
    partial_.clear();
    locks_.ReleaseAll();
    if (!ok) finalPath_.clear();
    return ok;
}

bool CPackageBuild::LockFolder(const std::string& folder, std::string& err) {
    if (locks_.Take(folder) != LockResult::kBusy) return true;
    err = Format("Another build is running in %s, please wait until it has finished!",
                 folder.c_str());
    return false;
}

bool CPackageBuild::LandsOnInput(const std::string& folder, std::string& err) {
    const std::string input = InputAt(finalPath_, folder, promptList);
    if (input.empty()) return false;
    err = "IRF file path name is incorrect, please re-set it!";
    note_ = finalPath_ + " is the build's input " + input;
    return true;
}

void CPackageBuild::NoteIrregular(const std::vector<std::string>& inputs) {
    for (const std::string& path : inputs) {
        if (std::string problem = NotRegularInput(path); !problem.empty()) {
            note_ = problem;
            return;
        }
    }
}

bool CPackageBuild::FileTexts(std::string& err) {
    for (size_t i = 0; i < promptList.size(); ++i) {
        currentPrompt_ = static_cast<int32_t>(i + 1);
        Problem why;
        if (!textIndex.AddText(promptList[i].text, currentPrompt_, err, &why)) {
            account_ = std::move(why);
            account_.file = "TextList.txt";
            account_.line = promptList[i].line;
            account_.path = JoinPath(GetCurrentDir(), "TextList.txt");
            account_.more.push_back("text: \"" + Cp936ToUtf8(promptList[i].text) + "\"");
            if (err.empty())
                note_ = "TextList.txt line " + std::to_string(promptList[i].line) + ": " +
                        account_.reason;
            return false;
        }
        clipSet.entries.push_back(promptList[i]);
    }
    SetBuildProgress(30);
    return true;
}

bool CPackageBuild::RunSingle(int buildType, int codeType, std::string& err) {
    if (!clipSet.OpenPackage(buildType, packagePath_, err)) {
        NoteIrregular({packagePath_});
        ExplainPackage(err);
        return false;
    }
    uncodedClipFile_ = MakeClipFileName(buildType, CODE_NONE, clipSet.sampleRate);
    codedClipFile_ = MakeClipFileName(buildType, codeType, clipSet.sampleRate);
    SetBuildProgress(10);

    if (!LoadPromptLists(promptList, clipSet.sampleRate, audioFolder_, err, &account_)) {
        NoteIrregular({InAudio("TextList.txt"), InAudio("WaveList.txt")});
        return false;
    }
    if (LandsOnInput(audioFolder_, err)) return false;
    SetBuildProgress(15);

    std::vector<IndexText> indexTexts;
    if (!FileTexts(err)) return false;

    {
        File idx;
        if (!CreateWorkFile(idx, InAudio(indexFile_), "wb"))
            ExplainSystem("write", InAudio(indexFile_), "the index file cannot be created");
        bool written = textIndex.WriteBlock(idx.IsOpen() ? &idx : nullptr, indexTexts, err);
        if (idx.IsOpen() && !idx.Close() && written) {
            err = WriteFailed(indexFile_);
            written = false;
        }
        if (!written) return false;
    }

    {
        File clip;
        partial_ = {InAudio(uncodedClipFile_)};
        CreateWorkFile(clip, InAudio(uncodedClipFile_), "wb");
        clipSet.progress = progress_ != nullptr ? progress_ : &ownProgress_;
        if (!clip.IsOpen())
            ExplainSystem("write", InAudio(uncodedClipFile_), "the clip file cannot be created");
        if (!clipSet.WriteClipContainer(FindBuildType(buildType)->levelTarget, &clip, indexTexts,
                                        err)) {
            if (!clipSet.problem.reason.empty()) account_ = clipSet.problem;
            return false;
        }
        if (!clip.Close()) {
            err = WriteFailed(uncodedClipFile_);
            return false;
        }
    }
    SetBuildProgress(40);

    partial_ = {InAudio(codedClipFile_)};
    if (!Code(codeType, InAudio(uncodedClipFile_), InAudio(codedClipFile_), err)) return false;
    partial_.clear();
    SetBuildProgress(80);
    return Finish(buildType, err);
}

bool CPackageBuild::Code(int codeType, const std::string& input, const std::string& output,
                         std::string& err) {
    const CodeTypeInfo* type = FindCodeType(codeType);
    if (type == nullptr) {
        err = "Invalid code type！";
        DeleteWorkFiles();
        return false;
    }
    if (type->frontEnd == nullptr) return true;
    ProgressSink* sink = progress_ != nullptr ? progress_ : &ownProgress_;
    // The coded clip file is the build's own: a link at its name goes.
    const int r =
        ClaimFileName(output) ? type->frontEnd(input, output, sink, jobs_) : kCoderOutputFailed;
    if (r != 0) {
        err = Format("%s occured when executing codeing", CoderResultText(r));
        account_.word = "coder";
        account_.path = input;
        account_.reason = Format("coding with %s failed (result %d)", type->name, r);
        return false;
    }
    return true;
}

bool CPackageBuild::Finish(int buildType, std::string& err) {
    const BuildTypeInfo& type = *FindBuildType(buildType);
    const std::string temp1 = InAudio(kPackageCopy1);
    const std::string temp2 = InAudio(kPackageCopy2);
    auto copyFailed = [&](const std::string& path, const char* what) {
        ExplainSystem("copy", path, what);
        err = "Copy temp file failed！";
        DeleteWorkFiles();
        return false;
    };

    // The package copies are the build's own files: a link at their names
    // is removed, never written through.
    ProgressSink* sink = progress_ != nullptr ? progress_ : &ownProgress_;
    sink->SetStage("replacing", 0, 2);
    created_.push_back(temp1);
    errno = 0;
    if (!ClaimFileName(temp1) || !CopyFileReplace(packagePath_, temp1))
        return copyFailed(temp1, "the package cannot be copied to this work file");

    int32_t result = 0;
    created_.push_back(temp2);
    if (!ClaimFileName(temp2)) {
        note_ = Format("%s is %s, not a regular file", temp2.c_str(), FileKind(temp2).c_str());
        return false;
    }
    {
        CUpdateResource update(temp1, InAudio(indexFile_), *type.indexId, temp2, &result);
        if (update.failed) {
            note_ = Format("the index resource could not be replaced in the package (code 0x%04X)",
                           static_cast<unsigned>(result));
            account_.word = "replace";
            account_.path = temp1;
            account_.reason = note_;
            return false;
        }
    }
    SetBuildProgress(90);
    sink->SetStage("replacing", 1, 2);

    // The second replacement writes the new package straight into the
    // temporary file that then replaces the final name, so that name holds
    // either the old file or the whole new package.
    SafeReplace out(finalPath_);
    errno = 0;
    if (!out.Open()) return copyFailed(finalPath_, "the new package cannot be created here");
    {
        CUpdateResource update(temp2, InAudio(codedClipFile_), *type.clipId, out.TempPath(),
                               &result);
        if (update.failed) {
            note_ = Format("the clip resource could not be replaced in the package (code 0x%04X)",
                           static_cast<unsigned>(result));
            account_.word = "replace";
            account_.path = temp2;
            account_.reason = note_;
            return false;
        }
    }
    // An interrupt that came meanwhile keeps the old file at the final name.
    if (Interrupted()) return false;
    errno = 0;
    if (!out.Out().SeekEnd() || !out.Out().WriteZeros(kTrailerZeros) || !out.Commit())
        return copyFailed(finalPath_, "the new package cannot be written here");
    sink->SetStage("replacing", 2, 2);
    SetBuildProgress(100);
    DeleteWorkFiles();
    return true;
}

}  // namespace qm
