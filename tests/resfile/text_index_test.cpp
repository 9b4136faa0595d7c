// The text index block read back: what the writer wrote, and what a damaged
// block gives.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/formats.h"
#include "platform/text.h"
#include "resfile/textindex.h"

namespace qm {
namespace {

using qmtest::Source;

TEST(TextIndexReader, ReadsWhatTheWriterWrote) {
    qmtest::TempDir dir;
    qmtest::KeepCwd keep;
    std::filesystem::current_path(dir.path());
    CTextIndex index;
    std::string err;
    const std::vector<std::string> texts = {"ab12", Utf8ToCp936("你好"), "x"};
    for (size_t i = 0; i < texts.size(); ++i)
        ASSERT_TRUE(index.AddText(texts[i], static_cast<int32_t>(i + 1), err)) << err;
    // A block after other bytes, read as the part of the file it is.
    qmtest::WriteFile(dir / "x.idx", std::string(1000, 'Z'));
    File f;
    std::vector<IndexText> order;
    ASSERT_TRUE(f.Open(dir / "x.idx", "r+b") && index.WriteBlock(&f, order, err)) << err;
    const uint64_t size = static_cast<uint64_t>(f.Size());
    std::vector<TextIndexText> read;
    std::vector<std::string> problems;
    ReadTextIndexBlock(SubSource(FileRangeSource(f, 0, size), 1000, size - 1000), read, problems);
    EXPECT_TRUE(problems.empty()) << problems.front();

    // Index order: the one-segment texts first, in list order.
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].text, u"你好");
    EXPECT_EQ(read[1].text, u"x");
    EXPECT_EQ(read[2].text, u"ab12");
    EXPECT_EQ(read[2].number, 2u);
    EXPECT_EQ(read[2].length, 4u);
    ASSERT_EQ(read[2].segments.size(), 2u);
    EXPECT_EQ(read[2].segments[0].segmentClass, 5);
    EXPECT_EQ(read[2].segments[1].segmentClass, 3);
    EXPECT_EQ(read[2].segments[1].length, 2);
    EXPECT_EQ(read[0].segments[0].segmentClass, 6);
    EXPECT_EQ(Utf16ToUtf8(read[0].text), "你好");

    // The empty block of a skeleton package reads as no texts.
    std::vector<unsigned char> empty = EmptyTextIndexBlock();
    ReadTextIndexBlock(Source(qmtest::Str(empty)), read, problems);
    EXPECT_TRUE(read.empty());
    EXPECT_TRUE(problems.empty());
}

TEST(TextIndexReader, FindsEveryInconsistency) {
    // Texts "ab", "c", "def": records at 344, offsets at 350, lengths at 362,
    // the pool at 368, 380 bytes.
    const std::string good = qmtest::TextIndexBytes({"ab", "c", "def"});
    auto with = [&](size_t at, uint32_t v, int bytes) {
        std::string b = good;
        for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
        return b;
    };
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> findings;
        size_t texts;
    };
    const std::vector<Case> cases = {
        {"sound", good, {}, 3},
        {"short", good.substr(0, 343), {"343 bytes, too short for a text index block (344)"}, 0},
        {"magic", with(9, '5', 1), {"no text index magic \"TSPTMBGDV4\""}, 0},
        {"bucket count", with(10, 41, 2), {"bucket count 41, not 40"}, 0},
        {"first text", with(36, 2, 2), {"bucket 1 starts at text 2, expected 3"}, 3},
        {"records of an empty bucket",
         with(32, 350, 4),
         {"bucket 1: segment records at 350, expected 0"},
         3},
        {"no records",
         with(24, 0, 4),
         {"bucket 0: segment records at 0, expected 344",
          "3 texts whose segment records lie outside the block, the first 0"},
         3},
        {"tables far outside",
         with(16, 0xFFFFFFF0u, 4),
         {"text offset table at 4294967280, expected 350",
          "text length table at 362, expected 4294967292",
          "the tables of 3 texts do not fit in the block of 380 bytes"},
         0},
        {"pool",
         with(12, 370, 4),
         {"text pool at 370, expected 368", "1 texts lie outside the text pool, the first 2",
          "block of 380 bytes, its texts end at 382"},
         3},
        {"text offset",
         with(354, 6, 4),
         {"2 texts do not follow the previous text in the pool, the first 1"},
         3},
        {"segment length",
         with(345, 3, 1),
         {"1 texts whose segment lengths do not add up to their length, the first 0"},
         3},
        {"text length",
         with(366, 0xFFFF, 2),
         {"1 texts lie outside the text pool, the first 2",
          "1 texts whose segment lengths do not add up to their length, the first 2",
          "block of 380 bytes, its texts end at 131444"},
         3},
    };
    for (const Case& c : cases) {
        std::vector<TextIndexText> texts;
        std::vector<std::string> problems;
        ReadTextIndexBlock(Source(c.bytes), texts, problems);
        EXPECT_EQ(problems, c.findings) << c.what;
        EXPECT_EQ(texts.size(), c.texts) << c.what;
    }
    // Texts are read where the offsets say; one outside the pool is listed
    // without its characters.
    std::vector<TextIndexText> texts;
    std::vector<std::string> problems;
    ReadTextIndexBlock(Source(cases[8].bytes), texts, problems);
    EXPECT_EQ(texts[1].text, u"d");  // read where the pool offset says
    EXPECT_FALSE(texts[2].textInside);
    EXPECT_TRUE(texts[2].text.empty());
    EXPECT_EQ(texts[2].segments.size(), 1u);
}

TEST(TextIndexReader, Utf16ToUtf8) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"a\u00e9\u4f60", "a\xC3\xA9\xE4\xBD\xA0"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {std::u16string(1, char16_t(0xD83D)), "\xEF\xBF\xBD"},      // high surrogate alone
        {std::u16string{char16_t(0xDE00), u'x'}, "\xEF\xBF\xBDx"},  // low surrogate alone
        {std::u16string{char16_t(0xD83D), u'x'}, "\xEF\xBF\xBDx"},  // high, then no low
        {std::u16string{char16_t(0xDBFF), char16_t(0xDFFF)}, "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(Utf16ToUtf8(in), out);
}

}  // namespace
}  // namespace qm
