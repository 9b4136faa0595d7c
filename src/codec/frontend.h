// The coder front end: turns an uncoded clip container (a file, a buffer or a
// range of a file) into a coded one, moving the progress bar from p to p + 40.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/file.h"
#include "platform/progress.h"
#include "resfile/byte_source.h"

namespace qm {

inline constexpr int kCoderOk = 0;
inline constexpr int kCoderBadCoding = -1;
inline constexpr int kCoderInputFailed = -2;
inline constexpr int kCoderOutputFailed = -3;
inline constexpr int kCoderNoMemory = -4;
inline constexpr int kCoderBadProgress = -5;
inline constexpr int kCoderInternal = -6;

int EncodeContainerALaw(const std::string& input, const std::string& output,
                        ProgressSink* progress);
int EncodeContainerAdpcm(const std::string& input, const std::string& output,
                         ProgressSink* progress);
int EncodeContainerG7231(const std::string& input, const std::string& output,
                         ProgressSink* progress);
const char* CoderResultText(int result);

// One speech coder as the front end drives it. `encode` codes n > 0 samples
// into out and returns the bytes written (negative on failure); it is called
// from worker threads, several clips at a time, so it must keep no shared
// state. `codedSize` gives the bytes it writes at most for n samples.
struct ClipCoder {
    std::function<int(const int16_t* samples, int32_t n, unsigned char* out)> encode;
    uint64_t (*codedSize)(uint32_t n) = nullptr;
    uint8_t coding = 0;
};
ClipCoder ALawClipCoder();
ClipCoder AdpcmClipCoder();
ClipCoder G7231ClipCoder();

// Number of worker threads the three-argument front ends use. 0 (the start
// value) means one per core; 1 codes on the calling thread alone.
void SetCoderJobs(int jobs);
int CoderJobs();

// The front end for any coder: codes every clip of the uncoded container
// `input` into the coded container `output` on `jobs` threads (0: as
// CoderJobs()). The output and the progress calls are the same for every
// number of threads; the progress sink is called from the calling thread only.
// A failed write of the output gives kCoderOutputFailed; a coder result that
// is negative or longer than codedSize gives kCoderInternal.
int EncodeContainer(const std::string& input, const std::string& output, ProgressSink* progress,
                    const ClipCoder& coder, int jobs = 0);
// The same on memory: codes the uncoded container held by `input` (a buffer,
// or a range of a file) and appends the coded container at the end of `out`,
// which stays open and is not flushed beyond the container's own writes.
int EncodeContainer(const ByteSource& input, File& out, ProgressSink* progress,
                    const ClipCoder& coder, int jobs = 0);
int EncodeContainerALaw(const std::string& input, const std::string& output, ProgressSink* progress,
                        int jobs);
int EncodeContainerAdpcm(const std::string& input, const std::string& output,
                         ProgressSink* progress, int jobs);
int EncodeContainerG7231(const std::string& input, const std::string& output,
                         ProgressSink* progress, int jobs);

}  // namespace qm
