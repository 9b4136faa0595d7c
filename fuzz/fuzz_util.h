// Shared by the fuzz targets: a scratch folder per process and file writing.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace qmfuzz {

inline const std::string& Scratch() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/qmfuzz-XXXXXX";
        const char* p = ::mkdtemp(tmpl);
        return std::string(p ? p : "/tmp");
    }();
    return dir;
}

inline std::string WriteScratch(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = Scratch() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

// Splits the input at the first occurrence of a separator line "\n--\n".
inline void Split(const uint8_t* data, size_t size, std::string& a, std::string& b) {
    std::string s(reinterpret_cast<const char*>(data), size);
    size_t p = s.find("\n--\n");
    if (p == std::string::npos) {
        a = s;
        b.clear();
    } else {
        a = s.substr(0, p + 1);
        b = s.substr(p + 4);
    }
}

}  // namespace qmfuzz
