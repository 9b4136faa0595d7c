#include "input/conform_audio.h"

#include <sndfile.h>
#include <soxr.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qm {
namespace {

// A record of the build holds at most this many samples.
constexpr uint64_t kMaxSamples = std::numeric_limits<int32_t>::max();
// Frames read per call.
constexpr sf_count_t kChunkFrames = 1 << 14;

class SndFile {
  public:
    ~SndFile() {
        if (f_) sf_close(f_);
    }
    bool Open(const std::string& path, SF_INFO& info) {
        f_ = sf_open(path.c_str(), SFM_READ, &info);
        return f_ != nullptr;
    }
    SNDFILE* get() const { return f_; }

  private:
    SNDFILE* f_ = nullptr;
};

// The library's own name of a format, for the rare ones named nowhere here.
std::string LibraryName(int format, int command) {
    SF_FORMAT_INFO fi = {format, nullptr, nullptr};
    if (sf_command(nullptr, command, &fi, sizeof fi) == 0 && fi.name) return fi.name;
    return Format("format 0x%X", static_cast<unsigned>(format));
}

std::string ContainerName(int major) {
    switch (major) {
        case SF_FORMAT_WAV:
            return "WAV";
        case SF_FORMAT_WAVEX:
            return "WAV (extensible)";
        case SF_FORMAT_AIFF:
            return "AIFF";
        case SF_FORMAT_FLAC:
            return "FLAC";
        case SF_FORMAT_OGG:
            return "Ogg";
        case SF_FORMAT_MPEG:
            return "MPEG";
        case SF_FORMAT_CAF:
            return "CAF";
        case SF_FORMAT_W64:
            return "W64";
        case SF_FORMAT_RF64:
            return "RF64";
        default:
            return LibraryName(major, SFC_GET_FORMAT_MAJOR);
    }
}

std::string SampleFormatName(int sub) {
    switch (sub) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
            return "8-bit";
        case SF_FORMAT_PCM_16:
            return "16-bit";
        case SF_FORMAT_PCM_24:
            return "24-bit";
        case SF_FORMAT_PCM_32:
            return "32-bit";
        case SF_FORMAT_FLOAT:
            return "float";
        case SF_FORMAT_DOUBLE:
            return "double";
        case SF_FORMAT_VORBIS:
            return "Vorbis";
        case SF_FORMAT_OPUS:
            return "Opus";
        case SF_FORMAT_MPEG_LAYER_III:
            return "MP3";
        default:
            return LibraryName(sub, SFC_GET_FORMAT_SUBTYPE);
    }
}

// True when the file starts with the 44-byte header the build reads: "RIFF",
// "WAVE", a 16-byte "fmt " chunk, then "data".
bool HasPlainHeader(const std::string& path) {
    unsigned char h[44] = {};
    File f;
    if (!f.Open(path, "rb") || !f.ReadExact(h, sizeof h)) return false;
    return std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVEfmt ", 8) == 0 &&
           GetU32(h + 16) == 16 && std::memcmp(h + 36, "data", 4) == 0;
}

bool IsIntegerPcm(int sub) {
    return sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_U8 || sub == SF_FORMAT_PCM_16 ||
           sub == SF_FORMAT_PCM_24 || sub == SF_FORMAT_PCM_32;
}

// Rounds to nearest, halves away from zero, and clips to 16 bits.
int16_t To16(double v, uint64_t& clipped) {
    const double r = v >= 0 ? std::floor(v + 0.5) : std::ceil(v - 0.5);
    if (r > 32767.0) return ++clipped, int16_t{32767};
    if (r < -32768.0) return ++clipped, int16_t{-32768};
    return static_cast<int16_t>(r);
}

// sum / divisor rounded to nearest, halves away from zero, clipped.
int16_t To16(int64_t sum, int64_t divisor, uint64_t& clipped) {
    const int64_t mag = (sum < 0 ? -sum : sum) + divisor / 2;
    const int64_t q = (sum < 0 ? -1 : 1) * (mag / divisor);
    if (q > 32767) return ++clipped, int16_t{32767};
    if (q < -32768) return ++clipped, int16_t{-32768};
    return static_cast<int16_t>(q);
}

// Integer samples, which libsndfile left-aligns in 32 bits: the channel sum
// over channels * 65536 is the mean in 16-bit units, exact for 16-bit input.
bool ReadInteger(SNDFILE* sf, int channels, ConformedAudio& out, std::string& err) {
    std::vector<int> buf(static_cast<size_t>(kChunkFrames) * channels);
    const int64_t divisor = int64_t{channels} * 65536;
    sf_count_t got;
    while ((got = sf_readf_int(sf, buf.data(), kChunkFrames)) > 0) {
        if (out.samples.size() + static_cast<uint64_t>(got) > kMaxSamples) {
            err = "longer than a record can hold (2147483647 samples)";
            return false;
        }
        for (sf_count_t f = 0; f < got; ++f) {
            int64_t sum = 0;
            for (int c = 0; c < channels; ++c) sum += buf[static_cast<size_t>(f * channels + c)];
            out.samples.push_back(To16(sum, divisor, out.clipped));
        }
    }
    return true;
}

// Any samples, as doubles in 16-bit units (libsndfile scales full scale to
// 1.0); the mean of the channels.
bool ReadMono(SNDFILE* sf, int channels, std::vector<double>& mono, std::string& err) {
    std::vector<double> buf(static_cast<size_t>(kChunkFrames) * channels);
    sf_count_t got;
    while ((got = sf_readf_double(sf, buf.data(), kChunkFrames)) > 0) {
        if (mono.size() + static_cast<uint64_t>(got) > kMaxSamples) {
            err = "longer than a record can hold (2147483647 samples)";
            return false;
        }
        for (sf_count_t f = 0; f < got; ++f) {
            double sum = 0;
            for (int c = 0; c < channels; ++c) sum += buf[static_cast<size_t>(f * channels + c)];
            mono.push_back(sum / channels * 32768.0);
        }
    }
    return true;
}

}  // namespace

bool ResampleTo16Bit(const std::vector<double>& in, int32_t from, int32_t to,
                     std::vector<int16_t>& out, uint64_t& clipped, std::string& err) {
    out.clear();
    if (from <= 0 || to <= 0) {
        err = "sample rate out of range";
        return false;
    }
    const uint64_t want = (in.size() * uint64_t(to) + uint64_t(from) / 2) / uint64_t(from);
    if (want > kMaxSamples) {
        err = "longer than a record can hold (2147483647 samples)";
        return false;
    }
    if (want == 0) return true;
    std::vector<double> resampled(static_cast<size_t>(want));
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    size_t used = 0, made = 0;
    soxr_error_t e = soxr_oneshot(from, to, 1, in.data(), in.size(), &used, resampled.data(),
                                  resampled.size(), &made, &io, &quality, nullptr);
    if (e) {
        err = Format("resampling failed: %s", e);
        return false;
    }
    out.reserve(made);
    for (size_t k = 0; k < made; ++k) out.push_back(To16(resampled[k], clipped));
    return true;
}

bool ConformAudioFile(const std::string& path, int32_t targetRate, AudioFacts& facts,
                      ConformedAudio& out, std::string& err) {
    facts = AudioFacts();
    out = ConformedAudio();
    // A pipe or a device would open and block, or read forever.
    if (!PathIsFile(path)) {
        err = "not a regular file";
        return false;
    }
    SF_INFO info = {};
    SndFile sf;
    if (!sf.Open(path, info)) {
        err = sf_strerror(nullptr);
        return false;
    }
    const int major = info.format & SF_FORMAT_TYPEMASK;
    const int sub = info.format & SF_FORMAT_SUBMASK;
    facts.container = ContainerName(major);
    facts.format = SampleFormatName(sub);
    facts.channels = info.channels;
    facts.rate = info.samplerate;
    facts.frames = info.frames;
    facts.plainHeader = major == SF_FORMAT_WAV && HasPlainHeader(path);
    if (info.channels < 1 || info.samplerate < 1) {
        err = "no channels or no sample rate";
        return false;
    }

    const bool resample = targetRate > 0 && targetRate != info.samplerate;
    out.rate = resample ? targetRate : info.samplerate;
    bool ok;
    try {
        if (IsIntegerPcm(sub) && !resample) {
            ok = ReadInteger(sf.get(), info.channels, out, err);
        } else {
            std::vector<double> mono;
            ok = ReadMono(sf.get(), info.channels, mono, err);
            if (ok && resample) {
                ok = ResampleTo16Bit(mono, info.samplerate, targetRate, out.samples, out.clipped,
                                     err);
            } else if (ok) {
                out.samples.reserve(mono.size());
                for (double v : mono) out.samples.push_back(To16(v, out.clipped));
            }
        }
    } catch (const std::bad_alloc&) {
        err = "not enough memory";
        return false;
    }
    if (ok && sf_error(sf.get()) != SF_ERR_NO_ERROR) {
        err = sf_strerror(sf.get());
        ok = false;
    }
    return ok;
}

std::string PlainWavBytes(const std::vector<int16_t>& samples, int32_t rate) {
    const uint32_t dataSize = static_cast<uint32_t>(samples.size() * 2);
    std::string s(44 + samples.size() * 2, '\0');
    auto* p = reinterpret_cast<unsigned char*>(s.data());
    std::memcpy(p, "RIFF", 4);
    PutU32(p + 4, 36 + dataSize);
    std::memcpy(p + 8, "WAVEfmt ", 8);
    PutU32(p + 16, 16);
    PutU16(p + 20, 1);  // PCM
    PutU16(p + 22, 1);  // mono
    PutU32(p + 24, static_cast<uint32_t>(rate));
    PutU32(p + 28, static_cast<uint32_t>(rate) * 2);
    PutU16(p + 32, 2);
    PutU16(p + 34, 16);
    std::memcpy(p + 36, "data", 4);
    PutU32(p + 40, dataSize);
    for (size_t k = 0; k < samples.size(); ++k) {
        PutU16(p + 44 + 2 * k, static_cast<uint16_t>(samples[k]));
    }
    return s;
}

}  // namespace qm
