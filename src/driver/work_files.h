// The names of the files a build writes into the audio folder (and, for the
// text list, into each role's folder).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/lists.h"
#include "platform/file.h"

namespace qm {

// The two package copies of the finish; removed when the build ends.
inline constexpr const char* kPackageCopy1 = "IrfTemp1.dat";
inline constexpr const char* kPackageCopy2 = "IrfTemp2.dat";
// The by-product of the text-index writer: the texts in index order.
inline constexpr const char* kNewTextList = "New-TextLst.txt";

// "Prompt.idx", "Bgsound.idx", "PromptRole.idx" ("" outside the build types).
std::string IndexFileName(int buildType);
// "%s-%s-%s.voc" from the build type's word, the code type's name and the
// rate word; a value outside its table gives an empty word.
std::string MakeClipFileName(int buildType, int codeType, int32_t sampleRate);

// True when name is one of the file names a build writes into the audio
// folder and may replace: index files, clip files, the package copies and
// the text list.
bool IsWorkFileName(const std::string& name);

// The input of a build that the new package would replace when it landed at
// landing: the lists and the text list of folder, or a recording of list
// ("" when none).
std::string InputAt(const std::string& landing, const std::string& folder,
                    const std::vector<PromptEntry>& list);

// Opens a work file of the build for writing ("wb", "w+b") in its own name:
// a symbolic link there is removed first (never what it points to), and
// anything but a regular file there fails the open, as does a FIFO without
// waiting.
bool CreateWorkFile(File& file, const std::string& path, const char* mode);

}  // namespace qm
