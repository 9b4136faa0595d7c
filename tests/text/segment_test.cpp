// Segmentation of prompt texts: classes, normalisation, number merging and
// the limits on segments.
#include "input/segment.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace {

using qm::IndexedText;
using qm::Utf8ToCp936;
using Seg = std::pair<int, std::string>;  // class, bytes of the normalised text

// The segments of a filed text as (class, bytes) pairs.
std::vector<Seg> Segments(const IndexedText& t) {
    std::vector<Seg> out;
    size_t pos = 0;
    for (int k = 0; k < t.segmentCount; ++k) {
        out.emplace_back(t.classes[k], t.text.substr(pos, static_cast<size_t>(t.lengths[k])));
        pos += static_cast<size_t>(t.lengths[k]);
    }
    EXPECT_EQ(pos, t.text.size());
    return out;
}

std::vector<Seg> Split(const std::string& text) {
    IndexedText t;
    std::string err;
    EXPECT_TRUE(qm::SegmentText(text, 1, t, err)) << err;
    return Segments(t);
}

std::string Gbk(const char* utf8) { return Utf8ToCp936(utf8); }

TEST(Segment, ClassesAndNormalisation) {
    // Letters, digits and a full-width full stop: three segments.
    EXPECT_EQ(Split("abc123" + Gbk("。")),
              (std::vector<Seg>{{5, "abc"}, {3, "123"}, {2, Gbk("。")}}));
    // Full-width letters and digits become single bytes.
    EXPECT_EQ(Split(Gbk("ＡＢ１２")), (std::vector<Seg>{{5, "AB"}, {3, "12"}}));
    // Every symbol is a segment of its own; spaces and tabs are symbols.
    EXPECT_EQ(
        Split(Gbk("你好") + "  a\tb"),
        (std::vector<Seg>{{6, Gbk("你好")}, {2, " "}, {2, " "}, {5, "a"}, {2, "\t"}, {5, "b"}}));
    // "$" becomes the full-width dollar, 0x80 the character 9A 57, a line feed DC 87.
    EXPECT_EQ(Split("$\x80\n"),
              (std::vector<Seg>{{2, "\xA1\xE7"}, {2, "\x9A\x57"}, {2, "\xDC\x87"}}));
    // A double-byte character with a lead byte below 0xB0 is a symbol.
    EXPECT_EQ(Split(Gbk("～") + "x"), (std::vector<Seg>{{2, Gbk("～")}, {5, "x"}}));
    // The text ends at a NUL byte.
    EXPECT_EQ(Split(std::string("ab\0cd", 5)), (std::vector<Seg>{{5, "ab"}}));
}

TEST(Segment, DecimalNumbers) {
    const std::string fwPoint = Gbk("．");
    // A full-width point between digit runs becomes "." once a segment follows.
    EXPECT_EQ(Split(Gbk("温度") + "3" + fwPoint + "5" + Gbk("度")),
              (std::vector<Seg>{{6, Gbk("温度")}, {4, "3.5"}, {6, Gbk("度")}}));
    // At the end a full-width point merges, an ASCII point does not.
    EXPECT_EQ(Split(Gbk("温度") + "3" + fwPoint + "5"),
              (std::vector<Seg>{{6, Gbk("温度")}, {4, "3.5"}}));
    EXPECT_EQ(Split(Gbk("温度") + "3.5"),
              (std::vector<Seg>{{6, Gbk("温度")}, {3, "3"}, {2, "."}, {3, "5"}}));
    // An ASCII point inside a text merges.
    EXPECT_EQ(Split("12.50" + Gbk("元")), (std::vector<Seg>{{4, "12.50"}, {6, Gbk("元")}}));
    // A merged number does not merge again.
    EXPECT_EQ(Split("1" + fwPoint + "2" + fwPoint + "3"),
              (std::vector<Seg>{{4, "1.2"}, {2, fwPoint}, {3, "3"}}));
    EXPECT_EQ(Split("1.2.3x"), (std::vector<Seg>{{4, "1.2"}, {2, "."}, {3, "3"}, {5, "x"}}));
    // Full-width digits take part after their own conversion.
    EXPECT_EQ(Split(Gbk("１．２元")), (std::vector<Seg>{{4, "1.2"}, {6, Gbk("元")}}));
    // Anything but a point between digits is left alone.
    EXPECT_EQ(Split("1,2x"), (std::vector<Seg>{{3, "1"}, {2, ","}, {3, "2"}, {5, "x"}}));
}

TEST(Segment, Refusals) {
    IndexedText t;
    std::string err;
    // 40 symbols fit; the 41st segment is refused without a message.
    EXPECT_TRUE(qm::SegmentText(std::string(40, '!'), 1, t, err));
    EXPECT_EQ(t.segmentCount, 40);
    err = "earlier";
    EXPECT_FALSE(qm::SegmentText(std::string(41, '!'), 1, t, err));
    EXPECT_EQ(err, "earlier");
    // The count is taken as the segments stand after merges: nineteen "1.2,"
    // are 38 segments, not 76; a number that would merge only later still
    // opens its segments first.
    std::string merged;
    for (int i = 0; i < 19; ++i) merged += "1.2,";
    EXPECT_TRUE(qm::SegmentText(merged + "ab", 1, t, err)) << err;
    EXPECT_EQ(t.segmentCount, 39);
    EXPECT_FALSE(qm::SegmentText(merged + "1.2", 1, t, err));

    // An empty text (never produced by the list load) is refused, not filed
    // into a bucket before the first.
    EXPECT_FALSE(qm::SegmentText("", 4, t, err));
    EXPECT_EQ(err, "Text.txt is empty，Please check whether its format is correct！第4行");

    // Control bytes other than tab and line feed are refused with the line.
    for (char c : {'\r', '\x01', '\x1A', '\x1F', '\x0B'}) {
        err.clear();
        EXPECT_FALSE(qm::SegmentText(std::string("ab") + c + "cd", 7, t, err));
        EXPECT_EQ(err, "Illegal half horn characters(Please use only ANSI)!第7行");
    }

    // A segment over 255 UTF-16 units cannot be stored: 255 characters fit,
    // 256 do not, whether double-byte or single-byte.
    std::string hanzi255;
    for (int i = 0; i < 255; ++i) hanzi255 += Gbk("中");
    EXPECT_TRUE(qm::SegmentText(hanzi255, 3, t, err));
    EXPECT_EQ(t.lengths[0], 510);
    EXPECT_FALSE(qm::SegmentText(hanzi255 + Gbk("中"), 3, t, err));
    EXPECT_EQ(err, "the segment length exceed the maximum limit（255 characters）!第3行");
    err.clear();
    EXPECT_FALSE(qm::SegmentText("x" + std::string(256, '7'), 12, t, err));
    EXPECT_EQ(err, "the segment length exceed the maximum limit（255 characters）!第12行");
    // A full-width digit run that shrinks to 255 bytes fits.
    std::string fwDigits;
    for (int i = 0; i < 255; ++i) fwDigits += Gbk("９");
    EXPECT_TRUE(qm::SegmentText(fwDigits, 1, t, err));
    EXPECT_EQ(t.text, std::string(255, '9'));
}

TEST(Segment, LoneLeadByteAtTheEnd) {
    // A lead byte with nothing after it is a one-byte symbol, stored as is;
    // nothing past the end is read (the sanitizer build checks that).
    EXPECT_EQ(Split("ab\xB0"), (std::vector<Seg>{{5, "ab"}, {2, "\xB0"}}));
    EXPECT_EQ(Split(Gbk("中") + "\x81"), (std::vector<Seg>{{6, Gbk("中")}, {2, "\x81"}}));
    EXPECT_EQ(Split("\xA3"), (std::vector<Seg>{{2, "\xA3"}}));
    // A NUL right after a lead byte ends the text the same way.
    EXPECT_EQ(Split(std::string("a\xD6\0x", 4)), (std::vector<Seg>{{5, "a"}, {2, "\xD6"}}));
    // The byte keeps one UTF-16 unit, so text and segment lengths agree.
    EXPECT_EQ(qm::Cp936ToUtf16("ab\xB0").size(), 3u);
}

}  // namespace
