// The golden builds' uncoded clip containers hold every prompt's samples
// after Load, Normalize, Fade and Resample; the pipeline must reproduce each
// record byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/testutil.h"
#include "input/audio.h"
#include "platform/bytes.h"

namespace {

const std::string kGolden = std::string(QM_TEST_DATA) + "/golden/";

// The WAV rate field, read here so the test does not depend on the list
// loader's header check.
int32_t TestWaveRate(const std::string& path) {
    std::string b = qmtest::ReadFile(path);
    if (b.size() < 44) return 0;
    return static_cast<int32_t>(qm::GetU32(reinterpret_cast<const unsigned char*>(b.data()) + 24));
}

struct Clip {
    const char* file;  // below the case's audio folder
};

// Record r of a clip container starting at byte `base` of `bytes`.
std::string Record(const std::string& bytes, size_t base, uint32_t r) {
    auto p = reinterpret_cast<const unsigned char*>(bytes.data()) + base;
    uint32_t from = qm::GetU32(p + 40 + 4 * r), to = qm::GetU32(p + 44 + 4 * r);
    return bytes.substr(base + from, to - from);
}

// Runs the pipeline over the recordings in record order and compares.
void CheckContainer(const std::string& audioDir, const std::string& bytes, size_t base,
                    const std::vector<Clip>& clips, float target, int32_t packageRate) {
    auto p = reinterpret_cast<const unsigned char*>(bytes.data()) + base;
    ASSERT_EQ(qm::GetU32(p + 36), clips.size());
    for (uint32_t r = 0; r < clips.size(); ++r) {
        SCOPED_TRACE(clips[r].file);
        std::string path = audioDir + clips[r].file;
        std::string ext = path.substr(path.size() - 4);
        bool wav = ext == ".wav" || ext == ".WAV" || ext == ".Wav";
        qm::CAudioData a;
        std::string err;
        ASSERT_TRUE(a.Load(path, wav ? qm::AUDIO_WAV : qm::AUDIO_PCM, err)) << err;
        a.Normalize(target);
        a.Fade();
        ASSERT_TRUE(a.Resample(wav ? TestWaveRate(path) : packageRate, packageRate, err)) << err;
        std::string rec;
        qmtest::PutLE(rec, a.count(), 4);
        rec += qmtest::PcmBytes(a.samples);
        EXPECT_EQ(rec, Record(bytes, base, r)) << "record " << r;
    }
}

// Record order is the text index order: texts bucketed by segment count, in
// list order within a bucket (see each case's New-TextLst.txt).
TEST(GoldenAudio, PromptAndBackgroundRecordsMatch) {
    const std::string prompt = kGolden + "prompt-code1/";
    CheckContainer(prompt + "audio/",
                   qmtest::ReadFile(prompt + "expected/tree/audio/Prompt-Code1-16K.voc"), 0,
                   {{"運动01.wav"},
                    {"v 09.WAV"},
                    {"sub/clip10.WAV"},
                    {"運动03.Wav"},
                    {"sub/提示音05.wav"},
                    {"录音/Voice_06.PCM"},
                    {"录音/v 02.Wav"},
                    {"sub/clip08.WAV"},
                    {"录音/Voice_11.WAV"},
                    {"v 07.WAV"},
                    {"sub/Voice_04.Wav"},
                    {"提示音12.wav"}},
                   20000.0f, 16000);

    const std::string bg = kGolden + "bgsound-code2/";
    CheckContainer(bg + "audio/", qmtest::ReadFile(bg + "expected/tree/audio/Bgsound-Code1-8K.voc"),
                   0,
                   {{"sub/deep/運动01.wav"},
                    {"Voice_05.Wav"},
                    {"录音/v 03.WAV"},
                    {"提示音04.wav"},
                    {"录音/v 06.pcm"},
                    {"录音/clip02.PCM"},
                    {"運动08.PCM"},
                    {"sub/Voice_07.wav"}},
                   15000.0f, 8000);
}

// The role clip container holds one clip container per speaker; the first
// speaker's clip02.WAV claims more data than it holds and yields what exists.
TEST(GoldenAudio, RoleRecordsMatch) {
    const std::string role = kGolden + "role-code3/";
    std::string bytes = qmtest::ReadFile(role + "expected/tree/audio/RolePrompt-Code1-16K.voc");
    ASSERT_GE(bytes.size(), 1040u);
    auto p = reinterpret_cast<const unsigned char*>(bytes.data());
    ASSERT_EQ(qm::GetU32(p + 36), 2u);
    CheckContainer(role + "audio/", bytes, qm::GetU32(p + 1024),
                   {{"录音/clip01.WAV"}, {"clip02.WAV"}}, 20000.0f, 16000);
    CheckContainer(role + "audio/spk2/", bytes, qm::GetU32(p + 1032),
                   {{"提示音02.pcm"},
                    {"v 01.WAV"},
                    {"Voice_04.WAV"},
                    {"录音/提示音03.WAV"},
                    {"sub/deep/運动05.PCM"}},
                   20000.0f, 16000);
}

}  // namespace
