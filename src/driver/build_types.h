// The build types, code types and sample rates, with every word and value
// each one carries. Everything that names, labels or looks up one of them
// reads it here.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "codec/frontend.h"
#include "platform/progress.h"
#include "resfile/formats.h"

namespace qm {

struct BuildTypeInfo {
    BuildType type;
    const char* option;     // the command line's word: "prompt"
    const char* label;      // the dialog's list text (code page 936 in the original)
    const char* word;       // name word of clip file names: "Prompt"
    const char* indexFile;  // index file name: "Prompt.idx"
    const ResourceId* indexId;
    const ResourceId* clipId;
    float levelTarget;  // peak that recordings are levelled to
};

// Codes a whole uncoded clip container file into a coded one (the coder
// front end), moving the progress bar by 40.
using ContainerCoder = int (*)(const std::string& input, const std::string& output,
                               ProgressSink* progress, int jobs);

struct CodeTypeInfo {
    CodeType type;
    const char* name;          // "Code1" .. "Code4"
    ContainerCoder frontEnd;   // nullptr for the uncoded type
    ClipCoder (*clipCoder)();  // the coder for one clip in memory; nullptr for the uncoded type
    const char* codec;  // the coder's name for `encode`: "alaw", "adpcm", "g7231"; "" uncoded
    uint8_t coding;     // coding byte of the container that goes into the package
};

struct RateInfo {
    int32_t hz;        // its rate byte in clip containers: RateByte (resfile/formats.h)
    const char* text;  // as the dialog's rate list and `rate` show it: "16kHz 16bit"
    const char* word;  // rate word of clip file names: "16K"
};

// The tables, in value order (build and code types) and from the lowest rate up.
std::span<const BuildTypeInfo> BuildTypes();
std::span<const CodeTypeInfo> CodeTypes();
std::span<const RateInfo> Rates();

// Look-ups; nullptr when nothing matches.
const BuildTypeInfo* FindBuildType(int type);
const BuildTypeInfo* FindBuildTypeOption(std::string_view option);
const CodeTypeInfo* FindCodeType(int type);
const CodeTypeInfo* FindCodeTypeName(std::string_view name);
const CodeTypeInfo* FindCodec(std::string_view codec);
const RateInfo* FindRate(int32_t hz);

// The words of file names; "" for a value outside its table.
const char* BuildTypeWord(int buildType);
const char* CodeTypeName(int codeType);
const char* RateWord(int32_t hz);
// The rate as shown to the user ("" outside the table).
const char* RateText(int32_t hz);

}  // namespace qm
