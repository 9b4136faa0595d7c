// List files in every common encoding to code page 936 lines, and the
// characters that have no code page 936 form.
#include "platform/text.h"

#include <gtest/gtest.h>

#include "input/conform_text.h"

namespace {

using qm::ListEncoding;

// UTF-8 text as UTF-16 bytes of one byte order.
std::string Utf16(const std::u16string& s, bool bigEndian) {
    std::string out;
    for (char16_t u : s) {
        const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

TEST(ConformText, EveryEncodingToCodePage936) {
    const std::string gbk = qm::Utf8ToCp936("欢迎 使用€\r\n录音\\c16.wav\r\n");
    const std::u16string u16 = u"欢迎 使用€\r\n录音\\c16.wav\n";
    struct Case {
        std::string bytes;
        ListEncoding encoding;
        const char* label;
    };
    const Case cases[] = {
        {"欢迎 使用€\n录音\\c16.wav", ListEncoding::kAuto, "utf-8"},
        {"\xEF\xBB\xBF欢迎 使用€\r\n录音\\c16.wav\r\n", ListEncoding::kAuto, "utf-8 with BOM"},
        {"\xEF\xBB\xBF欢迎 使用€\r录音\\c16.wav\r", ListEncoding::kUtf8, "utf-8 with BOM"},
        {"\xFF\xFE" + Utf16(u16, false), ListEncoding::kAuto, "utf-16le with BOM"},
        {"\xFE\xFF" + Utf16(u16, true), ListEncoding::kAuto, "utf-16be with BOM"},
        {Utf16(u16, false), ListEncoding::kAuto, "utf-16le"},
        {Utf16(u16, true), ListEncoding::kAuto, "utf-16be"},
        {Utf16(u16, true), ListEncoding::kUtf16, "utf-16be"},
        {gbk, ListEncoding::kAuto, "gbk"},
        {qm::Utf8ToCp936("欢迎 使用€\n录音\\c16.wav\n\n \t\r\n"), ListEncoding::kCp936, "gbk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        qm::ListText text;
        std::string err;
        ASSERT_TRUE(qm::ConvertListText(c.bytes, c.encoding, true, text, err)) << err;
        EXPECT_EQ(text.encoding, c.label);
        EXPECT_EQ(qm::JoinCrLf(text.lines), gbk);
    }
    // Blank lines at the end go only when asked; the count is kept.
    qm::ListText text;
    std::string err;
    ASSERT_TRUE(qm::ConvertListText("a\n\n \n", ListEncoding::kAuto, true, text, err));
    EXPECT_EQ(text.lines, std::vector<std::string>{"a"});
    EXPECT_EQ(text.droppedBlank, 2u);
    ASSERT_TRUE(qm::ConvertListText("a\n\n \n", ListEncoding::kAuto, false, text, err));
    EXPECT_EQ(text.lines.size(), 3u);
    // Declared code page 936 bytes are kept even when they look like UTF-8.
    ASSERT_TRUE(qm::ConvertListText("\xEF\xBB\xBFx", ListEncoding::kCp936, true, text, err));
    EXPECT_EQ(text.lines, std::vector<std::string>{"\xEF\xBB\xBFx"});
}

TEST(ConformText, ErrorsNameTheLineAndTheCharacter) {
    struct Case {
        std::string bytes;
        ListEncoding encoding;
        const char* message;
    };
    const Case cases[] = {
        {"欢迎\n使用\n泰文ก\n", ListEncoding::kAuto,
         "line 3: \"ก\" (U+0E01) has no code page 936 form"},
        {"a\r\nb\r\n😀\r\n", ListEncoding::kAuto,
         "line 3: \"😀\" (U+1F600) has no code page 936 form"},
        {"a\n\xC3\x28\n", ListEncoding::kUtf8, "line 2: a malformed UTF-8 sequence (byte 0xC3)"},
        {"a\n\xE4\xB8", ListEncoding::kUtf8, "line 2: a malformed UTF-8 sequence (byte 0xE4)"},
        {"a\n\xED\xA0\x80", ListEncoding::kUtf8, "line 2: a malformed UTF-8 sequence (byte 0xED)"},
        {std::string("a\nb\0c", 5), ListEncoding::kUtf8, "line 2: a NUL character"},
        {Utf16(u"a\n", false) + "b", ListEncoding::kUtf16,
         "line 2: an odd number of bytes in UTF-16"},
        {Utf16(u"a\n\xDC00", false), ListEncoding::kUtf16,
         "line 2: an unpaired UTF-16 surrogate 0xDC00"},
        {Utf16(u"a\n\xD800x", false), ListEncoding::kUtf16,
         "line 2: an unpaired UTF-16 surrogate 0xD800"},
        // The lowest pair, D800 DC00: a character, though it has no form either.
        {Utf16(u"a\n\U00010000", false), ListEncoding::kUtf16,
         "line 2: \"\U00010000\" (U+10000) has no code page 936 form"},
    };
    for (const Case& c : cases) {
        qm::ListText text;
        std::string err;
        EXPECT_FALSE(qm::ConvertListText(c.bytes, c.encoding, true, text, err));
        EXPECT_EQ(err, c.message) << c.message;
    }
}

TEST(ConformText, EveryCodePage936CharacterReadsBackAsItself) {
    size_t mapped = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const std::string pair = {static_cast<char>(lead), static_cast<char>(trail)};
            const char16_t u = qm::Cp936CharToUtf16(pair);
            if (u == u'\uFFFD') continue;
            ++mapped;
            ASSERT_EQ(qm::Cp936CharToUtf16(qm::Cp936FromCodePoint(u)), u) << lead << " " << trail;
        }
    }
    EXPECT_GT(mapped, 21000u);
    EXPECT_EQ(qm::Cp936FromCodePoint(U'€'), "\x80");
}

}  // namespace
