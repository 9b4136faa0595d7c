// Package bytes built by hand for the resource-file tests, so that malformed
// layouts can be made as easily as sound ones.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/testutil.h"
#include "resfile/formats.h"

namespace qmtest {

struct RawEntry {
    qm::ResourceId id{};
    uint32_t offset = 0;
    uint32_t size = 0;
};

inline std::string IdBytes(const qm::ResourceId& id) {
    return std::string(reinterpret_cast<const char*>(id.data()), id.size());
}

// Header and directory as given, followed by body (which starts at the end of
// the directory).
inline std::string RawPackage(uint32_t dataEnd, const std::vector<RawEntry>& entries,
                              const std::string& body, uint32_t count = 0xFFFFFFFF) {
    std::string s("TsResV4\0", 8);
    PutLE(s, dataEnd, 4);
    PutLE(s, count == 0xFFFFFFFF ? static_cast<uint32_t>(entries.size()) : count, 4);
    for (const RawEntry& e : entries) {
        s += IdBytes(e.id);
        PutLE(s, e.offset, 4);
        PutLE(s, e.size, 4);
    }
    return s + body;
}

// A well-formed package: resources back to back, each optionally preceded by
// a gap of filler bytes.
struct Res {
    qm::ResourceId id{};
    std::string data;
    size_t gapBefore = 0;
};
inline std::string Package(const std::vector<Res>& resources,
                           std::vector<RawEntry>* layout = nullptr) {
    uint32_t pos = 16 + 24 * static_cast<uint32_t>(resources.size());
    std::vector<RawEntry> entries;
    std::string body;
    for (const Res& r : resources) {
        body += std::string(r.gapBefore, '\x77');
        pos += static_cast<uint32_t>(r.gapBefore);
        entries.push_back({r.id, pos, static_cast<uint32_t>(r.data.size())});
        body += r.data;
        pos += static_cast<uint32_t>(r.data.size());
    }
    if (layout) *layout = entries;
    return RawPackage(pos, entries, body);
}

// A clip container header with a rate byte and coding byte, followed by a
// table and records for the given sample counts (data bytes per the coding).
inline std::string ClipContainer(uint8_t rateByte, uint8_t coding,
                                 const std::vector<uint32_t>& samples) {
    std::string s = "Tessaphone Voice Data V3";
    s += std::string(6, '\0');
    PutLE(s, 0x1234, 2);
    PutLE(s, 0xCCCC, 2);
    s.push_back(static_cast<char>(rateByte));
    s.push_back(static_cast<char>(coding));
    PutLE(s, static_cast<uint32_t>(samples.size()), 4);
    std::vector<std::string> records;
    for (uint32_t n : samples) {
        std::string r;
        PutLE(r, n, 4);
        size_t bytes = coding == qm::CODING_PCM16       ? 2 * size_t{n}
                       : coding == qm::CODING_ALAW      ? n
                       : coding == qm::CODING_IMA_ADPCM ? n / 2
                                                        : 20 * ((size_t{n} + 239) / 240);
        for (size_t i = 0; i < bytes; ++i) r.push_back(static_cast<char>(i * 7 + n));
        records.push_back(r);
    }
    uint32_t pos = 40 + 4 * static_cast<uint32_t>(samples.size() + 1);
    for (const std::string& r : records) {
        PutLE(s, pos, 4);
        pos += static_cast<uint32_t>(r.size());
    }
    PutLE(s, pos, 4);
    for (const std::string& r : records) s += r;
    return s;
}

// Makes writes beyond bytes fail with EFBIG instead of raising SIGXFSZ; for
// use inside a death-test child only.
inline void LimitFileSize(rlim_t bytes) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &lim);
}

}  // namespace qmtest
