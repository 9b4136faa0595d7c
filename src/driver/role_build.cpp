// The role build: one text index block and one clip container per role, in
// the role index file and the role clip file (and, when coding, the coded
// role clip file), each inside its role frame.
#include "codec/frontend.h"
#include "driver/build_types.h"
#include "driver/package_build.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "resfile/byte_source.h"
#include "resfile/role_files.h"

namespace qm {

namespace {

std::string WriteFailed(const std::string& name) {
    return Format("Can not write file %s！", PathFindFileName(name).c_str());
}

// One of the role build's files with its frame.
struct RoleFile {
    File file;
    RoleFrameWriter frame;

    // Records the block that now ends the file. False when the frame would
    // outgrow its 32-bit offsets.
    bool AddBlock() { return frame.AddBlock(static_cast<uint64_t>(file.Size())); }
};

}  // namespace

struct CPackageBuild::RoleFiles {
    RoleFile index;
    RoleFile clip;
    RoleFile coded;
    bool coding = false;
};

bool CPackageBuild::RunRoles(int codeType, std::string& err) {
    RoleFiles files;
    if (!OpenRoleFiles(files, codeType, err)) return false;
    for (size_t n = 0; n < roleConfig.roles.size(); ++n)
        if (!BuildRole(roleConfig.roles[n], static_cast<int>(n + 1), files, codeType, err))
            return false;
    if (!CloseRoleFiles(files, err)) return false;
    partial_.clear();
    SetBuildProgress(80);
    return Finish(BUILD_ROLE, err);
}

bool CPackageBuild::OpenRoleFiles(RoleFiles& files, int codeType, std::string& err) {
    const bool loaded = LoadRoleConfig(audioFolder_, roleConfig, &account_);
    // Both files are created before the configuration's outcome is looked at.
    partial_ = {InAudio(indexFile_), InAudio(uncodedClipFile_)};
    CreateWorkFile(files.index.file, InAudio(indexFile_), "wb");
    // Read back: each role's container is coded from this file's range.
    CreateWorkFile(files.clip.file, InAudio(uncodedClipFile_), "w+b");
    if (!loaded) {
        note_ = "the role configuration in Config.ini is unusable";
        NoteIrregular({InAudio("Config.ini")});
        return false;
    }
    if (!files.index.file.IsOpen()) {
        ExplainSystem("write", InAudio(indexFile_), "the role index file cannot be created");
        err = Format("打开文件%s失败！", indexFile_.c_str());
        return false;
    }
    if (!files.clip.file.IsOpen()) {
        ExplainSystem("write", InAudio(uncodedClipFile_), "the role clip file cannot be created");
        err = Format("Can not create file %s！", uncodedClipFile_.c_str());
        return false;
    }
    const CodeTypeInfo* type = FindCodeType(codeType);
    files.coding = type != nullptr && type->frontEnd != nullptr;
    if (files.coding) partial_.push_back(InAudio(codedClipFile_));
    if (files.coding && !CreateWorkFile(files.coded.file, InAudio(codedClipFile_), "wb")) {
        err = Format("Can not create file %s！", codedClipFile_.c_str());
        return false;
    }

    std::vector<int32_t> ids;
    for (const RoleEntry& role : roleConfig.roles) ids.push_back(role.id);
    const bool indexOk = files.index.frame.Begin(files.index.file, RoleFrameKind::kIndex, ids);
    const bool clipOk = files.clip.frame.Begin(files.clip.file, RoleFrameKind::kClips, ids);
    const bool codedOk =
        !files.coding || files.coded.frame.Begin(files.coded.file, RoleFrameKind::kClips, ids);
    if (!indexOk || !clipOk || !codedOk) {
        err = WriteFailed(!indexOk ? indexFile_ : !clipOk ? uncodedClipFile_ : codedClipFile_);
        return false;
    }
    return true;
}

bool CPackageBuild::BuildRole(const RoleEntry& role, int roleNumber, RoleFiles& files, int codeType,
                              std::string& err) {
    // A role folder that does not exist would silently read another
    // speaker's lists, so it fails the build.
    const std::string folder = RoleFolder(audioFolder_, role);
    if (role.path.empty() || !PathIsDirectory(folder) || !SetCurrentDir(folder)) {
        err = Format("%s is not a valid path!", Cp936ToUtf8(role.path).c_str());
        account_.word = "role-path";
        account_.file = "Config.ini";
        account_.path = InAudio("Config.ini");
        account_.reason = role.path.empty()
                              ? Format("role %d (RoleID %d) has no RolePath", roleNumber, role.id)
                              : Format("RolePath%d is \"%s\", and %s is not a folder", roleNumber,
                                       Cp936ToUtf8(role.path).c_str(), folder.c_str());
        account_.hint =
            "point RolePath at the role's folder (absolute, or relative to the "
            "audio folder)";
        return false;
    }
    const std::string roleFolder = GetCurrentDir();
    // The role's folder gets this build's text list: it is held like the
    // audio folder.
    if (!LockFolder(roleFolder, err)) return false;

    promptList.clear();
    textIndex.Clear();
    clipSet.Clear();
    if (!clipSet.OpenPackage(BUILD_ROLE, packagePath_, err)) {
        NoteIrregular({packagePath_});
        ExplainPackage(err);
        return false;
    }
    SetBuildProgress(10);
    if (!LoadPromptLists(promptList, clipSet.sampleRate, roleFolder, err, &account_)) {
        NoteIrregular({JoinPath(roleFolder, "TextList.txt"), JoinPath(roleFolder, "WaveList.txt")});
        return false;
    }
    if (LandsOnInput(roleFolder, err)) return false;
    SetBuildProgress(15);
    std::vector<IndexText> indexTexts;
    if (!FileTexts(err)) return false;

    if (!textIndex.WriteBlock(&files.index.file, indexTexts, err)) return false;
    if (!files.index.file.Flush()) {
        err = WriteFailed(indexFile_);
        return false;
    }
    const bool indexFits = files.index.AddBlock();

    const uint64_t innerOffset = files.clip.frame.NextOffset();
    clipSet.progress = progress_ != nullptr ? progress_ : &ownProgress_;
    if (!clipSet.WriteClipContainer(FindBuildType(BUILD_ROLE)->levelTarget, &files.clip.file,
                                    indexTexts, err)) {
        if (!clipSet.problem.reason.empty()) account_ = clipSet.problem;
        return false;
    }
    if (!files.clip.file.Flush()) {
        err = WriteFailed(uncodedClipFile_);
        return false;
    }
    const bool clipFits = files.clip.AddBlock();
    if (!indexFits || !clipFits) {
        err = WriteFailed(!indexFits ? indexFile_ : uncodedClipFile_);
        return false;
    }
    SetBuildProgress(40);

    if (codeType != CODE_NONE &&
        !CodeRole(files, innerOffset, files.clip.frame.NextOffset() - innerOffset, codeType, err))
        return false;

    SetCurrentDir(audioFolder_);
    return true;
}

bool CPackageBuild::CodeRole(RoleFiles& files, uint64_t offset, uint64_t length, int codeType,
                             std::string& err) {
    // The role's inner container is coded straight from its range of the
    // role clip file and appended to the coded outer container.
    const CodeTypeInfo* type = FindCodeType(codeType);
    if (type == nullptr) {
        err = "Invalid code type！";
        DeleteWorkFiles();
        return false;
    }
    if (type->clipCoder == nullptr) return true;
    const FileRangeSource inner(files.clip.file, offset, length);
    ProgressSink* sink = progress_ != nullptr ? progress_ : &ownProgress_;
    const int r = EncodeContainer(inner, files.coded.file, sink, type->clipCoder(), jobs_);
    if (r != kCoderOk) {
        err = Format("%s occured when executing codeing", CoderResultText(r));
        return false;
    }
    if (!files.coded.file.Flush() || !files.coded.AddBlock()) {
        err = WriteFailed(codedClipFile_);
        return false;
    }
    return true;
}

bool CPackageBuild::CloseRoleFiles(RoleFiles& files, std::string& err) {
    const bool indexOk = files.index.frame.Finish();
    const bool clipOk = files.clip.frame.Finish();
    const bool codedOk = !files.coding || files.coded.frame.Finish();
    if (!files.index.file.Close() || !indexOk) {
        err = WriteFailed(indexFile_);
        return false;
    }
    if (!files.clip.file.Close() || !clipOk) {
        err = WriteFailed(uncodedClipFile_);
        return false;
    }
    if (files.coding && (!files.coded.file.Close() || !codedOk)) {
        err = WriteFailed(codedClipFile_);
        return false;
    }
    return true;
}

}  // namespace qm
