// The measures behind check's warnings, at their boundaries.
#include "input/survey.h"

#include <gtest/gtest.h>

#include "common/testutil.h"

using namespace qmtest;

TEST(Survey, LevelsAtTheirThresholds) {
    TempDir dir;
    const std::string path = dir / "r.wav";
    // Quiet is strictly below kQuietLevel; a clip needs kClipRun full-scale
    // samples in a row, at either sign.
    const int16_t q = qm::kQuietLevel;
    WriteFile(path, WavBytes({0, q - 1, q, 32767, 32767, -32768, 5, q, 1 - q, 0}, 16000));
    qm::AudioLevels l;
    ASSERT_TRUE(qm::MeasureRecording(path, qm::AUDIO_WAV, l));
    EXPECT_EQ(l.samples, 10u);
    EXPECT_EQ(l.peak, 32768);
    EXPECT_EQ(l.clippedRuns, 1u);
    EXPECT_EQ(l.leadingQuiet, 2u);
    EXPECT_EQ(l.trailingQuiet, 2u);
    EXPECT_FALSE(qm::MeasureRecording(dir / "none.wav", qm::AUDIO_WAV, l));
}

TEST(Survey, CharacterCountTakesADoubleByteCharacterOnce) {
    const struct {
        std::string text;
        size_t count;
    } rows[] = {{"", 0}, {"ab", 2}, {"\xD6\xD0\xCE\xC4", 2}, {"a\xD6\xD0", 2}, {"a\xB0", 2}};
    for (const auto& r : rows) EXPECT_EQ(qm::CharacterCount(r.text), r.count) << r.text;
}
