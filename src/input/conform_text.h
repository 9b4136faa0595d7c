// List files in the encodings users' editors write (UTF-8 with or without a
// byte-order mark, UTF-16 in either byte order, code page 936) turned into
// the code page 936 lines the build reads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

enum class ListEncoding { kAuto, kCp936, kUtf8, kUtf16 };

struct ListText {
    // The lines in code page 936, without line ends.
    std::vector<std::string> lines;
    // What was read: "utf-8", "utf-8 with BOM", "utf-16le", "utf-16be" (each
    // also "... with BOM"), or "gbk".
    std::string encoding;
    // Blank lines removed from the end of the file.
    size_t droppedBlank = 0;
};

// Decodes a list file's bytes in the declared encoding (kAuto: a byte-order
// mark decides; else NUL bytes mean UTF-16, their positions the byte order;
// else valid UTF-8 is UTF-8; else code page 936) and converts every line to
// code page 936. Line ends are CR LF, LF or a lone CR. Code page 936 input is
// kept byte for byte. With dropTrailingBlank, white-space-only lines at the
// end go. A character without a code page 936 form, a NUL character or a
// malformed sequence is an error: err names the line and the character.
bool ConvertListText(std::string_view bytes, ListEncoding encoding, bool dropTrailingBlank,
                     ListText& out, std::string& err);

// The lines joined, each followed by CR LF.
std::string JoinCrLf(const std::vector<std::string>& lines);

// The code page 936 form of a Unicode character as the build's own table
// reads it back (one or two bytes), or "" when it has none.
std::string Cp936FromCodePoint(char32_t cp);

}  // namespace qm
