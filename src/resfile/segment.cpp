#include "resfile/segment.h"

#include "platform/text.h"

namespace qm {
namespace {

// The one-byte length field of a segment record holds at most this many
// UTF-16 units.
constexpr int32_t kMaxSegmentUnits = 255;

// One character of the input as the scan sees it.
struct ScannedChar {
    int32_t cls = 0;  // 0: refused
    char out[2] = {};
    int outLen = 0;
    size_t width = 1;
};

ScannedChar Classify(const std::string& text, size_t i, size_t end) {
    ScannedChar c;
    unsigned char b = static_cast<unsigned char>(text[i]);
    bool hasNext = i + 1 < end;
    unsigned char n = hasNext ? static_cast<unsigned char>(text[i + 1]) : 0;
    auto emit1 = [&](int32_t cls, unsigned char o) {
        c.cls = cls;
        c.out[0] = static_cast<char>(o);
        c.outLen = 1;
    };
    auto emit2 = [&](int32_t cls, unsigned char o0, unsigned char o1) {
        c.cls = cls;
        c.out[0] = static_cast<char>(o0);
        c.out[1] = static_cast<char>(o1);
        c.outLen = 2;
    };
    if (b == 0x80) {
        emit2(SEG_SYMBOL, 0x9A, 0x57);  // the euro sign is stored as "歐"
    } else if (b >= 0x81 && !hasNext) {
        // A lead byte with nothing after it: a symbol of one byte, stored as is.
        emit1(SEG_SYMBOL, b);
    } else if (b >= 0xB0) {
        emit2(SEG_HANZI, b, n);
        c.width = 2;
    } else if (b == 0xA3 && n >= 0xB0 && n <= 0xB9) {
        emit1(SEG_DIGITS, static_cast<unsigned char>(n - 0x80));  // full-width digit
        c.width = 2;
    } else if (b == 0xA3 && ((n >= 0xC1 && n <= 0xDA) || (n >= 0xE1 && n <= 0xFA))) {
        emit1(SEG_LETTERS, static_cast<unsigned char>(n - 0x80));  // full-width letter
        c.width = 2;
    } else if (b >= 0x81) {
        emit2(SEG_SYMBOL, b, n);
        c.width = 2;
    } else if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
        emit1(SEG_LETTERS, b);
    } else if (b >= '0' && b <= '9') {
        emit1(SEG_DIGITS, b);
    } else if (b == '\n') {
        emit2(SEG_SYMBOL, 0xDC, 0x87);  // "車"
    } else if (b == '$') {
        emit2(SEG_SYMBOL, 0xA1, 0xE7);  // full-width dollar sign
    } else if (b == '\t' || b >= 0x20) {
        emit1(SEG_SYMBOL, b);
    }
    return c;
}

// The work state of one text: the normalised bytes and the segments so far.
struct Segments {
    std::string out;
    int32_t cls[kMaxSegments] = {};
    int32_t len[kMaxSegments] = {};
    int32_t count = 0;

    size_t Start(int32_t k) const {
        size_t s = 0;
        for (int32_t j = 0; j < k; ++j) s += static_cast<size_t>(len[j]);
        return s;
    }
    bool IsFullWidthPoint(int32_t k) const {
        size_t s = Start(k);
        return len[k] == 2 && static_cast<unsigned char>(out[s]) == 0xA3 &&
               static_cast<unsigned char>(out[s + 1]) == 0xAE;
    }
    bool IsPoint(int32_t k) const { return len[k] == 1 && out[Start(k)] == '.'; }
    // Whether segments k, k+1, k+2 are digits, one symbol, digits.
    bool IsNumberShape(int32_t k) const {
        return cls[k] == SEG_DIGITS && cls[k + 1] == SEG_SYMBOL && cls[k + 2] == SEG_DIGITS;
    }
    // Merges segments k, k+1, k+2 into one decimal number; the segments after
    // them move down two places. The point must already be one byte.
    void MergeNumber(int32_t k) {
        cls[k] = SEG_DECIMAL;
        len[k] = len[k] + 1 + len[k + 2];
        for (int32_t j = k + 3; j < count; ++j) {
            cls[j - 2] = cls[j];
            len[j - 2] = len[j];
        }
        count -= 2;
    }
    // Replaces the full-width point of segment k + 1 by "." and merges.
    void MergeFullWidth(int32_t k) {
        out.erase(Start(k + 1) + 1, 1);
        out[Start(k + 1)] = '.';
        len[k + 1] = 1;
        MergeNumber(k);
    }
};

}  // namespace

bool SegmentText(const std::string& text, int32_t promptNumber, IndexedText& out, std::string& err,
                 Problem* why) {
    auto explain = [why](const char* word, std::string reason, const char* hint) {
        if (why == nullptr) return;
        why->word = word;
        why->reason = std::move(reason);
        why->hint = hint;
    };
    // The text ends at its terminator: a NUL byte, if any, or its end.
    size_t end = text.find('\0');
    if (end == std::string::npos) end = text.size();
    if (end == 0) {
        err = Format("Text.txt is empty，Please check whether its format is correct！第%d行",
                     promptNumber);
        explain("text-empty", "the text is empty", "give the prompt its text");
        return false;
    }

    Segments s;
    s.out.reserve(end * 2);
    for (size_t i = 0; i < end;) {
        ScannedChar c = Classify(text, i, end);
        if (c.cls == 0) {
            err = Format("Illegal half horn characters(Please use only ANSI)!第%d行", promptNumber);
            explain("text-control",
                    Format("byte %zu of the text is the control character 0x%02X", i + 1,
                           static_cast<unsigned char>(text[i])),
                    "remove the control character (only tab is allowed)");
            return false;
        }
        if (s.count == 0 || c.cls != s.cls[s.count - 1] || c.cls == SEG_SYMBOL) {
            if (s.count == kMaxSegments) {  // a 41st segment
                explain("text-segments",
                        Format("the text has more than 40 segments (the 41st starts at byte %zu)",
                               i + 1),
                        "shorten the text: every symbol or space, and every change between "
                        "digits, letters and Chinese characters, starts a segment");
                return false;
            }
            s.cls[s.count] = c.cls;
            s.len[s.count] = 0;
            ++s.count;
        }
        s.out.append(c.out, static_cast<size_t>(c.outLen));
        s.len[s.count - 1] += c.outLen;
        i += c.width;

        // Numbers are merged once a segment follows them, so that a merged
        // number is never taken apart again.
        if (s.count >= 4) {
            int32_t k = s.count - 4;
            if (s.IsNumberShape(k) && s.IsFullWidthPoint(k + 1)) s.MergeFullWidth(k);
            if (s.count >= 4) {
                k = s.count - 4;
                if (s.IsNumberShape(k) && s.IsPoint(k + 1)) s.MergeNumber(k);
            }
        }
    }
    // At the end only a full-width point joins a number; an ASCII point is
    // left as three segments.
    if (s.count >= 3) {
        int32_t k = s.count - 3;
        if (s.IsNumberShape(k) && s.IsFullWidthPoint(k + 1)) s.MergeFullWidth(k);
    }

    // Every segment must fit the one-byte length of its record.
    size_t pos = 0;
    for (int32_t k = 0; k < s.count; ++k) {
        std::string_view seg(s.out.data() + pos, static_cast<size_t>(s.len[k]));
        if (Cp936ToUtf16(seg).size() > static_cast<size_t>(kMaxSegmentUnits)) {
            err = Format("the segment length exceed the maximum limit（255 characters）!第%d行",
                         promptNumber);
            explain("text-segment-length",
                    Format("segment %d is %zu UTF-16 units long, over 255", k + 1,
                           Cp936ToUtf16(seg).size()),
                    "break the long run of one kind of character with a space or a symbol");
            return false;
        }
        pos += seg.size();
    }

    out = IndexedText();
    for (int32_t k = 0; k < s.count; ++k) {
        out.classes[k] = s.cls[k];
        out.lengths[k] = s.len[k];
    }
    out.segmentCount = s.count;
    out.text = std::move(s.out);
    return true;
}

}  // namespace qm
