#include "input/conform_text.h"

#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace qm {
namespace {

// Unicode BMP character -> its code page 936 pair, built once from the
// table the build itself converts with, so every text written here reads
// back as the character it was. Where two pairs give one character the
// lower pair is kept. 0 marks a character without a pair.
class ReverseCp936 {
  public:
    ReverseCp936() : pairs_(0x10000, 0) {
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const char ch[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                const char16_t u = Cp936CharToUtf16(std::string_view(ch, 2));
                if (u != u'\uFFFD' && pairs_[u] == 0) {
                    pairs_[u] = static_cast<uint16_t>(lead << 8 | trail);
                }
            }
        }
    }
    uint16_t Pair(char32_t cp) const { return cp < 0x10000 ? pairs_[cp] : 0; }

  private:
    std::vector<uint16_t> pairs_;
};

const ReverseCp936& Reverse() {
    static const ReverseCp936 table;
    return table;
}

bool IsBlank(const std::string& line) {
    for (char c : line) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v' && c != '\f') return false;
    }
    return true;
}

// A character as the user sees it in an error: the character itself where
// it can be printed, and its code point.
std::string Describe(char32_t cp) {
    std::string s = Format("U+%04X", static_cast<unsigned>(cp));
    if (cp >= 0x20 && cp != 0x7F && !(cp >= 0x80 && cp < 0xA0)) {
        std::string glyph;
        AppendUtf8(glyph, cp);
        s = "\"" + glyph + "\" (" + s + ")";
    }
    return s;
}

enum class Unit { kUtf8, kUtf16Le, kUtf16Be };

// Reads one code point at a time; a malformed sequence stops it with a
// description of what was found.
class Decoder {
  public:
    Decoder(std::string_view bytes, Unit unit) : b_(bytes), unit_(unit) {}
    bool AtEnd() const { return i_ >= b_.size(); }
    bool Next(char32_t& cp, std::string& bad) {
        return unit_ == Unit::kUtf8 ? NextUtf8(cp, bad) : NextUtf16(cp, bad);
    }

  private:
    unsigned Byte(size_t k) const { return static_cast<unsigned char>(b_[k]); }

    bool NextUtf8(char32_t& cp, std::string& bad) {
        const unsigned c = Byte(i_);
        size_t n = 0;
        char32_t min = 0;
        if (c < 0x80) {
            cp = c;
            ++i_;
            return true;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1, cp = c & 0x1F, min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2, cp = c & 0x0F, min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3, cp = c & 0x07, min = 0x10000;
        } else {
            bad = Format("a malformed UTF-8 sequence (byte 0x%02X)", c);
            return false;
        }
        for (size_t k = 1; k <= n; ++k) {
            if (i_ + k >= b_.size() || (Byte(i_ + k) & 0xC0) != 0x80) {
                bad = Format("a malformed UTF-8 sequence (byte 0x%02X)", c);
                return false;
            }
            cp = cp << 6 | (Byte(i_ + k) & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            bad = Format("a malformed UTF-8 sequence (byte 0x%02X)", c);
            return false;
        }
        i_ += n + 1;
        return true;
    }

    bool Unit16(size_t k, char16_t& u) const {
        if (k + 1 >= b_.size()) return false;
        u = static_cast<char16_t>(unit_ == Unit::kUtf16Le ? Byte(k) | Byte(k + 1) << 8
                                                          : Byte(k) << 8 | Byte(k + 1));
        return true;
    }

    bool NextUtf16(char32_t& cp, std::string& bad) {
        char16_t u = 0, v = 0;
        if (!Unit16(i_, u)) {
            bad = "an odd number of bytes in UTF-16";
            return false;
        }
        if (u >= 0xDC00 && u <= 0xDFFF) {
            bad = Format("an unpaired UTF-16 surrogate 0x%04X", static_cast<unsigned>(u));
            return false;
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (!Unit16(i_ + 2, v) || v < 0xDC00 || v > 0xDFFF) {
                bad = Format("an unpaired UTF-16 surrogate 0x%04X", static_cast<unsigned>(u));
                return false;
            }
            cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (v - 0xDC00);
            i_ += 4;
            return true;
        }
        cp = u;
        i_ += 2;
        return true;
    }

    std::string_view b_;
    Unit unit_;
    size_t i_ = 0;
};

bool ValidUtf8(std::string_view bytes) {
    Decoder d(bytes, Unit::kUtf8);
    char32_t cp;
    std::string bad;
    while (!d.AtEnd()) {
        if (!d.Next(cp, bad)) return false;
    }
    return true;
}

// UTF-16 without a byte-order mark: ASCII characters, line ends included,
// have their zero byte high, so the side that holds more zero bytes is the
// high side. Little-endian when undecided.
Unit Utf16Order(std::string_view bytes) {
    size_t even = 0, odd = 0;
    for (size_t k = 0; k < bytes.size(); ++k) {
        if (bytes[k] == '\0') ++(k % 2 ? odd : even);
    }
    return even > odd ? Unit::kUtf16Be : Unit::kUtf16Le;
}

// Splits code page 936 bytes into lines (a CR or LF byte is never the trail
// byte of a pair).
void SplitCp936(std::string_view bytes, std::vector<std::string>& lines) {
    std::string line;
    for (size_t k = 0; k < bytes.size(); ++k) {
        const char c = bytes[k];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && k + 1 < bytes.size() && bytes[k + 1] == '\n') ++k;
            lines.push_back(std::move(line));
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
}

bool DecodeLines(std::string_view bytes, Unit unit, std::vector<std::string>& lines,
                 std::string& err) {
    Decoder d(bytes, unit);
    std::string line;
    bool pendingCr = false;  // a CR ended the last line; an LF right after belongs to it
    while (!d.AtEnd()) {
        char32_t cp = 0;
        std::string bad;
        const size_t number = lines.size() + 1;
        if (!d.Next(cp, bad)) {
            err = Format("line %zu: %s", number, bad.c_str());
            return false;
        }
        if (cp == '\n' && pendingCr) {
            pendingCr = false;
            continue;
        }
        pendingCr = cp == '\r';
        if (cp == '\r' || cp == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            continue;
        }
        if (cp == 0) {
            err = Format("line %zu: a NUL character", number);
            return false;
        }
        const std::string encoded = Cp936FromCodePoint(cp);
        if (encoded.empty()) {
            err = Format("line %zu: %s has no code page 936 form", number, Describe(cp).c_str());
            return false;
        }
        line += encoded;
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return true;
}

bool StartsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string Cp936FromCodePoint(char32_t cp) {
    if (cp < 0x80) return std::string(1, static_cast<char>(cp));
    if (cp == 0x20AC) return "\x80";
    const uint16_t pair = Reverse().Pair(cp);
    if (pair == 0) return std::string();
    return {static_cast<char>(pair >> 8), static_cast<char>(pair & 0xFF)};
}

std::string JoinCrLf(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

bool ConvertListText(std::string_view bytes, ListEncoding encoding, bool dropTrailingBlank,
                     ListText& out, std::string& err) {
    static constexpr std::string_view kBomUtf8 = "\xEF\xBB\xBF";
    static constexpr std::string_view kBomLe = "\xFF\xFE";
    static constexpr std::string_view kBomBe = "\xFE\xFF";
    out = ListText();

    Unit unit = Unit::kUtf8;
    bool cp936 = false;
    size_t bom = 0;
    switch (encoding) {
        case ListEncoding::kCp936:
            cp936 = true;
            break;
        case ListEncoding::kUtf8:
            if (StartsWith(bytes, kBomUtf8)) bom = kBomUtf8.size();
            break;
        case ListEncoding::kUtf16:
            unit = Utf16Order(bytes);
            if (StartsWith(bytes, kBomLe)) unit = Unit::kUtf16Le, bom = 2;
            if (StartsWith(bytes, kBomBe)) unit = Unit::kUtf16Be, bom = 2;
            break;
        case ListEncoding::kAuto:
            if (StartsWith(bytes, kBomUtf8)) {
                bom = kBomUtf8.size();
            } else if (StartsWith(bytes, kBomLe) || StartsWith(bytes, kBomBe)) {
                unit = StartsWith(bytes, kBomLe) ? Unit::kUtf16Le : Unit::kUtf16Be;
                bom = 2;
            } else if (bytes.find('\0') != std::string_view::npos) {
                unit = Utf16Order(bytes);
            } else if (!ValidUtf8(bytes)) {
                cp936 = true;
            }
            break;
    }

    if (cp936) {
        out.encoding = "gbk";
        SplitCp936(bytes, out.lines);
    } else {
        out.encoding = unit == Unit::kUtf8      ? "utf-8"
                       : unit == Unit::kUtf16Le ? "utf-16le"
                                                : "utf-16be";
        if (bom) out.encoding += " with BOM";
        if (!DecodeLines(bytes.substr(bom), unit, out.lines, err)) return false;
    }
    if (dropTrailingBlank) {
        while (!out.lines.empty() && IsBlank(out.lines.back())) {
            out.lines.pop_back();
            ++out.droppedBlank;
        }
    }
    return true;
}

}  // namespace qm
