#include "driver/package_build.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "codec/frontend.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "resfile/formats.h"
#include "resfile/update.h"

namespace qm {

namespace {

constexpr const char* kTemp1 = "IrfTemp1.dat";
constexpr const char* kTemp2 = "IrfTemp2.dat";
constexpr uint32_t kRoleIndexHeader = 1024;
constexpr uint32_t kRoleIndexEntry = 12;
constexpr uint32_t kRoleClipEntry = 8;
constexpr uint32_t kTrailerZeros = 4096;

bool SameFolder(const std::string& a, const std::string& b) {
    std::error_code ec;
    bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

std::string WriteFailed(const std::string& name) {
    return Format("Can not write file %s！", PathFindFileName(name).c_str());
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

// Copies bytes [offset, offset + length) of src to a new file dst.
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

}  // namespace

const char* BuildTypeWord(int buildType) {
    switch (buildType) {
        case BUILD_PROMPT:
            return "Prompt";
        case BUILD_BGSOUND:
            return "Bgsound";
        case BUILD_ROLE:
            return "RolePrompt";
        default:
            return "";
    }
}

const char* CodeTypeName(int codeType) {
    switch (codeType) {
        case CODE_NONE:
            return "Code1";
        case CODE_ALAW:
            return "Code2";
        case CODE_ADPCM:
            return "Code3";
        case CODE_G7231:
            return "Code4";
        default:
            return "";
    }
}

const char* RateWord(int32_t sampleRate) {
    switch (sampleRate) {
        case 8000:
            return "8K";
        case 11025:
            return "11K";
        case 16000:
            return "16K";
        case 22050:
            return "22K";
        default:
            return "";
    }
}

std::string MakeClipFileName(int buildType, int codeType, int32_t sampleRate) {
    return Format("%s-%s-%s.voc", BuildTypeWord(buildType), CodeTypeName(codeType),
                  RateWord(sampleRate));
}

std::string IndexFileName(int buildType) {
    switch (buildType) {
        case BUILD_PROMPT:
            return "Prompt.idx";
        case BUILD_BGSOUND:
            return "Bgsound.idx";
        case BUILD_ROLE:
            return "PromptRole.idx";
        default:
            return "";
    }
}

bool IsWorkFileName(const std::string& name) {
    if (name == kTemp1 || name == kTemp2 || name == "New-TextLst.txt") return true;
    static const int32_t kRates[] = {0, 8000, 11025, 16000, 22050};
    for (int bt = 0; bt <= 2; ++bt) {
        if (name == IndexFileName(bt)) return true;
        for (int ct = -1; ct <= 3; ++ct)
            for (int32_t rate : kRates)
                if (name == MakeClipFileName(bt, ct, rate)) return true;
    }
    return false;
}

void CPackageBuild::SetBuildProgress(int pos) {
    (progress_ != nullptr ? progress_ : &ownProgress_)->SetPos(pos);
}

std::string CPackageBuild::InAudio(const std::string& name) const {
    return JoinPath(audioFolder_, name);
}

std::string CPackageBuild::MakeTempFile(const std::string& folder, const std::string& prefix,
                                        const std::string& suffix) {
    std::string pattern = JoinPath(folder, prefix + "XXXXXX" + suffix);
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = ::mkstemps(buf.data(), static_cast<int>(suffix.size()));
    if (fd < 0) return std::string();
    ::fchmod(fd, 0644);
    ::close(fd);
    std::string path(buf.data());
    created_.push_back(path);
    return path;
}

void CPackageBuild::DeleteWorkFiles() {
    for (const std::string& path : created_) RemoveFile(path);
    created_.clear();
}

bool CPackageBuild::Run(int buildType, const std::string& audioFolder,
                        const std::string& packagePath, int codeType, std::string& err) {
    note_.clear();
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

    // The new package lands in the audio folder under the package's name, or
    // where the caller asked. Neither the input package nor the new one may
    // be a file that the build itself writes into the audio folder.
    finalPath_ = outputPath_.empty() ? JoinPath(audioFolder_, PathFindFileName(packagePath_))
                                     : MakeAbsolute(outputPath_);
    for (const std::string* path : {&packagePath_, &finalPath_}) {
        if (IsWorkFileName(PathFindFileName(*path)) &&
            SameFolder(ParentPath(*path), audioFolder_)) {
            err = "IRF file path name is incorrect, please re-set it!";
            finalPath_.clear();
            return false;
        }
    }

    bool ok =
        buildType == BUILD_ROLE ? RunRoles(codeType, err) : RunSingle(buildType, codeType, err);
    if (!ok) finalPath_.clear();
    return ok;
}

bool CPackageBuild::FileTexts(std::string& err) {
    for (size_t i = 0; i < promptList.size(); ++i) {
        currentPrompt_ = static_cast<int32_t>(i + 1);
        if (!textIndex.AddText(promptList[i], currentPrompt_, err)) return false;
        clipSet.entries.push_back(promptList[i]);
    }
    SetBuildProgress(30);
    return true;
}

bool CPackageBuild::RunSingle(int buildType, int codeType, std::string& err) {
    if (!clipSet.OpenPackage(buildType, packagePath_, err)) return false;
    uncodedClipFile_ = MakeClipFileName(buildType, CODE_NONE, clipSet.sampleRate);
    codedClipFile_ = MakeClipFileName(buildType, codeType, clipSet.sampleRate);
    SetBuildProgress(10);

    if (!LoadPromptLists(promptList, clipSet.sampleRate, audioFolder_, err)) return false;
    SetBuildProgress(15);

    std::vector<IndexText> indexTexts;
    if (!FileTexts(err)) return false;

    {
        File idx;
        idx.Open(InAudio(indexFile_), "wb");
        bool written = textIndex.WriteBlock(idx.IsOpen() ? &idx : nullptr, indexTexts, err);
        if (idx.IsOpen() && !idx.Close() && written) {
            err = WriteFailed(indexFile_);
            written = false;
        }
        if (!written) return false;
    }

    {
        File clip;
        clip.Open(InAudio(uncodedClipFile_), "wb");
        if (!clipSet.WriteClipContainer(buildType, &clip, indexTexts, err)) return false;
        if (!clip.Close()) {
            err = WriteFailed(uncodedClipFile_);
            return false;
        }
    }
    SetBuildProgress(40);

    if (!Code(codeType, InAudio(uncodedClipFile_), InAudio(codedClipFile_), err)) return false;
    SetBuildProgress(80);
    return Finish(buildType, err);
}

bool CPackageBuild::Code(int codeType, const std::string& input, const std::string& output,
                         std::string& err) {
    ProgressSink* sink = progress_ != nullptr ? progress_ : &ownProgress_;
    int r = 0;
    switch (codeType) {
        case CODE_NONE:
            return true;
        case CODE_ALAW:
            r = EncodeContainerALaw(input, output, sink, jobs_);
            break;
        case CODE_ADPCM:
            r = EncodeContainerAdpcm(input, output, sink, jobs_);
            break;
        case CODE_G7231:
            r = EncodeContainerG7231(input, output, sink, jobs_);
            break;
        default:
            err = "Invalid code type！";
            DeleteWorkFiles();
            return false;
    }
    if (r != 0) {
        err = Format("%s occured when executing codeing", CoderResultText(r));
        return false;
    }
    return true;
}

bool CPackageBuild::RunRoles(int codeType, std::string& err) {
    const bool loaded = LoadRoleConfig(audioFolder_, roleConfig);

    File idx;
    File clip;
    File coded;
    idx.Open(InAudio(indexFile_), "wb");
    clip.Open(InAudio(uncodedClipFile_), "wb");
    if (!loaded) {
        note_ = "the role configuration in Config.ini is unusable";
        return false;
    }
    if (!idx.IsOpen()) {
        err = Format("打开文件%s失败！", indexFile_.c_str());
        return false;
    }
    if (!clip.IsOpen()) {
        err = Format("Can not create file %s！", uncodedClipFile_.c_str());
        return false;
    }
    const bool coding = codeType >= CODE_ALAW && codeType <= CODE_G7231;
    if (coding && !coded.Open(InAudio(codedClipFile_), "wb")) {
        err = Format("Can not create file %s！", codedClipFile_.c_str());
        return false;
    }

    const uint32_t roles = static_cast<uint32_t>(roleConfig.roles.size());
    // Role index file frame.
    char magic[24] = {'k', 'd', 'R', 'e', 's', 'V', '6'};
    idx.Write(magic, sizeof magic);
    idx.WriteU32(roles);
    idx.WriteU32(0);
    idx.WriteZeros(kRoleIndexHeader - 32);
    for (const RoleEntry& role : roleConfig.roles) {
        idx.WriteU32(static_cast<uint32_t>(role.id));
        idx.WriteU32(0);
        idx.WriteU32(0);
    }
    idx.Flush();
    WriteRoleClipFrame(clip, roles);
    if (coding) WriteRoleClipFrame(coded, roles);
    if (idx.Failed() || clip.Failed() || coded.Failed()) {
        err = WriteFailed(idx.Failed()    ? indexFile_
                          : clip.Failed() ? uncodedClipFile_
                                          : codedClipFile_);
        return false;
    }

    uint64_t nextIndex = kRoleIndexHeader + uint64_t{kRoleIndexEntry} * roles;
    uint64_t nextClip = kRoleClipHeaderSize + uint64_t{kRoleClipEntry} * roles;
    uint64_t nextCoded = nextClip;
    std::vector<uint32_t> indexOffsets, indexLengths, clipOffsets, clipLengths, codedOffsets,
        codedLengths;

    for (const RoleEntry& role : roleConfig.roles) {
        // The role's folder: backslashes are separators and a relative path
        // is taken from the audio folder. A folder that does not exist would
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

        indexOffsets.push_back(static_cast<uint32_t>(nextIndex));
        if (!textIndex.WriteBlock(&idx, indexTexts, err)) return false;
        if (!idx.Flush()) {
            err = WriteFailed(indexFile_);
            return false;
        }
        uint64_t end = static_cast<uint64_t>(idx.Size());
        indexLengths.push_back(static_cast<uint32_t>(end - nextIndex));
        nextIndex = end;

        clipOffsets.push_back(static_cast<uint32_t>(nextClip));
        if (!clipSet.WriteClipContainer(BUILD_ROLE, &clip, indexTexts, err)) return false;
        if (!clip.Flush()) {
            err = WriteFailed(uncodedClipFile_);
            return false;
        }
        end = static_cast<uint64_t>(clip.Size());
        const uint64_t innerOffset = nextClip;
        const uint64_t innerLength = end - nextClip;
        clipLengths.push_back(static_cast<uint32_t>(innerLength));
        nextClip = end;
        if (nextIndex > 0xFFFFFFFFull || nextClip > 0xFFFFFFFFull) {
            err = WriteFailed(nextIndex > 0xFFFFFFFFull ? indexFile_ : uncodedClipFile_);
            return false;
        }
        SetBuildProgress(40);

        if (codeType != CODE_NONE) {
            // The role's inner container is coded on its own and appended to
            // the coded outer container.
            std::string plain = MakeTempFile(audioFolder_, "IrfRole-", ".dat");
            std::string done = MakeTempFile(audioFolder_, "IrfRole-", ".dat");
            if (plain.empty() || done.empty() ||
                !CopyRange(InAudio(uncodedClipFile_), static_cast<int64_t>(innerOffset),
                           static_cast<int64_t>(innerLength), plain)) {
                err = WriteFailed(plain.empty() ? std::string("IrfRole.dat") : plain);
                return false;
            }
            if (!Code(codeType, plain, done, err)) return false;
            codedOffsets.push_back(static_cast<uint32_t>(nextCoded));
            if (!AppendFile(done, coded) || !coded.Flush()) {
                err = WriteFailed(codedClipFile_);
                return false;
            }
            end = static_cast<uint64_t>(coded.Size());
            codedLengths.push_back(static_cast<uint32_t>(end - nextCoded));
            nextCoded = end;
            if (nextCoded > 0xFFFFFFFFull) {
                err = WriteFailed(codedClipFile_);
                return false;
            }
            RemoveFile(plain);
            RemoveFile(done);
        }

        SetCurrentDir(audioFolder_);
        indexTexts.clear();
    }

    idx.Seek(28);
    idx.WriteU32(static_cast<uint32_t>(nextIndex));
    idx.Seek(kRoleIndexHeader);
    for (size_t k = 0; k < roles; ++k) {
        idx.WriteU32(static_cast<uint32_t>(roleConfig.roles[k].id));
        idx.WriteU32(indexOffsets[k]);
        idx.WriteU32(indexLengths[k]);
    }
    auto finishClip = [&](File& f, uint64_t length, const std::vector<uint32_t>& offsets,
                          const std::vector<uint32_t>& lengths) {
        f.Seek(40);
        f.WriteU32(static_cast<uint32_t>(length));
        f.Seek(kRoleClipHeaderSize);
        for (size_t k = 0; k < roles; ++k) {
            f.WriteU32(offsets[k]);
            f.WriteU32(lengths[k]);
        }
    };
    finishClip(clip, nextClip, clipOffsets, clipLengths);
    if (coding) finishClip(coded, nextCoded, codedOffsets, codedLengths);
    if (!idx.Close()) {
        err = WriteFailed(indexFile_);
        return false;
    }
    if (!clip.Close()) {
        err = WriteFailed(uncodedClipFile_);
        return false;
    }
    if (coding && !coded.Close()) {
        err = WriteFailed(codedClipFile_);
        return false;
    }
    SetBuildProgress(80);
    return Finish(BUILD_ROLE, err);
}

bool CPackageBuild::Finish(int buildType, std::string& err) {
    const std::string temp1 = InAudio(kTemp1);
    const std::string temp2 = InAudio(kTemp2);
    auto copyFailed = [&]() {
        err = "Copy temp file failed！";
        DeleteWorkFiles();
        return false;
    };

    created_.push_back(temp1);
    if (!CopyFileReplace(packagePath_, temp1)) return copyFailed();

    int32_t result = 0;
    created_.push_back(temp2);
    {
        CUpdateResource update(temp1, InAudio(indexFile_), *IndexResourceId(buildType), temp2,
                               &result);
        if (update.failed) {
            note_ = Format("the index resource could not be replaced in the package (code 0x%04X)",
                           static_cast<unsigned>(result));
            return false;
        }
    }
    SetBuildProgress(90);
    {
        CUpdateResource update(temp2, InAudio(codedClipFile_), *ClipResourceId(buildType), temp1,
                               &result);
        if (update.failed) {
            note_ = Format("the clip resource could not be replaced in the package (code 0x%04X)",
                           static_cast<unsigned>(result));
            return false;
        }
    }

    // The new package is completed under a temporary name and only then
    // renamed over the final name, so that name holds either the old file or
    // the whole new package.
    {
        File f;
        if (!f.Open(temp1, "r+b") || !f.SeekEnd() || !f.WriteZeros(kTrailerZeros) || !f.Close())
            return copyFailed();
    }
    if (!SyncFile(temp1)) return copyFailed();
    const std::string folder = ParentPath(finalPath_);
    if (SameFolder(folder, audioFolder_)) {
        if (!RenameReplace(temp1, finalPath_)) return copyFailed();
    } else {
        std::string prefix(1, '.');
        prefix.append(PathFindFileName(finalPath_)).push_back('.');
        std::string temp = MakeTempFile(folder, prefix, ".tmp");
        if (temp.empty() || !CopyFileReplace(temp1, temp) || !SyncFile(temp) ||
            !RenameReplace(temp, finalPath_))
            return copyFailed();
    }
    SetBuildProgress(100);
    DeleteWorkFiles();
    return true;
}

}  // namespace qm
