#include "platform/profile.h"

#include "platform/file.h"
#include "platform/fs.h"

namespace qm {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Sections and keys are compared without regard to ASCII case.
std::string LookupKey(std::string_view section, std::string_view key) {
    std::string k;
    k.reserve(section.size() + key.size() + 1);
    for (char c : section) k.push_back(Lower(c));
    k.push_back('\0');
    for (char c : key) k.push_back(Lower(c));
    return k;
}

}  // namespace

bool PrivateProfile::Load(const std::string& path) {
    entries_.clear();
    File in;
    // A folder opens on Linux but cannot be read; it counts as no file.
    if (!PathIsFile(path) || !in.Open(path, "rb")) return false;
    // Read in pieces until the end: the file's real length bounds the text.
    std::string text;
    char buf[4096];
    for (;;) {
        size_t got = in.Read(buf, sizeof buf);
        text.append(buf, got);
        if (got < sizeof buf) break;
    }
    Parse(text);
    return true;
}

void PrivateProfile::Parse(std::string_view text) {
    entries_.clear();
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    // Keys before the first section header belong to no section and are never found.
    std::optional<std::string> section;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = Trim(text.substr(0, nl));
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            section = std::string(Trim(line.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            continue;
        }
        if (!section) continue;
        std::optional<std::string> entry;
        size_t eq = line.find('=');
        const std::string key = LookupKey(*section, Trim(line.substr(0, eq)));
        if (eq != std::string_view::npos) {
            std::string_view value = Trim(line.substr(eq + 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            entry = std::string(value);
        }
        entries_.emplace(key, std::move(entry));  // the first occurrence wins
    }
}

std::optional<std::string> PrivateProfile::Get(std::string_view section,
                                               std::string_view key) const {
    auto it = entries_.find(LookupKey(section, key));
    return it == entries_.end() ? std::nullopt : it->second;
}

std::string GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                     std::string_view def, const std::string& path) {
    PrivateProfile profile;
    if (!profile.Load(path)) return std::string(def);
    std::optional<std::string> v = profile.Get(section, key);
    return v ? *v : std::string(def);
}

int32_t ProfileInt(std::string_view value) {
    value = Trim(value);
    bool negative = false;
    if (!value.empty() && (value.front() == '-' || value.front() == '+')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    uint32_t n = 0;
    for (char c : value) {
        if (c < '0' || c > '9') break;
        n = n * 10u + static_cast<uint32_t>(c - '0');
    }
    if (negative) n = 0u - n;
    return static_cast<int32_t>(n);
}

int32_t GetPrivateProfileIntA(std::string_view section, std::string_view key, int32_t def,
                              const std::string& path) {
    PrivateProfile profile;
    if (!profile.Load(path)) return def;
    std::optional<std::string> v = profile.Get(section, key);
    return v ? ProfileInt(*v) : def;
}

}  // namespace qm
