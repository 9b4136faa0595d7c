#include "input/audio.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>

#include "input/resampler.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qm {

namespace {

constexpr size_t kWaveHeaderSize = 44;
// A record's sample count is stored in 32 bits and the resampler counts in
// signed 32 bits; a recording never holds more samples than this.
constexpr uint64_t kMaxSamples = std::numeric_limits<int32_t>::max();
// Input samples handed to the resampler per call.
constexpr int32_t kResampleChunk = 1 << 20;

int32_t PeakOf(const int16_t* s, size_t n) {
    int32_t peak = 0;
    for (size_t i = 0; i < n; ++i) peak = std::max(peak, std::abs(static_cast<int32_t>(s[i])));
    return peak;
}

// sample * window in double, truncated toward zero.
inline int16_t Scale(int16_t sample, double factor) {
    double v = std::trunc(static_cast<double>(sample) * factor);
    return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
}

}  // namespace

bool CAudioData::Load(const std::string& path, AudioKind kind, std::string& err, int64_t wanted) {
    Release();
    const std::string openFailed = Format("打开文件%s失败！", path.c_str());
    // Only regular files: a folder or a device opens but has no honest size.
    if (!PathIsFile(path)) {
        err = openFailed;
        return false;
    }
    File f;
    if (!f.Open(path, "rb")) {
        err = openFailed;
        return false;
    }
    const int64_t size = f.Size();
    if (size < 0) {
        err = openFailed;
        return false;
    }

    // What the file claims (the header's data size, or the whole raw file)
    // and what it really holds behind the header.
    uint64_t claimed = 0, held = 0;
    if (kind == AUDIO_WAV) {
        unsigned char header[kWaveHeaderSize] = {};
        f.Read(header, kWaveHeaderSize);
        claimed = GetU32(header + 40) / 2;
        held = size > static_cast<int64_t>(kWaveHeaderSize)
                   ? static_cast<uint64_t>(size - kWaveHeaderSize) / 2
                   : 0;
    } else {
        claimed = held = static_cast<uint64_t>(size) / 2;
    }

    uint64_t take = claimed;
    if (wanted >= 0) {
        if (static_cast<uint64_t>(wanted) > claimed) {
            err = "取数据的长度过长，超过文件中含有数据的长度";
            return false;
        }
        take = static_cast<uint64_t>(wanted);
    }
    // Never allocate for samples the file does not hold.
    take = std::min(take, held);
    if (take > kMaxSamples) {
        err = "分配音频内存错误！";
        return false;
    }
    try {
        samples.assign(static_cast<size_t>(take), 0);
    } catch (const std::bad_alloc&) {
        samples = std::vector<int16_t>();
        err = "分配音频内存错误！";
        return false;
    }
    const size_t got = f.Read(samples.data(), samples.size() * sizeof(int16_t)) / sizeof(int16_t);
    samples.resize(got);
    if constexpr (std::endian::native == std::endian::big) {
        for (int16_t& s : samples) {
            const auto u = static_cast<uint16_t>(s);
            s = static_cast<int16_t>(static_cast<uint16_t>((u >> 8) | (u << 8)));
        }
    }
    loaded_ = true;
    return true;
}

double CAudioData::Normalize(float target) {
    if (target == 0.0f || std::isnan(target) || samples.empty()) return 1.0;
    const int32_t peak = PeakOf(samples.data(), samples.size());
    // A silent clip stays silent.
    if (peak == 0) return 1.0;
    // Lower bound: the target less 3000 (in single precision, truncated),
    // at least 1000.
    const float lowF = target - 3000.0f;
    int32_t low = 1000;
    if (lowF >= 2147483648.0f) {
        low = std::numeric_limits<int32_t>::max();
    } else if (lowF > 1000.0f) {
        low = static_cast<int32_t>(lowF);
    }
    double gain;
    if (static_cast<double>(peak) > static_cast<double>(target)) {
        gain = static_cast<double>(target) / peak;
    } else if (low > peak) {
        gain = static_cast<double>(low) / peak;
    } else {
        return 1.0;
    }
    for (int16_t& s : samples) s = Scale(s, gain);
    return gain;
}

void CAudioData::Fade() {
    const size_t n = samples.size();
    if (n <= static_cast<size_t>(kFadeLength)) return;
    int16_t* head = samples.data();
    if (PeakOf(head, kFadeLength) > 1000) {
        for (int i = 0; i < kFadeLength; ++i) {
            head[i] = Scale(head[i], 0.5 - 0.5 * static_cast<double>(kFadeCosine[i]));
        }
    }
    // The tail test sees the samples as the head fade left them.
    int16_t* tail = samples.data() + (n - kFadeLength);
    if (PeakOf(tail, kFadeLength) > 1000) {
        for (int i = 0; i < kFadeLength; ++i) {
            tail[i] = Scale(tail[i], 0.5 + 0.5 * static_cast<double>(kFadeCosine[i]));
        }
    }
}

bool CAudioData::Resample(int32_t sourceRate, int32_t targetRate, std::string& err) {
    if (sourceRate == targetRate) return true;
    if (samples.empty() && !loaded_) {
        err = "音频数据还未加载到内存！";
        return false;
    }
    std::unique_ptr<ResamplerState> st;
    if (CreateResampler(sourceRate, targetRate, st) != 0) {
        err = "转采样句柄初始化错误！";
        return false;
    }
    if (!st) return true;  // same whole kilohertz: nothing to convert

    // One pass over the clip gives L outputs for every M inputs; the last
    // n mod M inputs are dropped and the filter delay is not flushed.
    const uint64_t outCount = static_cast<uint64_t>(st->L) * (samples.size() / st->M);
    if (outCount > kMaxSamples) {
        err = "分配转采样内存错误！";
        return false;
    }
    std::vector<int16_t> out;
    try {
        out.assign(static_cast<size_t>(outCount), 0);
    } catch (const std::bad_alloc&) {
        err = "分配转采样内存错误！";
        return false;
    }
    size_t done = 0, written = 0;
    while (done < samples.size()) {
        const int32_t piece =
            static_cast<int32_t>(std::min<size_t>(samples.size() - done, kResampleChunk));
        written += static_cast<size_t>(
            RunResampler(*st, samples.data() + done, piece, out.data() + written));
        done += static_cast<size_t>(piece);
    }
    out.resize(written);
    samples = std::move(out);
    return true;
}

void CAudioData::Release() {
    samples = std::vector<int16_t>();
    loaded_ = false;
}

}  // namespace qm
