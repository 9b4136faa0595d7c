// The role build: one text index block and one clip container per role, in
// the role index file and the role clip file (and, when coding, the coded
// role clip file), whose frames are written here.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>

#include "driver/build_types.h"
#include "driver/package_build.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "resfile/formats.h"

namespace qm {

namespace {

constexpr uint32_t kRoleIndexHeader = 1024;
constexpr uint32_t kRoleIndexEntry = 12;
constexpr uint32_t kRoleClipEntry = 8;
constexpr uint64_t kMaxOffset = 0xFFFFFFFFull;

std::string WriteFailed(const std::string& name) {
    return Format("Can not write file %s！", PathFindFileName(name).c_str());
}

// Writes the frame of a role index file: header and a role table of ids.
void WriteRoleIndexFrame(File& f, const std::vector<RoleEntry>& roles) {
    char magic[24] = {'k', 'd', 'R', 'e', 's', 'V', '6'};
    f.Write(magic, sizeof magic);
    f.WriteU32(static_cast<uint32_t>(roles.size()));
    f.WriteU32(0);
    f.WriteZeros(kRoleIndexHeader - 32);
    for (const RoleEntry& role : roles) {
        f.WriteU32(static_cast<uint32_t>(role.id));
        f.WriteU32(0);
        f.WriteU32(0);
    }
    f.Flush();
}

// Writes the frame of a role clip container: header, zeros up to 1024 and a
// role table of zeros.
void WriteRoleClipFrame(File& f, uint32_t roles) {
    char magic[kClipMagicField] = {};
    std::copy(kClipMagic, kClipMagic + 24, magic);
    f.Write(magic, sizeof magic);
    f.WriteU16(kClipMarkerA);
    f.WriteU16(kClipMarkerB);
    f.WriteU16(0x0010);  // rate byte 16, coding byte 0
    f.WriteU32(roles);
    f.WriteU32(0);
    f.WriteZeros(kRoleClipHeaderSize - 44);
    f.WriteZeros(static_cast<size_t>(kRoleClipEntry) * roles);
    f.Flush();
}

// Copies bytes [offset, offset + length) of src to the file dst.
bool CopyRange(const std::string& src, int64_t offset, int64_t length, const std::string& dst) {
    File in;
    File out;
    if (!in.Open(src, "rb") || !in.Seek(offset) || !out.Open(dst, "wb")) return false;
    std::vector<unsigned char> buf(1 << 16);
    while (length > 0) {
        size_t want = static_cast<size_t>(std::min<int64_t>(length, buf.size()));
        if (!in.ReadExact(buf.data(), want) || !out.Write(buf.data(), want)) return false;
        length -= static_cast<int64_t>(want);
    }
    return out.Close();
}

// Appends the whole of src at the end of out.
bool AppendFile(const std::string& src, File& out) {
    File in;
    if (!in.Open(src, "rb") || !out.SeekEnd()) return false;
    std::vector<unsigned char> buf(1 << 16);
    for (;;) {
        size_t got = in.Read(buf.data(), buf.size());
        if (got == 0) break;
        if (!out.Write(buf.data(), got)) return false;
    }
    return !out.Failed();
}

// A new empty file "<prefix>XXXXXX<suffix>" in folder, removed with this
// object.
class ScratchFile {
  public:
    ScratchFile(const std::string& folder, const std::string& prefix, const std::string& suffix) {
        std::string pattern = JoinPath(folder, prefix + "XXXXXX" + suffix);
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        const int fd = ::mkstemps(buf.data(), static_cast<int>(suffix.size()));
        if (fd < 0) return;
        ::close(fd);
        path_.assign(buf.data());
    }
    ~ScratchFile() {
        if (!path_.empty()) RemoveFile(path_);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// One of the role clip files: the file, the offset of the next block and the
// offset and length of each role's block.
struct RoleClipFile {
    File file;
    uint64_t next = 0;
    std::vector<uint32_t> offsets, lengths;

    // Records the block that now ends the file, which began at `next`.
    bool AddBlock() {
        const uint64_t end = static_cast<uint64_t>(file.Size());
        offsets.push_back(static_cast<uint32_t>(next));
        lengths.push_back(static_cast<uint32_t>(end - next));
        next = end;
        return next <= kMaxOffset;
    }
    // Writes the total length and the role table.
    void WriteTable() {
        file.Seek(40);
        file.WriteU32(static_cast<uint32_t>(next));
        file.Seek(kRoleClipHeaderSize);
        for (size_t k = 0; k < offsets.size(); ++k) {
            file.WriteU32(offsets[k]);
            file.WriteU32(lengths[k]);
        }
    }
};

}  // namespace

struct CPackageBuild::RoleFiles {
    File index;
    uint64_t nextIndex = 0;
    std::vector<uint32_t> indexOffsets, indexLengths;
    RoleClipFile clip;
    RoleClipFile coded;
    bool coding = false;
};

bool CPackageBuild::RunRoles(int codeType, std::string& err) {
    RoleFiles files;
    if (!OpenRoleFiles(files, codeType, err)) return false;
    for (const RoleEntry& role : roleConfig.roles)
        if (!BuildRole(role, files, codeType, err)) return false;
    if (!CloseRoleFiles(files, err)) return false;
    SetBuildProgress(80);
    return Finish(BUILD_ROLE, err);
}

bool CPackageBuild::OpenRoleFiles(RoleFiles& files, int codeType, std::string& err) {
    const bool loaded = LoadRoleConfig(audioFolder_, roleConfig);
    // Both files are created before the configuration's outcome is looked at.
    files.index.Open(InAudio(indexFile_), "wb");
    files.clip.file.Open(InAudio(uncodedClipFile_), "wb");
    if (!loaded) {
        note_ = "the role configuration in Config.ini is unusable";
        return false;
    }
    if (!files.index.IsOpen()) {
        err = Format("打开文件%s失败！", indexFile_.c_str());
        return false;
    }
    if (!files.clip.file.IsOpen()) {
        err = Format("Can not create file %s！", uncodedClipFile_.c_str());
        return false;
    }
    const CodeTypeInfo* type = FindCodeType(codeType);
    files.coding = type != nullptr && type->frontEnd != nullptr;
    if (files.coding && !files.coded.file.Open(InAudio(codedClipFile_), "wb")) {
        err = Format("Can not create file %s！", codedClipFile_.c_str());
        return false;
    }

    const uint32_t roles = static_cast<uint32_t>(roleConfig.roles.size());
    WriteRoleIndexFrame(files.index, roleConfig.roles);
    WriteRoleClipFrame(files.clip.file, roles);
    if (files.coding) WriteRoleClipFrame(files.coded.file, roles);
    if (files.index.Failed() || files.clip.file.Failed() || files.coded.file.Failed()) {
        err = WriteFailed(files.index.Failed()       ? indexFile_
                          : files.clip.file.Failed() ? uncodedClipFile_
                                                     : codedClipFile_);
        return false;
    }
    files.nextIndex = kRoleIndexHeader + uint64_t{kRoleIndexEntry} * roles;
    files.clip.next = kRoleClipHeaderSize + uint64_t{kRoleClipEntry} * roles;
    files.coded.next = files.clip.next;
    return true;
}

bool CPackageBuild::BuildRole(const RoleEntry& role, RoleFiles& files, int codeType,
                              std::string& err) {
    // The role's folder: backslashes are separators and a relative path is
    // taken from the audio folder. A folder that does not exist would
    // silently read another speaker's lists, so it fails the build.
    std::string folder = Cp936PathToUtf8(role.path);
    if (!folder.empty() && folder[0] != '/') folder = JoinPath(audioFolder_, folder);
    if (role.path.empty() || !PathIsDirectory(folder) || !SetCurrentDir(folder)) {
        err = Format("%s is not a valid path!", Cp936ToUtf8(role.path).c_str());
        return false;
    }
    const std::string roleFolder = GetCurrentDir();

    promptList.clear();
    textIndex.Clear();
    clipSet.Clear();
    if (!clipSet.OpenPackage(BUILD_ROLE, packagePath_, err)) return false;
    SetBuildProgress(10);
    if (!LoadPromptLists(promptList, clipSet.sampleRate, roleFolder, err)) return false;
    SetBuildProgress(15);
    std::vector<IndexText> indexTexts;
    if (!FileTexts(err)) return false;

    files.indexOffsets.push_back(static_cast<uint32_t>(files.nextIndex));
    if (!textIndex.WriteBlock(&files.index, indexTexts, err)) return false;
    if (!files.index.Flush()) {
        err = WriteFailed(indexFile_);
        return false;
    }
    const uint64_t end = static_cast<uint64_t>(files.index.Size());
    files.indexLengths.push_back(static_cast<uint32_t>(end - files.nextIndex));
    files.nextIndex = end;

    const uint64_t innerOffset = files.clip.next;
    if (!clipSet.WriteClipContainer(BUILD_ROLE, &files.clip.file, indexTexts, err)) return false;
    if (!files.clip.file.Flush()) {
        err = WriteFailed(uncodedClipFile_);
        return false;
    }
    const bool clipFits = files.clip.AddBlock();
    if (files.nextIndex > kMaxOffset || !clipFits) {
        err = WriteFailed(files.nextIndex > kMaxOffset ? indexFile_ : uncodedClipFile_);
        return false;
    }
    SetBuildProgress(40);

    if (codeType != CODE_NONE &&
        !CodeRole(files, innerOffset, files.clip.next - innerOffset, codeType, err))
        return false;

    SetCurrentDir(audioFolder_);
    return true;
}

bool CPackageBuild::CodeRole(RoleFiles& files, uint64_t offset, uint64_t length, int codeType,
                             std::string& err) {
    // The role's inner container is coded on its own and appended to the
    // coded outer container.
    ScratchFile plain(audioFolder_, "IrfRole-", ".dat");
    ScratchFile done(audioFolder_, "IrfRole-", ".dat");
    if (plain.path().empty() || done.path().empty() ||
        !CopyRange(InAudio(uncodedClipFile_), static_cast<int64_t>(offset),
                   static_cast<int64_t>(length), plain.path())) {
        err = WriteFailed(plain.path().empty() ? std::string("IrfRole.dat") : plain.path());
        return false;
    }
    if (!Code(codeType, plain.path(), done.path(), err)) return false;
    if (!AppendFile(done.path(), files.coded.file) || !files.coded.file.Flush() ||
        !files.coded.AddBlock()) {
        err = WriteFailed(codedClipFile_);
        return false;
    }
    return true;
}

bool CPackageBuild::CloseRoleFiles(RoleFiles& files, std::string& err) {
    File& idx = files.index;
    idx.Seek(28);
    idx.WriteU32(static_cast<uint32_t>(files.nextIndex));
    idx.Seek(kRoleIndexHeader);
    for (size_t k = 0; k < roleConfig.roles.size(); ++k) {
        idx.WriteU32(static_cast<uint32_t>(roleConfig.roles[k].id));
        idx.WriteU32(files.indexOffsets[k]);
        idx.WriteU32(files.indexLengths[k]);
    }
    files.clip.WriteTable();
    if (files.coding) files.coded.WriteTable();
    if (!idx.Close()) {
        err = WriteFailed(indexFile_);
        return false;
    }
    if (!files.clip.file.Close()) {
        err = WriteFailed(uncodedClipFile_);
        return false;
    }
    if (files.coding && !files.coded.file.Close()) {
        err = WriteFailed(codedClipFile_);
        return false;
    }
    return true;
}

}  // namespace qm
