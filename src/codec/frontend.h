// The coder front end: turns an uncoded clip container file into a coded one,
// moving the progress bar from its position p to p + 40.
#pragma once

#include <string>

#include "platform/progress.h"

namespace qm {

inline constexpr int kCoderOk = 0;
inline constexpr int kCoderBadCoding = -1;
inline constexpr int kCoderInputFailed = -2;
inline constexpr int kCoderOutputFailed = -3;
inline constexpr int kCoderNoMemory = -4;
inline constexpr int kCoderBadProgress = -5;
inline constexpr int kCoderInternal = -6;

int EncodeContainerALaw(const std::string& input, const std::string& output, ProgressSink* progress);
int EncodeContainerAdpcm(const std::string& input, const std::string& output, ProgressSink* progress);
int EncodeContainerG7231(const std::string& input, const std::string& output, ProgressSink* progress);
const char* CoderResultText(int result);

}  // namespace qm
