#include "driver/work_files.h"

#include "driver/build_types.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qm {

std::string IndexFileName(int buildType) {
    const BuildTypeInfo* t = FindBuildType(buildType);
    return t != nullptr ? t->indexFile : "";
}

std::string MakeClipFileName(int buildType, int codeType, int32_t sampleRate) {
    return Format("%s-%s-%s.voc", BuildTypeWord(buildType), CodeTypeName(codeType),
                  RateWord(sampleRate));
}

bool IsWorkFileName(const std::string& name) {
    if (name == kPackageCopy1 || name == kPackageCopy2 || name == kNewTextList) return true;
    for (const BuildTypeInfo& bt : BuildTypes()) {
        if (name == bt.indexFile) return true;
        // Clip file names with every word, and with the empty word a value
        // outside its table gives.
        for (int ct = -1; ct < static_cast<int>(CodeTypes().size()); ++ct) {
            if (name == MakeClipFileName(bt.type, ct, 0)) return true;
            for (const RateInfo& rate : Rates())
                if (name == MakeClipFileName(bt.type, ct, rate.hz)) return true;
        }
    }
    return false;
}

std::string InputAt(const std::string& landing, const std::string& folder,
                    const std::vector<PromptEntry>& list) {
    if (!PathFileExists(landing)) return "";
    for (const char* name : {"TextList.txt", "WaveList.txt", kNewTextList}) {
        const std::string path = JoinPath(folder, name);
        if (ReplacingHits(landing, path)) return path;
    }
    for (const PromptEntry& entry : list)
        if (ReplacingHits(landing, entry.path)) return entry.path;
    return "";
}

bool CreateWorkFile(File& file, const std::string& path, const char* mode) {
    return file.Create(path, mode);
}

}  // namespace qm
