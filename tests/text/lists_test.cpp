// The list files: line reads, every refusal of the load, entries and paths,
// and the WAV header check.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "input/audio.h"
#include "platform/text.h"
#include "text/textutil.h"

namespace {

using qmtest::TempDir;
using qmtest::WriteFile;
using V = std::vector<std::string>;

TEST(ListLines, WindowsTextModeReads) {
    std::string longFile;  // a CR LF that straddles the reader's 8192-byte buffer
    while (longFile.size() < 8191) longFile += std::string(100, 'q') + "\r\n";
    longFile.resize(8191);
    V longLines(80, std::string(100, 'q') + "\n");
    longLines.push_back(std::string(31, 'q') + "\n");
    longLines.push_back("end");
    const std::pair<std::string, V> cases[] = {
        {"a\r\nb\rc\n\x1Az\r\ne", {"a\n", "b\rc\n", "\x1Az\n", "e"}},
        {"", {}},
        {"x\r\r\n\r", {"x\r\n", "\r"}},
        {std::string("ab\0cd\nef", 8), {"ab", "ef"}},  // a NUL ends its read's text
        {std::string(1022, 'x') + "\r\nz", {std::string(1022, 'x') + "\n", "z"}},
        {std::string(1023, 'y') + "\nz", {std::string(1023, 'y'), "\n", "z"}},
        {longFile + "\r\nend", longLines},
    };
    TempDir tmp;
    for (const auto& [bytes, want] : cases) {
        WriteFile(tmp / "l.txt", bytes);
        V lines;
        ASSERT_TRUE(qm::ReadListLines(tmp / "l.txt", lines));
        EXPECT_EQ(lines, want);
    }
    V none;
    EXPECT_FALSE(qm::ReadListLines(tmp / "none.txt", none));
    EXPECT_FALSE(qm::ReadListLines(tmp.path(), none));  // a folder is no list
}

TEST(PromptLists, EveryRefusal) {
    std::string t512;  // 256 double-byte characters
    for (int i = 0; i < 256; ++i) t512 += "\xD6\xD0";
    // Every case folder holds "a.pcm", "a" and "t.txt". The refusals that check's
    // table shows (long and empty texts, counts, extensions, broken WAVs) are not
    // repeated here.
    const std::string cases[][3] = {
        {" " + t512 + "\t\r\n", "a.pcm\n", ""},  // 512 bytes once trimmed
        {"a\nb\nc\n", "x\ny\n\r\n",
         "WaveList.txt is empty，Please check whether its format is correct！第3行"},
        {"a\n", "x\ny\n\n",
         "WaveList.txt is empty，Please check whether its format is correct！第3行"},
        {"", "", "WaveList.txt is empty or its format is correct！"},
        {"", "x\n", "TextList.txt is empty or its format is correct！"},
        // A missing file is named as listed, and reported before a wrong extension.
        {"a\nb\n", "\xC2\xBC\xD2\xF4\\m.txt\nt.txt\n", "The Audio file 录音\\m.txt is not exist！"},
        {"a\n", "a\n", "the tool can only support PCM or WAV file！"},
        // The first entry in list order with a twin is named; case matters.
        {"A\nB\nB\nA\na\n", "a.pcm\na.pcm\na.pcm\na.pcm\na.pcm\n",
         "There have a repetitive text A exist in file list"},
        {qm::Utf8ToCp936("Ab\naB\n中文\n中文\n"), "a.pcm\na.pcm\na.pcm\na.pcm\n",
         "There have a repetitive text 中文 exist in file list"},
    };
    for (const auto& [texts, waves, message] : cases) {
        SCOPED_TRACE(message);
        TempDir tmp;
        WriteFile(tmp / "TextList.txt", texts);
        WriteFile(tmp / "WaveList.txt", waves);
        WriteFile(tmp / "a.pcm", "");
        WriteFile(tmp / "a", "");
        WriteFile(tmp / "t.txt", "");
        EXPECT_EQ(qmtest::LoadIn(tmp.path()), message);
    }
    TempDir tmp;  // (a missing TextList.txt is in check's table)
    WriteFile(tmp / "TextList.txt", "a.wav\n");
    EXPECT_EQ(qmtest::LoadIn(tmp.path()), "WaveList.txt is empty！");
}

TEST(PromptLists, EntriesAndPaths) {
    // "誠" is D5 5C: its trail byte is no folder separator. A byte-order mark
    // stays part of the first text; the full-width space is not trimmed.
    TempDir tmp;
    WriteFile(tmp / "TextList.txt", "\xEF\xBB\xBFone\n" + qm::Utf8ToCp936("　two　\nthree\n"));
    WriteFile(tmp / "WaveList.txt", "sub\\deep\\a.WAV\n  \xD5\x5C.Pcm \nb.wAv\n");
    WriteFile(tmp / "sub/deep/a.WAV", qmtest::WavBytes({1, 2, 3}, 96000));
    WriteFile(tmp / "誠.Pcm", "");
    WriteFile(tmp / "b.wAv", qmtest::WavBytes({1}, 44100, 0));
    std::vector<qm::PromptEntry> l;
    ASSERT_EQ(qmtest::LoadIn(tmp.path(), &l, 22050), "");
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0].text, "\xEF\xBB\xBFone");
    EXPECT_EQ(l[1].text, qm::Utf8ToCp936("　two　"));
    EXPECT_EQ(l[0].path, tmp / "sub/deep/a.WAV");
    EXPECT_EQ(l[0].listedName, "sub\\deep\\a.WAV");
    EXPECT_EQ(l[1].path, tmp / "誠.Pcm");
    EXPECT_EQ(l[1].listedName, "\xD5\x5C.Pcm");
    // WAV rates come from the header in full; raw PCM takes the package's rate.
    EXPECT_EQ(std::make_pair(l[0].kind, l[0].sampleRate), std::make_pair(qm::AUDIO_WAV, 96000));
    EXPECT_EQ(std::make_pair(l[1].kind, l[1].sampleRate), std::make_pair(qm::AUDIO_PCM, 22050));
    EXPECT_EQ(std::make_pair(l[2].kind, l[2].sampleRate), std::make_pair(qm::AUDIO_WAV, 44100));
}

TEST(WaveHeader, Checks) {
    TempDir tmp;
    const std::string good = qmtest::WavBytes({1, 2}, 16000);
    std::string neg = good, fmt = good;
    neg[22] = neg[23] = '\xFF';  // channel count -1: signed, so not over one
    fmt[13] = 'X';
    // Check's table shows the other refusals (channels, sample size, short
    // files, RIFF and data chunks) through the list load.
    const std::pair<std::string, std::string> cases[] = {
        {good, ""},
        {qmtest::WavBytes({1}, 8000, 0), ""},
        {neg, ""},
        {fmt, "Incorrect wave file format"},
    };
    int32_t rate = 0;
    std::string err;
    for (const auto& [bytes, message] : cases) {
        WriteFile(tmp / "x.wav", bytes);
        err.clear();
        EXPECT_EQ(qm::CheckWaveHeader(tmp / "x.wav", err, rate), message.empty());
        EXPECT_EQ(err, message);
    }
    WriteFile(tmp / "x.wav", qmtest::WavBytes({}, 96000));  // header only
    EXPECT_TRUE(qm::CheckWaveHeader(tmp / "x.wav", err, rate));
    EXPECT_EQ(rate, 96000);
    for (const char* name : {"none.wav", ""}) {  // missing, and a folder
        EXPECT_FALSE(qm::CheckWaveHeader(tmp / name, err, rate));
        EXPECT_EQ(err, "打开 Wave 文件 " + (tmp / name) + " 出现错误");
    }
}

}  // namespace
