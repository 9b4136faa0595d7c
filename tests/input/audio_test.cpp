#include "input/audio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "common/testutil.h"

namespace {

using qm::AUDIO_PCM;
using qm::AUDIO_WAV;
using qm::CAudioData;
using qmtest::TempDir;
using qmtest::WriteFile;

// A WAV whose header claims `claimedBytes` of data.
std::string WavClaiming(const std::vector<int16_t>& samples, uint32_t claimedBytes) {
    std::string s = qmtest::WavBytes(samples, 16000);
    for (int i = 0; i < 4; ++i) s[40 + i] = static_cast<char>((claimedBytes >> (8 * i)) & 0xFF);
    return s;
}

TEST(AudioLoad, ReadsWhatTheFileHolds) {
    TempDir dir;
    std::string err;
    CAudioData a;
    WriteFile(dir / "a.wav", qmtest::WavBytes({1, -2, 32767, -32768}, 11025));
    ASSERT_TRUE(a.Load(dir / "a.wav", AUDIO_WAV, err));
    EXPECT_EQ(a.samples, (std::vector<int16_t>{1, -2, 32767, -32768}));

    // Raw PCM from byte 0; an odd last byte is ignored.
    WriteFile(dir / "b.pcm", qmtest::PcmBytes({5, 6, 7}) + "x");
    ASSERT_TRUE(a.Load(dir / "b.pcm", AUDIO_PCM, err));
    EXPECT_EQ(a.samples, (std::vector<int16_t>{5, 6, 7}));
    ASSERT_TRUE(a.Load(dir / "b.pcm", AUDIO_PCM, err, 2));
    EXPECT_EQ(a.samples, (std::vector<int16_t>{5, 6}));
    EXPECT_FALSE(a.Load(dir / "b.pcm", AUDIO_PCM, err, 4));
    EXPECT_EQ(err, "取数据的长度过长，超过文件中含有数据的长度");

    // A header claiming more than the file holds reads what exists; one
    // claiming 4 GiB must not allocate it.
    WriteFile(dir / "c.wav", WavClaiming({9, 8, 7}, 2036));
    ASSERT_TRUE(a.Load(dir / "c.wav", AUDIO_WAV, err));
    EXPECT_EQ(a.samples, (std::vector<int16_t>{9, 8, 7}));
    WriteFile(dir / "d.wav", WavClaiming({9, 8}, 0xFFFFFFFFu));
    ASSERT_TRUE(a.Load(dir / "d.wav", AUDIO_WAV, err));
    EXPECT_EQ(a.count(), 2u);
    EXPECT_LT(a.samples.capacity(), 1024u);
    // A header claiming less reads only the claim; a file cut inside its
    // header holds nothing.
    WriteFile(dir / "e.wav", WavClaiming({1, 2, 3, 4}, 4));
    ASSERT_TRUE(a.Load(dir / "e.wav", AUDIO_WAV, err));
    EXPECT_EQ(a.count(), 2u);
    WriteFile(dir / "f.wav", "RIFF");
    ASSERT_TRUE(a.Load(dir / "f.wav", AUDIO_WAV, err));
    EXPECT_EQ(a.count(), 0u);

    // More samples than a record can count (a sparse 4 GiB raw file) are
    // refused before anything is allocated.
    std::error_code ec;
    WriteFile(dir / "huge.pcm", "");
    std::filesystem::resize_file(dir / "huge.pcm", (uint64_t{1} << 32) + 2, ec);
    if (!ec) {
        EXPECT_FALSE(a.Load(dir / "huge.pcm", AUDIO_PCM, err));
        EXPECT_EQ(err, "分配音频内存错误！");
        std::filesystem::remove(dir / "huge.pcm", ec);
    }

    EXPECT_FALSE(a.Load(dir / "missing.wav", AUDIO_WAV, err));
    EXPECT_EQ(err, "打开文件" + (dir / "missing.wav") + "失败！");
    EXPECT_TRUE(a.samples.empty());
    EXPECT_FALSE(a.Load(dir.path(), AUDIO_PCM, err));  // a folder is not a recording
    EXPECT_EQ(err, "打开文件" + dir.path() + "失败！");
}

TEST(AudioLevel, ScalesTowardTheTargetPeak) {
    struct Case {
        float target;
        int16_t peak;
        double gain;
    } cases[] = {// Prompt target: down to 20000, up to 17000, or untouched.
                 {20000, 30000, 20000.0 / 30000},
                 {20000, 5000, 17000.0 / 5000},
                 {20000, -17000, 1.0},
                 {20000, -32768, 20000.0 / 32768},
                 // A target whose lower bound is 1000.
                 {1500, 900, 1000.0 / 900}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.target << " " << c.peak);
        std::vector<int16_t> in = {c.peak, 123, -77, 3, -1, 0};
        CAudioData a;
        a.samples = in;
        a.Normalize(c.target);
        for (size_t i = 0; i < in.size(); ++i) {
            EXPECT_EQ(a.samples[i], static_cast<int16_t>(std::trunc(in[i] * c.gain)));
        }
    }
    CAudioData silent;
    silent.samples.assign(50, 0);
    silent.Normalize(20000);
    EXPECT_EQ(silent.samples, std::vector<int16_t>(50, 0));
    CAudioData keep;
    keep.samples = {30000, -5};
    keep.Normalize(0);
    EXPECT_EQ(keep.samples, (std::vector<int16_t>{30000, -5}));
    // A target above full scale saturates instead of wrapping.
    CAudioData loud;
    loud.samples = {10000, -10000};
    loud.Normalize(60000);
    EXPECT_EQ(loud.samples, (std::vector<int16_t>{32767, -32768}));
}

double Window(int i, bool head) {
    volatile float product = static_cast<float>(i) * static_cast<float>(M_PI);
    volatile float angle = product / 119.0f;
    double c = static_cast<float>(std::cos(static_cast<double>(angle)));
    return head ? 0.5 - 0.5 * c : 0.5 + 0.5 * c;
}

TEST(AudioFade, RaisedCosineEdges) {
    // 150 samples: the two windows overlap on samples 30 .. 119.
    std::vector<int16_t> in(150, 20000);
    CAudioData a;
    a.samples = in;
    a.Fade();
    std::vector<int16_t> want = in;
    for (int i = 0; i < 120; ++i)
        want[i] = static_cast<int16_t>(std::trunc(want[i] * Window(i, true)));
    for (int i = 0; i < 120; ++i) {
        want[30 + i] = static_cast<int16_t>(std::trunc(want[30 + i] * Window(i, false)));
    }
    EXPECT_EQ(a.samples, want);

    // 120 samples are left alone; so is an edge that never exceeds 1000.
    CAudioData b;
    b.samples.assign(120, 20000);
    b.Fade();
    EXPECT_EQ(b.samples, std::vector<int16_t>(120, 20000));
    CAudioData c;
    c.samples.assign(400, 1000);
    c.samples[399] = -1001;
    c.Fade();
    EXPECT_EQ(c.samples[0], 1000);
    EXPECT_EQ(c.samples[279], 1000);
    EXPECT_EQ(c.samples[399], 0);
    // The tail test sees the faded head: a head peak faded below 1000 no
    // longer triggers the tail of a 121-sample clip.
    CAudioData d;
    d.samples.assign(121, 0);
    d.samples[1] = 30000;
    d.Fade();
    EXPECT_EQ(d.samples[1], static_cast<int16_t>(std::trunc(30000 * Window(1, true))));
}

TEST(AudioResample, ConvertsOrRefuses) {
    std::string err;
    CAudioData a;
    a.samples = qmtest::ToneSamples(1000, 12000);
    std::vector<int16_t> tone = a.samples;
    EXPECT_TRUE(a.Resample(22000, 22050, err));
    EXPECT_EQ(a.samples, tone);
    EXPECT_FALSE(a.Resample(400, 16000, err));
    EXPECT_EQ(err, "转采样句柄初始化错误！");
    EXPECT_EQ(a.samples, tone);  // a failed conversion keeps the samples
    ASSERT_TRUE(a.Resample(8000, 11025, err));
    EXPECT_EQ(a.count(), 1375u);
    a.samples = tone;
    ASSERT_TRUE(a.Resample(96000, 16000, err));  // 96 kHz, not 96000 mod 65536
    EXPECT_EQ(a.count(), 1000u / 6);
    a.samples.assign(10, 100);  // shorter than the down factor 11
    ASSERT_TRUE(a.Resample(44100, 8000, err));
    EXPECT_EQ(a.count(), 0u);

    CAudioData never;
    EXPECT_FALSE(never.Resample(44100, 16000, err));
    EXPECT_EQ(err, "音频数据还未加载到内存！");
    // A recording that loaded with no samples converts to no samples.
    TempDir dir;
    WriteFile(dir / "empty.wav", qmtest::WavBytes({}, 44100));
    CAudioData empty;
    ASSERT_TRUE(empty.Load(dir / "empty.wav", AUDIO_WAV, err));
    EXPECT_TRUE(empty.Resample(44100, 16000, err));
    EXPECT_EQ(empty.count(), 0u);
    empty.Release();
    EXPECT_FALSE(empty.Resample(44100, 16000, err));
}

}  // namespace
