// Reading "TextList.txt" and "WaveList.txt": the line reads, every refusal of
// the load, path resolution, and the WAV header check the load relies on.
#include "input/lists.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/testutil.h"
#include "input/audio.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

using qmtest::TempDir;
using qmtest::WriteFile;

class InDir {
  public:
    explicit InDir(const std::string& dir) : old_(qm::GetCurrentDir()) { qm::SetCurrentDir(dir); }
    ~InDir() { qm::SetCurrentDir(old_); }

  private:
    std::string old_;
};

std::vector<std::string> Lines(const std::string& bytes) {
    TempDir tmp;
    WriteFile(tmp / "l.txt", bytes);
    std::vector<std::string> lines;
    EXPECT_TRUE(qm::ReadListLines(tmp / "l.txt", lines));
    return lines;
}

using V = std::vector<std::string>;

TEST(ListLines, WindowsTextModeReads) {
    // CR LF drops the CR, a lone CR stays, 0x1A is an ordinary byte, a final
    // line break gives no extra line, a last line without one is read.
    EXPECT_EQ(Lines("a\r\nb\rc\n\x1A"
                    "d\r\ne"),
              (V{"a\n", "b\rc\n",
                 "\x1A"
                 "d\n",
                 "e"}));
    EXPECT_EQ(Lines(""), V{});
    EXPECT_EQ(Lines("\r"), V{"\r"});
    EXPECT_EQ(Lines("x\r\r\n"), V{"x\r\n"});
    // A NUL ends the text of its read; the read still runs to the line feed.
    EXPECT_EQ(Lines(std::string("ab\0cd\nef", 8)), (V{"ab", "ef"}));
    // 1022 bytes with CR LF are one read; 1023 bytes with a line feed are two.
    std::string s1022(1022, 'x');
    EXPECT_EQ(Lines(s1022 + "\r\nz"), (V{s1022 + "\n", "z"}));
    std::string s1023(1023, 'y');
    EXPECT_EQ(Lines(s1023 + "\nz"), (V{s1023, "\n", "z"}));
    EXPECT_EQ(Lines(std::string(2050, 'w')),
              (V{std::string(1023, 'w'), std::string(1023, 'w'), std::string(4, 'w')}));
    // A CR LF split across the reader's internal buffer still counts as one.
    std::string longFile;
    while (longFile.size() < 8191) longFile += std::string(100, 'q') + "\r\n";
    longFile.resize(8191);
    longFile += "\r\nend";
    std::vector<std::string> lines = Lines(longFile);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "end");
    for (const std::string& l : lines) EXPECT_EQ(l.find('\r'), std::string::npos);

    std::vector<std::string> none;
    EXPECT_FALSE(qm::ReadListLines("/nonexistent/TextList.txt", none));
}

// A prompt folder with the given list contents.
struct Folder {
    TempDir tmp;
    Folder(const std::string& texts, const std::string& waves) {
        WriteFile(tmp / "TextList.txt", texts);
        WriteFile(tmp / "WaveList.txt", waves);
    }
    // Runs the load in the folder; returns the message ("" on success).
    std::string Load(std::vector<qm::PromptEntry>* out = nullptr, int32_t rate = 16000) {
        InDir in(tmp.path());
        std::vector<qm::PromptEntry> list;
        std::string err;
        bool ok = qm::LoadPromptLists(list, rate, tmp.path(), err);
        EXPECT_EQ(ok, err.empty()) << err;
        if (out) *out = list;
        return err;
    }
};

TEST(PromptLists, EveryRefusal) {
    const std::string wav = qmtest::WavBytes(std::vector<int16_t>(10, 100), 16000);
    {
        TempDir tmp;
        WriteFile(tmp / "WaveList.txt", "a.wav\n");
        InDir in(tmp.path());
        std::vector<qm::PromptEntry> list;
        std::string err;
        EXPECT_FALSE(qm::LoadPromptLists(list, 16000, tmp.path(), err));
        EXPECT_EQ(err, "TextList.txt is empty！");
        std::filesystem::rename(tmp / "WaveList.txt", tmp / "TextList.txt");
        err.clear();
        EXPECT_FALSE(qm::LoadPromptLists(list, 16000, tmp.path(), err));
        EXPECT_EQ(err, "WaveList.txt is empty！");
    }
    // 512 bytes after trimming pass (256 double-byte characters), 513 do not.
    {
        std::string t512;
        for (int i = 0; i < 256; ++i) t512 += "\xD6\xD0";
        Folder f(" " + t512 + "\t\r\n", "a.pcm\n");
        WriteFile(f.tmp / "a.pcm", "");
        EXPECT_EQ(f.Load(), "");
        Folder g(std::string(513, 'a') + "\n", "a.pcm\n");
        EXPECT_EQ(g.Load(), "the text length exceed the maximum limit（512 byte）!");
        // A line longer than one read: its first piece is over the limit.
        Folder h(std::string(1500, 'a') + "\n", "a.pcm\n");
        EXPECT_EQ(h.Load(), "the text length exceed the maximum limit（512 byte）!");
    }
    EXPECT_EQ(Folder("a\n \t\nc\n", "x\ny\nz\n").Load(),
              "Text.txt is empty，Please check whether its format is correct！第2行");
    EXPECT_EQ(Folder("a\nb\nc\n", "x\ny\n\r\n").Load(),
              "WaveList.txt is empty，Please check whether its format is correct！第3行");
    EXPECT_EQ(Folder("", "").Load(), "WaveList.txt is empty or its format is correct！");
    EXPECT_EQ(Folder("", "x\n").Load(), "TextList.txt is empty or its format is correct！");
    EXPECT_EQ(Folder("a\nb\nc\n", "w\nx\ny\nz\n").Load(),
              "Inconsistent on the number of the Text and audio file！");
    {
        // A missing file is named as listed (converted for the message), and
        // reported before a wrong extension.
        Folder f("a\nb\n", "\xC2\xBC\xD2\xF4\\missing.txt\nthere.txt\n");
        WriteFile(f.tmp / "there.txt", "");
        EXPECT_EQ(f.Load(), "The Audio file 录音\\missing.txt is not exist！");
        Folder g("a\nb\n", "there.txt\nnone\n");
        WriteFile(g.tmp / "there.txt", "");
        EXPECT_EQ(g.Load(), "the tool can only support PCM or WAV file！");
        Folder h("a\n", "noext\n");
        WriteFile(h.tmp / "noext", "");
        EXPECT_EQ(h.Load(), "the tool can only support PCM or WAV file！");
    }
    {
        // The WAV check's own message stands.
        Folder f("a\n", "bad.wav\n");
        WriteFile(f.tmp / "bad.wav", "RIFF");
        EXPECT_EQ(f.Load(), "Incorrect wave file format");
    }
    {
        // Texts A, B, B, A: the first entry with a twin is A. Case matters.
        Folder f("A\nB\nB\nA\na\n", "1.pcm\n1.pcm\n1.pcm\n1.pcm\n1.pcm\n");
        WriteFile(f.tmp / "1.pcm", "");
        EXPECT_EQ(f.Load(), "There have a repetitive text A exist in file list");
        Folder g("Ab\naB\n" + qm::Utf8ToCp936("中文") + "\n", "1.pcm\n1.pcm\n1.pcm\n");
        WriteFile(g.tmp / "1.pcm", "");
        EXPECT_EQ(g.Load(), "");
        Folder h(qm::Utf8ToCp936("中文\n中文\n"), "1.pcm\n1.pcm\n");
        WriteFile(h.tmp / "1.pcm", "");
        EXPECT_EQ(h.Load(), "There have a repetitive text 中文 exist in file list");
    }
}

TEST(PromptLists, EntriesAndPaths) {
    // "誠" is D5 5C: its trail byte is no folder separator.
    const std::string cheng = "\xD5\x5C";
    Folder f("\xEF\xBB\xBFone\n" + qm::Utf8ToCp936("　two　") + "\nthree\nfour\n",
             "sub\\deep\\a.WAV\n  " + cheng + ".Pcm \nb.wAv\nsub\\c.pcm\n");
    WriteFile(f.tmp / "sub/deep/a.WAV", qmtest::WavBytes({1, 2, 3}, 96000));
    WriteFile(f.tmp / "誠.Pcm", "\x01\x02");
    WriteFile(f.tmp / "b.wAv", qmtest::WavBytes({1}, 44100, 0));
    WriteFile(f.tmp / "sub/c.pcm", "");
    std::vector<qm::PromptEntry> list;
    ASSERT_EQ(f.Load(&list, 22050), "");
    ASSERT_EQ(list.size(), 4u);
    // A byte-order mark stays part of the first text; the full-width space is
    // not trimmed.
    EXPECT_EQ(list[0].text, "\xEF\xBB\xBFone");
    EXPECT_EQ(list[1].text, qm::Utf8ToCp936("　two　"));
    EXPECT_EQ(list[0].path, f.tmp.path() + "/sub/deep/a.WAV");
    EXPECT_EQ(list[0].listedName, "sub\\deep\\a.WAV");
    EXPECT_EQ(list[0].kind, qm::AUDIO_WAV);
    EXPECT_EQ(list[0].sampleRate, 96000);  // the full 32-bit rate
    EXPECT_EQ(list[1].path, f.tmp.path() + "/誠.Pcm");
    EXPECT_EQ(list[1].listedName, cheng + ".Pcm");
    EXPECT_EQ(list[1].kind, qm::AUDIO_PCM);
    EXPECT_EQ(list[1].sampleRate, 22050);  // raw PCM takes the package's rate
    EXPECT_EQ(list[2].kind, qm::AUDIO_WAV);
    EXPECT_EQ(list[2].sampleRate, 44100);
    EXPECT_EQ(list[3].path, f.tmp.path() + "/sub/c.pcm");
}

TEST(PromptLists, TextCountLimit) {
    // 65535 prompts load; one more text line is refused.
    std::string texts;
    std::string waves;
    for (int i = 1; i <= 65535; ++i) {
        texts += "t" + std::to_string(i) + "\r\n";
        waves += "a.pcm\r\n";
    }
    Folder f(texts, waves);
    WriteFile(f.tmp / "a.pcm", "");
    std::vector<qm::PromptEntry> list;
    EXPECT_EQ(f.Load(&list), "");
    EXPECT_EQ(list.size(), 65535u);
    Folder g(texts + "t65536\r\n", waves + "a.pcm\r\n");
    WriteFile(g.tmp / "a.pcm", "");
    EXPECT_EQ(g.Load(), "the number of texts exceed the maximum limit（65535）!");
}

TEST(WaveHeader, Checks) {
    TempDir tmp;
    auto check = [&](const std::string& bytes, int32_t* rate = nullptr) {
        WriteFile(tmp / "x.wav", bytes);
        std::string err;
        int32_t r = -1;
        bool ok = qm::CheckWaveHeader(tmp / "x.wav", err, r);
        EXPECT_EQ(ok, err.empty());
        if (rate) *rate = r;
        return err;
    };
    const std::string good = qmtest::WavBytes({1, 2}, 16000);
    int32_t rate = 0;
    EXPECT_EQ(check(good, &rate), "");
    EXPECT_EQ(rate, 16000);
    EXPECT_EQ(check(qmtest::WavBytes({}, 96000), &rate), "");  // header only
    EXPECT_EQ(rate, 96000);
    EXPECT_EQ(check(qmtest::WavBytes({1}, 8000, 0)), "");  // channel count 0 passes
    EXPECT_EQ(check(qmtest::WavBytes({1, 2}, 16000, 2)), "The wave file can only has one track");
    std::string negChannels = good;
    negChannels[22] = '\xFF';
    negChannels[23] = '\xFF';
    EXPECT_EQ(check(negChannels), "");  // signed: -1 is not more than one
    EXPECT_EQ(check(qmtest::WavBytes({1, 2}, 16000, 1, 8)), "Audio sample size must be 16bit");
    EXPECT_EQ(check(good.substr(0, 43)), "Incorrect wave file format");
    EXPECT_EQ(check(""), "Incorrect wave file format");
    for (int at : {0, 12, 36}) {
        std::string bad = good;
        bad[at + 1] ^= 0x20;
        EXPECT_EQ(check(bad), "Incorrect wave file format") << at;
    }
    std::string err;
    EXPECT_FALSE(qm::CheckWaveHeader(tmp / "none.wav", err, rate));
    EXPECT_EQ(err, "打开 Wave 文件 " + (tmp / "none.wav") + " 出现错误");
    std::filesystem::create_directory(tmp / "dir.wav");
    EXPECT_FALSE(qm::CheckWaveHeader(tmp / "dir.wav", err, rate));
    EXPECT_EQ(err, "打开 Wave 文件 " + (tmp / "dir.wav") + " 出现错误");
}

}  // namespace
