// Helpers shared by the tests: scratch folders, files, WAV and PCM fixtures.
#pragma once

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qmtest {

// A scratch folder under the system's temporary folder, removed with the object.
class TempDir {
  public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "qmtest-XXXXXX").string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        char* p = ::mkdtemp(buf.data());
        path_ = p ? p : "";
    }
    ~TempDir() {
        std::error_code ec;
        // Restore write bits first so read-only fixtures can be removed.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        }
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Restores the current directory, which builds move, when it goes.
struct KeepCwd {
    std::string saved = std::filesystem::current_path().string();
    ~KeepCwd() { std::filesystem::current_path(saved); }
};

// A name as lists write it (backslashes) as a path of this system.
inline std::string Native(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

// The number of entries of a folder.
inline size_t Entries(const std::string& folder) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                             std::filesystem::directory_iterator()));
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Puts a file of the kind at path in place of whatever was there: "file"
// (holding "old"), "link" (to target), "folder", "fifo", "socket" (its
// descriptor in fd, open for the caller; fd is left alone otherwise) or "none".
inline bool MakeKind(const std::string& kind, const std::string& path, int& fd,
                     const std::string& target = "") {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (kind == "file") WriteFile(path, "old");
    if (kind == "link") std::filesystem::create_symlink(target, path, ec);
    if (kind == "folder") std::filesystem::create_directory(path, ec);
    if (kind == "fifo") return ::mkfifo(path.c_str(), 0644) == 0;
    if (kind != "socket") return !ec;
    fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    return fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::string s = ReadFile(path);
    return std::vector<unsigned char>(s.begin(), s.end());
}

// The little-endian 32-bit value at `at`.
inline uint32_t U32At(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s.at(at + i));
    return v;
}

inline void PutLE(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A canonical 44-byte-header WAV file (format tag 1: integer PCM).
inline std::string WavBytes(const std::vector<int16_t>& samples, uint32_t rate,
                            uint16_t channels = 1, uint16_t bits = 16, uint16_t tag = 1) {
    std::string s = "RIFF";
    uint32_t dataSize = static_cast<uint32_t>(samples.size() * 2);
    PutLE(s, 36 + dataSize, 4);
    s += "WAVEfmt ";
    PutLE(s, 16, 4);
    PutLE(s, tag, 2);
    PutLE(s, channels, 2);
    PutLE(s, rate, 4);
    PutLE(s, rate * channels * bits / 8, 4);
    PutLE(s, channels * bits / 8, 2);
    PutLE(s, bits, 2);
    s += "data";
    PutLE(s, dataSize, 4);
    for (int16_t v : samples) PutLE(s, static_cast<uint16_t>(v), 2);
    return s;
}

inline std::string PcmBytes(const std::vector<int16_t>& samples) {
    std::string s;
    for (int16_t v : samples) PutLE(s, static_cast<uint16_t>(v), 2);
    return s;
}

// The 16-bit little-endian samples of the bytes from `from` on.
inline std::vector<int16_t> PcmSamples(const std::string& bytes, size_t from = 0) {
    std::vector<int16_t> out;
    for (size_t i = from; i + 1 < bytes.size(); i += 2)
        out.push_back(static_cast<int16_t>(static_cast<unsigned char>(bytes[i]) |
                                           static_cast<unsigned char>(bytes[i + 1]) << 8));
    return out;
}

// A deterministic test signal: a sum of two sines with the given peak.
inline std::vector<int16_t> ToneSamples(size_t n, double peak, uint32_t rate = 16000) {
    std::vector<int16_t> out(n);
    for (size_t i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / rate;
        double v = 0.7 * __builtin_sin(2 * 3.141592653589793 * 440 * t) +
                   0.3 * __builtin_sin(2 * 3.141592653589793 * 1250 * t);
        out[i] = static_cast<int16_t>(v * peak);
    }
    return out;
}

}  // namespace qmtest
