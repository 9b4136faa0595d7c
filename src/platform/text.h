// Code page 936 (GBK) conversion and printf-style message formatting.
//
// Prompt texts are code page 936 byte strings. They are converted character
// by character, the way text segmentation sees characters: a byte below 0x80
// is one character, a byte from 0x81 up together with the byte after it is one
// character, and byte 0x80 stands alone. Each character gives exactly one
// UTF-16 unit; a character that has no mapping (or a lead byte with nothing
// after it) gives U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// Width in bytes of the character starting at text[i] (1 or 2; 1 for a lead
// byte that is the last byte of the text).
inline size_t Cp936CharWidth(std::string_view text, size_t i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    return (c >= 0x81 && i + 1 < text.size()) ? 2 : 1;
}

// One character (1 or 2 bytes) to its UTF-16 unit.
char16_t Cp936CharToUtf16(std::string_view ch);
std::u16string Cp936ToUtf16(std::string_view text);
std::string Cp936ToUtf8(std::string_view text);
// A name from a list file to a native path: converted to UTF-8, and every
// backslash character (not a 0x5C trail byte) made a "/".
std::string Cp936PathToUtf8(std::string_view name);
// UTF-8 to code page 936 (for tests and tools); unmappable characters give "?".
std::string Utf8ToCp936(std::string_view text);
// One UTF-16 unit to UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qm
