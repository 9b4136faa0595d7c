// The text index block: filing order, the layout written and read back, its
// by-products, failures, what a damaged block gives, and the 65535-text scale.
#include "resfile/textindex.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/formats.h"
#include "platform/file.h"
#include "platform/text.h"
#include "text/textutil.h"

namespace {

using qmtest::PutLE;
using qmtest::ReadFile;
using qmtest::TempDir;
using qmtest::U32At;

void FileAll(qm::CTextIndex& index, const std::vector<std::string>& texts) {
    std::string err;
    for (size_t i = 0; i < texts.size(); ++i) {
        qm::PromptEntry e;
        e.text = texts[i];
        ASSERT_TRUE(index.AddText(e.text, static_cast<int32_t>(i + 1), err)) << err;
    }
}

// Writes the block after prefix in tmp/x.idx; gives the file, the order and
// the stream position afterwards.
std::string Write(qm::CTextIndex& index, const TempDir& tmp, std::vector<qm::IndexText>& order,
                  const std::string& prefix = "", int64_t* pos = nullptr) {
    qmtest::KeepCwd keep;
    qm::SetCurrentDir(tmp.path());
    qmtest::WriteFile(tmp / "x.idx", prefix);
    qm::File f;
    std::string err;
    EXPECT_TRUE(f.Open(tmp / "x.idx", "r+b") && index.WriteBlock(&f, order, err)) << err;
    if (pos) *pos = f.Tell();
    EXPECT_TRUE(f.Close());
    return ReadFile(tmp / "x.idx");
}

TEST(TextIndex, BlockLayout) {
    // "你好" (one segment) and "ab12" (two), written after 1000 other bytes.
    std::string want = "TSPTMBGDV4";
    PutLE(want, 40, 2);
    for (uint32_t v : {362, 350, 358, 344}) PutLE(want, v, 4);
    for (uint32_t v : {0, 1, 346, 1, 1}) PutLE(want, v, v > 1 ? 4 : 2);
    for (int k = 2; k < 40; ++k) {
        PutLE(want, 0, 4);
        PutLE(want, 2, 2);
        PutLE(want, 0, 2);
    }
    want += std::string("\x06\x02\x05\x02\x03\x02", 6);
    for (uint32_t v : {0, 4}) PutLE(want, v, 4);
    for (uint32_t v : {2, 4}) PutLE(want, v, 2);
    for (char16_t u : std::u16string(u"你好ab12")) PutLE(want, u, 2);

    TempDir tmp;
    qm::CTextIndex index;
    const std::string zh = qm::Utf8ToCp936("你好");
    FileAll(index, {zh, "ab12"});
    std::vector<qm::IndexText> order;
    int64_t pos = 0;
    const std::string prefix(1000, 'Z');
    EXPECT_EQ(Write(index, tmp, order, prefix, &pos), prefix + want);
    EXPECT_EQ(pos, 1344);  // just after the header
    EXPECT_EQ(ReadFile(tmp / "New-TextLst.txt"), zh + "\r\nab12\r\n");

    // No texts: a bare header whose three sections all start at 344.
    index.Clear();
    EXPECT_EQ(Write(index, tmp, order), qmtest::TextIndexBytes({}));
}

TEST(TextIndex, Failures) {
    TempDir tmp;
    qmtest::KeepCwd keep;
    qm::SetCurrentDir(tmp.path());
    qm::CTextIndex index;
    FileAll(index, {"a"});
    std::vector<qm::IndexText> order;
    std::string err;
    qm::File f;
    EXPECT_FALSE(index.WriteBlock(nullptr, order, err));
    EXPECT_EQ(err, "打开文件TextLst.txt失败！");
    EXPECT_FALSE(index.WriteBlock(&f, order, err));  // not open
    EXPECT_EQ(err, "打开文件TextLst.txt失败！");
    // "New-TextLst.txt" cannot be created: nothing goes into the index file.
    std::filesystem::create_directory(tmp / "New-TextLst.txt");
    ASSERT_TRUE(f.Open(tmp / "x.idx", "wb"));
    EXPECT_FALSE(index.WriteBlock(&f, order, err));
    EXPECT_EQ(err, "刷新文件New-TextLst.txt失败！");
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(qm::FileSize(tmp / "x.idx"), 0);
    std::filesystem::remove(tmp / "New-TextLst.txt");
    // A full disk fails the block.
    if (f.Open("/dev/full", "wb")) {
        EXPECT_FALSE(index.WriteBlock(&f, order, err));
        EXPECT_EQ(err, "Can not write file full！");
    }
}

TEST(TextIndex, SixtyFiveThousandPrompts) {
    // 65535 prompts load, file and write; one more line or text is refused.
    TempDir tmp;
    std::string texts, waves;
    for (int i = 0; i < 65535; ++i) {
        texts += (i % 2 ? "p" : "") + std::to_string(i) + "\r\n";
        waves += "a.pcm\r\n";
    }
    qmtest::WriteFile(tmp / "a.pcm", "");
    qmtest::WriteFile(tmp / "TextList.txt", texts + "more\r\n");
    qmtest::WriteFile(tmp / "WaveList.txt", waves + "a.pcm\r\n");
    EXPECT_EQ(qmtest::LoadIn(tmp.path()), "the number of texts exceed the maximum limit（65535）!");
    qmtest::WriteFile(tmp / "TextList.txt", texts);
    qmtest::WriteFile(tmp / "WaveList.txt", waves);
    std::vector<qm::PromptEntry> list;
    ASSERT_EQ(qmtest::LoadIn(tmp.path(), &list), "");
    qm::CTextIndex index;
    std::string err;
    for (size_t i = 0; i < list.size(); ++i) {
        ASSERT_TRUE(index.AddText(list[i].text, static_cast<int32_t>(i + 1), err)) << err;
    }
    EXPECT_FALSE(index.AddText(list[0].text, 65536, err));
    EXPECT_EQ(err, "the number of texts exceed the maximum limit（65535）!");
    std::vector<qm::IndexText> order;
    std::string b = Write(index, tmp, order);
    ASSERT_EQ(order.size(), 65535u);
    // 32768 digit-only texts in bucket 0, then 32767 of "p" and digits.
    EXPECT_EQ(U32At(b, 28), 32768u << 16);
    EXPECT_EQ(U32At(b, 36), 32768u | (32767u << 16));
    EXPECT_EQ(U32At(b, 44), 65535u);
    EXPECT_EQ(order.back().entry, 65533);
}

TEST(TextIndexReader, FindsEveryInconsistency) {
    // Texts "ab", "c", "def": records at 344, offsets at 350, lengths at 362,
    // the pool at 368, 380 bytes.
    const std::string good = qmtest::TextIndexBytes({"ab", "c", "def"});
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> findings;
        size_t texts;
    };
    const std::vector<Case> cases = {
        {"sound", good, {}, 3},
        {"no texts", qmtest::TextIndexBytes({}), {}, 0},
        {"short", good.substr(0, 343), {"343 bytes, too short for a text index block (344)"}, 0},
        {"bucket count", qmtest::Patched(good, 10, 41, 2), {"bucket count 41, not 40"}, 0},
        {"first text",
         qmtest::Patched(good, 36, 2, 2),
         {"bucket 1 starts at text 2, expected 3"},
         3},
        {"no records",
         qmtest::Patched(good, 24, 0, 4),
         {"bucket 0: segment records at 0, expected 344",
          "3 texts whose segment records lie outside the block, the first 0"},
         3},
        {"tables far outside",
         qmtest::Patched(good, 16, 0xFFFFFFF0u, 4),
         {"text offset table at 4294967280, expected 350",
          "text length table at 362, expected 4294967292",
          "the tables of 3 texts do not fit in the block of 380 bytes"},
         0},
        {"pool",
         qmtest::Patched(good, 12, 370, 4),
         {"text pool at 370, expected 368", "1 texts lie outside the text pool, the first 2",
          "block of 380 bytes, its texts end at 382"},
         3},
        {"text offset",
         qmtest::Patched(good, 354, 6, 4),
         {"2 texts do not follow the previous text in the pool, the first 1"},
         3},
        {"segment length",
         qmtest::Patched(good, 345, 3, 1),
         {"1 texts whose segment lengths do not add up to their length, the first 0"},
         3},
        {"text length",
         qmtest::Patched(good, 366, 0xFFFF, 2),
         {"1 texts lie outside the text pool, the first 2",
          "1 texts whose segment lengths do not add up to their length, the first 2",
          "block of 380 bytes, its texts end at 131444"},
         3},
    };
    for (const Case& c : cases) {
        std::vector<qm::TextIndexText> texts;
        std::vector<std::string> problems;
        qm::ReadTextIndexBlock(qmtest::Source(c.bytes), texts, problems);
        EXPECT_EQ(problems, c.findings) << c.what;
        EXPECT_EQ(texts.size(), c.texts) << c.what;
    }
}

TEST(TextIndexReader, Utf16ToUtf8) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"a\u00e9\u4f60", "a\xC3\xA9\xE4\xBD\xA0"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {std::u16string(1, char16_t(0xFFFF)), "\xEF\xBF\xBF"},      // the last three-byte one
        {u"\U00010000", "\xF0\x90\x80\x80"},                        // the first four-byte one
        {std::u16string(1, char16_t(0xD83D)), "\xEF\xBF\xBD"},      // high surrogate alone
        {std::u16string{char16_t(0xDE00), u'x'}, "\xEF\xBF\xBDx"},  // low surrogate alone
        {std::u16string{char16_t(0xD83D), u'x'}, "\xEF\xBF\xBDx"},  // high, then no low
        {std::u16string{char16_t(0xDBFF), char16_t(0xDFFF)}, "\xF4\x8F\xBF\xBF"},
        {std::u16string{char16_t(0xDC00), char16_t(0xDC01)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(qm::Utf16ToUtf8(in), out);
}

}  // namespace
