#include "platform/text.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace qm {
namespace {

// The double-byte half of code page 936 mapped once into a table: 126 lead
// bytes (0x81..0xFE) by 256 trail bytes. 0 marks a pair without a mapping.
class Cp936Table {
  public:
    Cp936Table() : pairs_(126 * 256, 0) {
        iconv_t cd = iconv_open("UTF-16LE", "CP936");
        if (cd == reinterpret_cast<iconv_t>(-1)) return;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                char out[8];
                char* ip = in;
                char* op = out;
                size_t il = 2, ol = sizeof out;
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
                if (iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && il == 0 &&
                    sizeof out - ol == 2) {
                    pairs_[(lead - 0x81) * 256 + trail] =
                        static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                              (static_cast<unsigned char>(out[1]) << 8));
                }
            }
        }
        iconv_close(cd);
    }
    char16_t Pair(unsigned char lead, unsigned char trail) const {
        char16_t u = pairs_[(lead - 0x81) * 256 + trail];
        return u == 0 ? u'\uFFFD' : u;
    }

  private:
    std::vector<char16_t> pairs_;
};

const Cp936Table& Table() {
    static const Cp936Table table;
    return table;
}

}  // namespace

char16_t Cp936CharToUtf16(std::string_view ch) {
    if (ch.empty()) return u'\uFFFD';
    unsigned char c = static_cast<unsigned char>(ch[0]);
    if (c < 0x80) return static_cast<char16_t>(c);
    if (c == 0x80) return u'\u20AC';
    if (c == 0xFF || ch.size() < 2) return u'\uFFFD';
    return Table().Pair(c, static_cast<unsigned char>(ch[1]));
}

std::u16string Cp936ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t w = Cp936CharWidth(text, i);
        out.push_back(Cp936CharToUtf16(text.substr(i, w)));
        i += w;
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string Cp936ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3 / 2);
    for (size_t i = 0; i < text.size();) {
        size_t w = Cp936CharWidth(text, i);
        AppendUtf8(out, Cp936CharToUtf16(text.substr(i, w)));
        i += w;
    }
    return out;
}

std::string Cp936PathToUtf8(std::string_view name) {
    std::string out;
    out.reserve(name.size() * 3 / 2);
    for (size_t i = 0; i < name.size();) {
        size_t w = Cp936CharWidth(name, i);
        if (w == 1 && name[i] == '\\') {
            out.push_back('/');
        } else {
            AppendUtf8(out, Cp936CharToUtf16(name.substr(i, w)));
        }
        i += w;
    }
    return out;
}

std::string Utf8ToCp936(std::string_view text) {
    static std::mutex mu;
    std::lock_guard<std::mutex> lock(mu);
    std::string out;
    iconv_t cd = iconv_open("CP936", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
    std::vector<char> in(text.begin(), text.end());
    char* ip = in.data();
    size_t il = in.size();
    std::vector<char> buf(text.size() * 2 + 16);
    while (il > 0) {
        char* op = buf.data();
        size_t ol = buf.size();
        size_t r = iconv(cd, &ip, &il, &op, &ol);
        out.append(buf.data(), buf.size() - ol);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // Skip one unmappable or malformed UTF-8 character.
            out.push_back('?');
            do {
                ++ip;
                --il;
            } while (il > 0 && (static_cast<unsigned char>(*ip) & 0xC0) == 0x80);
        }
    }
    iconv_close(cd);
    return out;
}

std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, ap2);
        out.resize(static_cast<size_t>(n));
    }
    va_end(ap2);
    return out;
}

}  // namespace qm
