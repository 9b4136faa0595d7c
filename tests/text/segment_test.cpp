// Segmentation: classes, normalisation, number merging and the limits.
#include "resfile/segment.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace {

std::string G(const char* utf8) { return qm::Utf8ToCp936(utf8); }

// The segments as "class:bytes" joined by "|", or "refused: message".
std::string Split(const std::string& text, int32_t line = 1) {
    qm::IndexedText t;
    std::string err = "untouched";
    if (!qm::SegmentText(text, line, t, err)) return "refused: " + err;
    std::string out;
    size_t pos = 0;
    for (int k = 0; k < t.segmentCount; ++k) {
        out += (k ? "|" : "") + std::to_string(t.classes[k]) + ":" +
               t.text.substr(pos, static_cast<size_t>(t.lengths[k]));
        pos += static_cast<size_t>(t.lengths[k]);
    }
    return pos == t.text.size() ? out : "lengths do not add up";
}

TEST(Segment, ClassesNormalisationAndNumbers) {
    const std::string fp = G("．");
    const std::pair<std::string, std::string> cases[] = {
        {"abc123" + G("。"), "5:abc|3:123|2:" + G("。")},
        {G("ＡＢ１２"), "5:AB|3:12"},  // full-width letters and digits become ASCII
        {G("你好") + "  a\tb", "6:" + G("你好") + "|2: |2: |5:a|2:\t|5:b"},
        {"$\x80\n", "2:\xA1\xE7|2:\x9A\x57|2:\xDC\x87"},
        {G("～") + "x", "2:" + G("～") + "|5:x"},  // lead byte below 0xB0: a symbol
        {std::string("ab\0cd", 5), "5:ab"},        // the text ends at a NUL
        // Digits, a point, digits merge once a segment follows; at the end
        // only a full-width point merges.
        {G("温度") + "3" + fp + "5" + G("度"), "6:" + G("温度") + "|4:3.5|6:" + G("度")},
        {G("温度") + "3" + fp + "5", "6:" + G("温度") + "|4:3.5"},
        {G("温度") + "3.5", "6:" + G("温度") + "|3:3|2:.|3:5"},
        {"12.50" + G("元"), "4:12.50|6:" + G("元")},
        {"1" + fp + "2" + fp + "3", "4:1.2|2:" + fp + "|3:3"},  // merged once only
        {"1.2.3x", "4:1.2|2:.|3:3|5:x"},
        {G("１．２元"), "4:1.2|6:" + G("元")},
        {"1,2x", "3:1|2:,|3:2|5:x"},
        // A lead byte with nothing after it is a one-byte symbol, kept as is.
        {"ab\xB0", "5:ab|2:\xB0"},
        {std::string("a\xD6\0x", 4), "5:a|2:\xD6"},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(Split(text), want) << text;
    // Such a byte is one UTF-16 unit, so segment and text lengths agree.
    EXPECT_EQ(qm::Cp936ToUtf16("ab\xB0").size(), 3u);
}

TEST(Segment, Refusals) {
    // 40 segments fit; opening a 41st is refused without a message. The count
    // is taken after merges: nineteen "1.2," are 38 segments, but a number
    // that would merge only later opens its segments first.
    EXPECT_EQ(Split(std::string(40, '!')).size(), 40u * 4 - 1);
    EXPECT_EQ(Split(std::string(41, '!')), "refused: untouched");
    std::string merged;
    for (int i = 0; i < 19; ++i) merged += "1.2,";
    EXPECT_EQ(Split(merged + "ab").substr(0, 8), "4:1.2|2:");
    EXPECT_EQ(Split(merged + "1.2"), "refused: untouched");
    // Control bytes other than tab and line feed name the prompt's line.
    for (char c : {'\r', '\x01', '\x0B', '\x1A', '\x1F'}) {
        EXPECT_EQ(Split(std::string("ab") + c, 7),
                  "refused: Illegal half horn characters(Please use only ANSI)!第7行");
    }
    EXPECT_EQ(Split("", 4),
              "refused: Text.txt is empty，Please check whether its format is correct！第4行");
    // A segment's record holds at most 255 UTF-16 units.
    std::string zh, fw;
    for (int i = 0; i < 255; ++i) zh += G("中"), fw += G("９");
    const std::string tooLong =
        "refused: the segment length exceed the maximum limit（255 characters）!第3行";
    EXPECT_EQ(Split(zh, 3), "6:" + zh);
    EXPECT_EQ(Split(zh + G("中"), 3), tooLong);
    EXPECT_EQ(Split("x" + std::string(256, '7'), 3), tooLong);
    EXPECT_EQ(Split(fw, 3), "3:" + std::string(255, '9'));
}

}  // namespace
