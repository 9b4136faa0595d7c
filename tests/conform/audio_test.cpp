// Reading recordings of every common kind into 16-bit mono, and the exact
// resampler. (The plain WAV written for them: ConformCli, byte for byte.)
#include <gtest/gtest.h>

#include "common/testutil.h"
#include "conform/sndgen.h"
#include "driver/report.h"
#include "input/conform_audio.h"

namespace {

using qmtest::TempDir;

struct FormatCase {
    const char* name;
    int format;
    int channels;
    int bits;  // grid of the generated samples
    int chunks;
    const char* container;
    const char* sampleFormat;
    bool plain;  // the build reads its header as it is
    bool lossy;
};

const FormatCase kFormats[] = {
    {"plain", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 16, 0, "WAV", "16-bit", true, false},
    {"chunks before", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 16, qmtest::kChunksBefore, "WAV",
     "16-bit", false, false},
    {"chunks after", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 16, qmtest::kChunksAfter, "WAV", "16-bit",
     true, false},
    {"extensible", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 1, 16, 0, "WAV (extensible)", "16-bit",
     false, false},
    {"unsigned 8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8, 0, "WAV", "8-bit", true, false},
    {"24 stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 24, 3, "WAV", "24-bit", false, false},
    {"32", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1, 32, 0, "WAV", "32-bit", true, false},
    {"float stereo", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 16, 0, "WAV", "float", false, false},
    {"double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1, 20, 0, "WAV", "double", false, false},
    {"6 channels", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 6, 16, 0, "WAV (extensible)", "16-bit",
     false, false},
    {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 24, 0, "FLAC", "24-bit", false, false},
    {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 16, 0, "AIFF", "16-bit", false, false},
    {"vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 16, 0, "Ogg", "Vorbis", false, true},
    {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 1, 16, 0, "MPEG", "MP3", false, true},
};

// A recording read into 16-bit mono, with its facts or the reason it failed.
struct Read {
    qm::AudioFacts facts;
    qm::ConformedAudio out;
    std::string err;
    bool ok;
    Read(const std::string& path, int32_t rate)
        : ok(qm::ConformAudioFile(path, rate, facts, out, err)) {}
};

double Rms(const std::vector<int16_t>& s) {
    double e = 0;
    for (int16_t v : s) e += double(v) * v;
    return s.empty() ? 0 : std::sqrt(e / s.size());
}

TEST(ConformAudio, EveryFormatToSixteenBitMono) {
    TempDir tmp;
    for (const FormatCase& c : kFormats) {
        SCOPED_TRACE(c.name);
        const int rate = 16000;
        // Channel offsets of one step give means with halves to round.
        const auto frames = qmtest::Tone(4000, c.channels, 440, rate, 20000, c.bits, 1);
        const std::string path = tmp / (std::string(c.name) + ".snd");
        ASSERT_TRUE(qmtest::WriteSnd(path, c.format, c.channels, rate, frames, c.chunks));
        const Read r(path, 0);
        ASSERT_TRUE(r.ok) << r.err;
        EXPECT_EQ(r.facts.container, c.container);
        EXPECT_EQ(r.facts.format, c.sampleFormat);
        EXPECT_EQ(r.facts.channels, c.channels);
        EXPECT_EQ(r.facts.rate, rate);
        EXPECT_EQ(r.facts.plainHeader, c.plain);
        EXPECT_EQ(r.out.rate, rate);
        EXPECT_EQ(r.out.clipped, 0u);
        const auto want = qmtest::Expected16(frames, c.channels);
        if (c.lossy) {
            EXPECT_NEAR(double(r.out.samples.size()), double(want.size()), 0.05 * want.size());
            EXPECT_NEAR(Rms(r.out.samples), Rms(want), 0.1 * Rms(want));
        } else {
            EXPECT_EQ(r.out.samples, want);
        }
    }
}

TEST(ConformAudio, ClippedSamplesAreCountedAtTheLimits) {
    TempDir tmp;
    const std::vector<double> v = {1.5, -1.5, 0.5, 1.0, -1.0, -0.25, 32767.4 / 32768};
    const std::vector<int16_t> want = {32767, -32768, 16384, 32767, -32768, -8192, 32767};
    for (int format : {SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE}) {
        ASSERT_TRUE(qmtest::WriteSnd(tmp / "f.wav", SF_FORMAT_WAV | format, 1, 8000, v));
        const Read r(tmp / "f.wav", 0);
        ASSERT_TRUE(r.ok) << r.err;
        EXPECT_EQ(r.out.samples, want);
        EXPECT_EQ(r.out.clipped, 3u);
        // Through the resampler the overshoot is clipped and counted too.
        EXPECT_GT(Read(tmp / "f.wav", 16000).out.clipped, 0u);
    }
}

TEST(ConformAudio, ResamplesToExactlyTheRate) {
    struct Case {
        int from, to, channels;
    };
    const Case cases[] = {{44100, 16000, 1}, {48000, 8000, 6}, {8000, 11025, 2}};
    TempDir tmp;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        const size_t n = static_cast<size_t>(c.from);  // one second
        ASSERT_TRUE(qmtest::WriteSnd(tmp / "t.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, c.channels,
                                     c.from, qmtest::Tone(n, c.channels, 1000, c.from, 16000)));
        const Read r(tmp / "t.wav", c.to);
        ASSERT_TRUE(r.ok) << r.err;
        EXPECT_EQ(r.out.rate, c.to);
        EXPECT_EQ(r.out.samples.size(), static_cast<size_t>(c.to));
        // The same tone sampled at the new rate, in phase.
        const auto ideal = qmtest::Expected16(qmtest::Tone(c.to, 1, 1000, c.to, 16000), 1);
        double snr = 0;
        qm::SignalToNoise(ideal, r.out.samples, snr);
        EXPECT_GT(snr, 50);
    }
    // A tone above the new Nyquist frequency is rejected (away from the
    // clicks of its abrupt start and end).
    std::vector<double> in = qmtest::Tone(44100, 1, 8400, 44100, 16000);
    std::vector<int16_t> out;
    uint64_t clipped = 0;
    std::string err;
    for (double& v : in) v *= 32768;
    ASSERT_TRUE(qm::ResampleTo16Bit(in, 44100, 16000, out, clipped, err)) << err;
    ASSERT_EQ(out.size(), 16000u);
    EXPECT_LT(Rms({out.begin() + 4000, out.end() - 4000}), 16000 * 1e-4);
    EXPECT_FALSE(qm::ResampleTo16Bit({1.0}, 0, 8000, out, clipped, err));
    EXPECT_TRUE(qm::ResampleTo16Bit({}, 44100, 8000, out, clipped, err));
    EXPECT_TRUE(out.empty());
}

TEST(ConformAudio, FailuresCarryTheReason) {
    TempDir tmp;
    qmtest::WriteFile(tmp / "junk.wav", "this is not audio at all, only some text in a file");
    const std::pair<std::string, std::string> cases[] = {
        {tmp / "junk.wav", "Format not recognised."},
        {tmp / "missing.wav", "not a regular file"},
        {tmp.path(), "not a regular file"},
    };
    for (const auto& [path, reason] : cases) {
        const Read r(path, 0);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.err, reason) << path;
    }
}

}  // namespace
