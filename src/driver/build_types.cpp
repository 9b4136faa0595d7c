#include "driver/build_types.h"

namespace qm {

namespace {

constexpr BuildTypeInfo kBuildTypes[] = {
    {BUILD_PROMPT, "prompt", "打包提示音资源", "Prompt", "Prompt.idx", &kPromptIndexId,
     &kPromptClipId, 20000.0f},
    {BUILD_BGSOUND, "bgsound", "打包背景音资源", "Bgsound", "Bgsound.idx", &kBgsoundIndexId,
     &kBgsoundClipId, 15000.0f},
    {BUILD_ROLE, "role", "打包发音人提示音资源", "RolePrompt", "PromptRole.idx", &kRoleIndexId,
     &kRoleClipId, 20000.0f},
};

int FrontEndALaw(const std::string& in, const std::string& out, ProgressSink* p, int jobs) {
    return EncodeContainerALaw(in, out, p, jobs);
}
int FrontEndAdpcm(const std::string& in, const std::string& out, ProgressSink* p, int jobs) {
    return EncodeContainerAdpcm(in, out, p, jobs);
}
int FrontEndG7231(const std::string& in, const std::string& out, ProgressSink* p, int jobs) {
    return EncodeContainerG7231(in, out, p, jobs);
}

constexpr CodeTypeInfo kCodeTypes[] = {
    {CODE_NONE, "Code1", nullptr, nullptr, "", CODING_PCM16},
    {CODE_ALAW, "Code2", FrontEndALaw, ALawClipCoder, "alaw", CODING_ALAW},
    {CODE_ADPCM, "Code3", FrontEndAdpcm, AdpcmClipCoder, "adpcm", CODING_IMA_ADPCM},
    {CODE_G7231, "Code4", FrontEndG7231, G7231ClipCoder, "g7231", CODING_G7231},
};

// "8kHz  16bit" has two blanks: the texts line up in the dialog's list.
constexpr RateInfo kRates[] = {
    {8000, "8kHz  16bit", "8K"},
    {11025, "11kHz 16bit", "11K"},
    {16000, "16kHz 16bit", "16K"},
    {22050, "22kHz 16bit", "22K"},
};

template <typename T, typename Pred>
const T* FindIn(std::span<const T> table, Pred pred) {
    for (const T& e : table)
        if (pred(e)) return &e;
    return nullptr;
}

}  // namespace

std::span<const BuildTypeInfo> BuildTypes() { return kBuildTypes; }
std::span<const CodeTypeInfo> CodeTypes() { return kCodeTypes; }
std::span<const RateInfo> Rates() { return kRates; }

const BuildTypeInfo* FindBuildType(int type) {
    return FindIn(BuildTypes(), [&](const BuildTypeInfo& e) { return e.type == type; });
}
const BuildTypeInfo* FindBuildTypeOption(std::string_view option) {
    return FindIn(BuildTypes(), [&](const BuildTypeInfo& e) { return e.option == option; });
}
const CodeTypeInfo* FindCodeType(int type) {
    return FindIn(CodeTypes(), [&](const CodeTypeInfo& e) { return e.type == type; });
}
const CodeTypeInfo* FindCodeTypeName(std::string_view name) {
    return FindIn(CodeTypes(), [&](const CodeTypeInfo& e) { return e.name == name; });
}
const CodeTypeInfo* FindCodec(std::string_view codec) {
    return FindIn(CodeTypes(), [&](const CodeTypeInfo& e) {
        return e.clipCoder != nullptr && e.codec == codec;
    });
}
const RateInfo* FindRate(int32_t hz) {
    return FindIn(Rates(), [&](const RateInfo& e) { return e.hz == hz; });
}

const char* BuildTypeWord(int buildType) {
    const BuildTypeInfo* t = FindBuildType(buildType);
    return t != nullptr ? t->word : "";
}
const char* CodeTypeName(int codeType) {
    const CodeTypeInfo* t = FindCodeType(codeType);
    return t != nullptr ? t->name : "";
}
const char* RateWord(int32_t hz) {
    const RateInfo* r = FindRate(hz);
    return r != nullptr ? r->word : "";
}
const char* RateText(int32_t hz) {
    const RateInfo* r = FindRate(hz);
    return r != nullptr ? r->text : "";
}

}  // namespace qm
