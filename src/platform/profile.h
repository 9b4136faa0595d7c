// Reading private-profile ("*.ini") files the way Windows does: sections in
// brackets, key=value lines, section and key names compared without regard to
// ASCII case, the first occurrence of a key winning, white space around names
// and values ignored, one pair of enclosing double or single quotes around a
// value dropped, ";" at the start of a line making it a comment, no inline
// comments, no continuation lines, lines of any length. Names and values are
// byte strings as the file holds them (code page 936 for files written on
// Windows).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qm {

class PrivateProfile {
  public:
    // Reads the file; false (and an empty profile) when it cannot be read.
    bool Load(const std::string& path);
    // Parses text as the content of a file.
    void Parse(std::string_view text);
    // The value of a key; nullopt when the section or key is missing, or the
    // key's line has no "=".
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  private:
    // Lower-case section, a NUL, lower-case key -> value of its first
    // occurrence (nullopt for a line without "=").
    std::unordered_map<std::string, std::optional<std::string>> entries_;
};

// The value of section/key in the file at path, or def when the file, the
// section or the key is missing.
std::string GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                     std::string_view def, const std::string& path);

// The value as an integer: optional white space is already trimmed, then an
// optional sign and the decimal digits up to the first other character (a
// value without digits is 0; digits beyond 32 bits wrap around). def when the
// file, the section or the key is missing.
int32_t GetPrivateProfileIntA(std::string_view section, std::string_view key, int32_t def,
                              const std::string& path);

// The integer rule above applied to a value.
int32_t ProfileInt(std::string_view value);

}  // namespace qm
