#include "codec/frontend.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "codec/coders.h"
#include "codec/g7231/g7231.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/safe_replace.h"
#include "platform/interrupt.h"
#include "platform/text.h"
#include "resfile/clip_container.h"

namespace qm {

namespace {

std::atomic<int> g_coderJobs{0};

// More threads than this gain nothing for a disk-bound loop and only cost memory.
constexpr int kMaxJobs = 64;
// Clips read ahead beyond one per worker, so workers never wait for the reader.
constexpr size_t kQueueExtra = 4;

uint64_t ALawCodedSize(uint32_t n) { return n; }
uint64_t AdpcmCodedSize(uint32_t n) { return n / 2; }
uint64_t G7231CodedSize(uint32_t n) { return 20 * ((static_cast<uint64_t>(n) + 239) / 240); }

int ResolveJobs(int jobs) {
    if (jobs <= 0) jobs = g_coderJobs.load();
    if (jobs <= 0) {
        unsigned hc = std::thread::hardware_concurrency();
        jobs = hc == 0 ? 1 : static_cast<int>(std::min<unsigned>(hc, kMaxJobs));
    }
    return std::min(jobs, kMaxJobs);
}

// One clip on its way through the coder: read by the calling thread, coded by
// a worker, written by the calling thread.
struct Clip {
    uint32_t n = 0;
    std::vector<int16_t> samples;
    std::vector<unsigned char> coded;
    int result = 0;

    void Release() {
        std::vector<int16_t>().swap(samples);
        std::vector<unsigned char>().swap(coded);
    }
};

void CodeClip(const ClipCoder& coder, Clip& clip) {
    if (clip.n == 0) {
        // Coders refuse empty clips; such a record holds only its count.
        clip.result = 0;
        return;
    }
    try {
        clip.result =
            coder.encode(clip.samples.data(), static_cast<int32_t>(clip.n), clip.coded.data());
    } catch (...) {
        clip.result = -1;
    }
}

// Reads record k of the input: its count and samples. Every part of it must
// lie inside the file, so a damaged table can neither make us read past the
// end nor allocate more than the file holds.
int ReadClip(const ClipContainerReader& in, uint32_t k, const ClipCoder& coder, Clip& clip) {
    uint32_t n = 0;
    uint64_t bytes = 0;
    if (!in.SampleCount(k, n)) return kCoderInputFailed;
    if (n > static_cast<uint32_t>(INT32_MAX)) return kCoderInputFailed;
    if (!in.DataFits(k, n, bytes)) return kCoderInputFailed;
    clip.n = n;
    clip.result = 0;
    if (coder.codedSize(n) >= SIZE_MAX) return kCoderNoMemory;
    try {
        clip.samples.assign(n, 0);
        // Never an empty buffer: a coder that writes nothing still gets a valid pointer.
        clip.coded.assign(std::max<uint64_t>(coder.codedSize(n), 1), 0);
    } catch (const std::bad_alloc&) {
        clip.Release();
        return kCoderNoMemory;
    } catch (const std::length_error&) {
        clip.Release();
        return kCoderNoMemory;
    }
    auto* raw = reinterpret_cast<unsigned char*>(clip.samples.data());
    if (!in.ReadData(k, raw, static_cast<size_t>(bytes))) return kCoderInputFailed;
    if constexpr (std::endian::native != std::endian::little) {
        for (uint32_t i = 0; i < n; ++i) {
            clip.samples[i] = static_cast<int16_t>(GetU16(raw + 2 * i));
        }
    }
    return kCoderOk;
}

// Worker threads that code the clips of a fixed set of slots. The calling
// thread fills a slot, submits it, and later waits for it; a slot is touched by
// one side at a time, handed over under the mutex.
class CoderPool {
  public:
    CoderPool(const ClipCoder& coder, std::vector<Clip>& slots, int threads)
        : coder_(coder), slots_(slots), done_(slots.size(), 1) {
        for (int i = 0; i < threads; ++i) {
            try {
                threads_.emplace_back([this] { Run(); });
            } catch (...) {
                break;  // Fewer threads; with none the caller's thread codes.
            }
        }
    }
    ~CoderPool() {
        {
            std::lock_guard<std::mutex> lock(mu_);
            stop_ = true;
        }
        workCv_.notify_all();
        for (auto& t : threads_) t.join();
    }
    CoderPool(const CoderPool&) = delete;
    CoderPool& operator=(const CoderPool&) = delete;

    void Submit(size_t slot) {
        if (threads_.empty()) {
            CodeClip(coder_, slots_[slot]);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mu_);
            done_[slot] = 0;
            queue_.push_back(slot);
        }
        workCv_.notify_one();
    }

    void Wait(size_t slot) {
        std::unique_lock<std::mutex> lock(mu_);
        doneCv_.wait(lock, [&] { return done_[slot] != 0; });
    }

  private:
    void Run() {
        for (;;) {
            size_t slot;
            {
                std::unique_lock<std::mutex> lock(mu_);
                workCv_.wait(lock, [&] { return stop_ || !queue_.empty(); });
                if (stop_) return;
                slot = queue_.front();
                queue_.pop_front();
            }
            CodeClip(coder_, slots_[slot]);
            {
                std::lock_guard<std::mutex> lock(mu_);
                done_[slot] = 1;
            }
            doneCv_.notify_all();
        }
    }

    const ClipCoder& coder_;
    std::vector<Clip>& slots_;
    std::mutex mu_;
    std::condition_variable workCv_;
    std::condition_variable doneCv_;
    std::deque<size_t> queue_;
    std::vector<char> done_;
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace

ClipCoder ALawClipCoder() { return ClipCoder{ALawEncode, ALawCodedSize, CODING_ALAW}; }
ClipCoder AdpcmClipCoder() { return ClipCoder{AdpcmEncode, AdpcmCodedSize, CODING_IMA_ADPCM}; }
ClipCoder G7231ClipCoder() { return ClipCoder{G7231EncodeClip, G7231CodedSize, CODING_G7231}; }

void SetCoderJobs(int jobs) { g_coderJobs.store(jobs < 0 ? 0 : jobs); }
int CoderJobs() { return ResolveJobs(0); }

namespace {

int CheckCoding(ProgressSink* progress, const ClipCoder& coder) {
    if (progress == nullptr || !progress->IsValid()) return kCoderBadProgress;
    if (!coder.encode || coder.codedSize == nullptr) return kCoderInternal;
    return kCoderOk;
}

// Reads the header and, once the coding byte says uncoded, the whole offset
// table (which must lie in the source before it is allocated).
int ReadUncoded(const ByteSource& src, ClipContainerReader& reader) {
    if (!reader.ReadHeader(src)) return kCoderInputFailed;
    if (reader.Header().coding != CODING_PCM16) return kCoderBadCoding;
    if (!reader.ReadTable()) return kCoderInputFailed;
    return kCoderOk;
}

// Codes every clip of reader into a container appended at the end of out,
// moving the progress bar from progressBase + 3 toward progressBase + 40
// (the caller sets the last position once the output is complete).
int CodeClips(const ClipContainerReader& reader, File& out, ProgressSink* progress,
              const ClipCoder& coder, int jobs, int progressBase) {
    const uint32_t count = reader.Count();
    // Every byte of the input's header but its coding byte is carried over.
    ClipContainerWriter writer;
    if (!writer.Begin(out, reader.Header().WithCoding(coder.coding), kCodedTablePlaceholder)) {
        return kCoderOutputFailed;
    }

    // Progress: from base + 3 by a step of 37 / N rounded half up, to base + 40.
    int progressPos = progressBase + 3;
    const int progressStep = count == 0 ? 0
                                        : static_cast<int>((74 + static_cast<uint64_t>(count)) /
                                                           (2 * static_cast<uint64_t>(count)));

    const int threads = ResolveJobs(jobs);
    const size_t slotCount = threads <= 1 ? 1 : static_cast<size_t>(threads) + kQueueExtra;
    std::vector<Clip> slots(slotCount);
    CoderPool pool(coder, slots, threads <= 1 ? 0 : threads);

    // Clips are read and submitted ahead, and written strictly in clip order,
    // so the output and the progress calls are those of a sequential run. A
    // read failure is only reported when its clip's turn to be written comes.
    uint32_t nextRead = 0;
    uint32_t nextWrite = 0;
    uint32_t failAt = count;
    // The bar moves by whole percents only; the stage says which clip is done.
    progress->SetStage("coding", 0, count);
    int failure = kCoderOk;
    while (nextWrite < count) {
        while (failAt == count && nextRead < count && nextRead - nextWrite < slotCount) {
            size_t slot = nextRead % slotCount;
            int r = ReadClip(reader, nextRead, coder, slots[slot]);
            if (r != kCoderOk) {
                slots[slot].Release();
                failAt = nextRead;
                failure = r;
                break;
            }
            pool.Submit(slot);
            ++nextRead;
        }
        if (nextWrite == failAt) return failure;
        // An interrupt stops the coding between two clips.
        if (Interrupted()) return kCoderOutputFailed;

        const size_t slot = nextWrite % slotCount;
        pool.Wait(slot);
        Clip& clip = slots[slot];
        const int bytes = clip.result;
        if (bytes < 0 || static_cast<uint64_t>(bytes) > coder.codedSize(clip.n)) {
            return kCoderInternal;
        }
        // Also refused when the container would outgrow its 32-bit offsets.
        if (!writer.AddRecord(clip.n, clip.coded.data(), static_cast<size_t>(bytes))) {
            return kCoderOutputFailed;
        }
        clip.Release();
        ++nextWrite;
        progressPos += progressStep;
        progress->SetPos(progressPos);
        progress->SetStage("coding", nextWrite, count);
    }
    return writer.Finish() ? kCoderOk : kCoderOutputFailed;
}

int EncodeSourceUnguarded(const ByteSource& input, File& out, ProgressSink* progress,
                          const ClipCoder& coder, int jobs) {
    if (const int r = CheckCoding(progress, coder); r != kCoderOk) return r;
    ClipContainerReader reader;
    if (const int r = ReadUncoded(input, reader); r != kCoderOk) return r;
    if (!out.IsOpen()) return kCoderOutputFailed;
    const int progressBase = progress->GetPos();
    if (const int r = CodeClips(reader, out, progress, coder, jobs, progressBase); r != kCoderOk)
        return r;
    progress->SetPos(progressBase + 40);
    return kCoderOk;
}

int EncodeFileUnguarded(const std::string& input, const std::string& output, ProgressSink* progress,
                        const ClipCoder& coder, int jobs) {
    if (const int r = CheckCoding(progress, coder); r != kCoderOk) return r;

    File in;
    if (!in.Open(input, "rb")) return kCoderInputFailed;
    const int64_t inSize = in.Size();
    if (inSize < 0) return kCoderInputFailed;
    const FileRangeSource src(in, 0, static_cast<uint64_t>(inSize));
    ClipContainerReader reader;
    if (const int r = ReadUncoded(src, reader); r != kCoderOk) return r;

    // The output may not name the input: a failed build would then have
    // replaced its own source.
    std::error_code ec;
    if (std::filesystem::equivalent(input, output, ec)) return kCoderOutputFailed;
    // The output replaces any earlier file of its name only once it is
    // whole; a device or a folder there is refused, never written through.
    SafeReplace out(output);
    if (!out.Open()) return kCoderOutputFailed;
    if (const int r = EncodeSourceUnguarded(src, out.Out(), progress, coder, jobs); r != kCoderOk)
        return r;
    in.Close();
    return out.Commit() ? kCoderOk : kCoderOutputFailed;
}

// Nothing may escape as an exception; the small allocations outside the
// per-clip buffers are the only thing that could still throw.
template <typename F>
int Guarded(F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return kCoderNoMemory;
    } catch (...) {
        return kCoderInternal;
    }
}

}  // namespace

int EncodeContainer(const std::string& input, const std::string& output, ProgressSink* progress,
                    const ClipCoder& coder, int jobs) {
    return Guarded([&] { return EncodeFileUnguarded(input, output, progress, coder, jobs); });
}

int EncodeContainer(const ByteSource& input, File& out, ProgressSink* progress,
                    const ClipCoder& coder, int jobs) {
    return Guarded([&] { return EncodeSourceUnguarded(input, out, progress, coder, jobs); });
}

int EncodeContainerALaw(const std::string& input, const std::string& output, ProgressSink* progress,
                        int jobs) {
    return EncodeContainer(input, output, progress, ALawClipCoder(), jobs);
}
int EncodeContainerAdpcm(const std::string& input, const std::string& output,
                         ProgressSink* progress, int jobs) {
    return EncodeContainer(input, output, progress, AdpcmClipCoder(), jobs);
}
int EncodeContainerG7231(const std::string& input, const std::string& output,
                         ProgressSink* progress, int jobs) {
    return EncodeContainer(input, output, progress, G7231ClipCoder(), jobs);
}
int EncodeContainerALaw(const std::string& input, const std::string& output,
                        ProgressSink* progress) {
    return EncodeContainerALaw(input, output, progress, 0);
}
int EncodeContainerAdpcm(const std::string& input, const std::string& output,
                         ProgressSink* progress) {
    return EncodeContainerAdpcm(input, output, progress, 0);
}
int EncodeContainerG7231(const std::string& input, const std::string& output,
                         ProgressSink* progress) {
    return EncodeContainerG7231(input, output, progress, 0);
}

const char* CoderResultText(int result) {
    switch (result) {
        case kCoderOk:
            return "Execult Successful";
        case kCoderBadCoding:
            return "Incorrect code type";
        case kCoderInputFailed:
            return "Input file can not opened";
        case kCoderOutputFailed:
            return "Output file can not created";
        case kCoderNoMemory:
            return "Memery allocate failed";
        case kCoderBadProgress:
            return "Invalid progress control";
        case kCoderInternal:
            return "Coder internal error";
        default:
            return "Invalid error type";
    }
}

}  // namespace qm
