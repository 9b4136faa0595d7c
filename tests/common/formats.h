// Clip containers, text index blocks, role frames and packages built and read
// by hand, apart from the code under test: the tests make malformed layouts
// as easily as sound ones, and check what the code writes without trusting
// its own readers. Bytes are held in std::string.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "common/testutil.h"
#include "resfile/byte_source.h"
#include "resfile/formats.h"

namespace qmtest {

// The bytes with v written little-endian in `bytes` bytes at `at`.
inline std::string Patched(std::string s, size_t at, uint32_t v, int bytes = 4) {
    std::string b;
    PutLE(b, v, bytes);
    return s.replace(at, b.size(), b);
}
inline std::string Str(const std::vector<unsigned char>& v) {
    return std::string(v.begin(), v.end());
}
// The bytes as a reader's source (the string must outlive it).
inline qm::MemorySource Source(const std::string& s) {
    return qm::MemorySource(std::span(reinterpret_cast<const unsigned char*>(s.data()), s.size()));
}

// ---- Clip containers: 40-byte header, N + 1 offsets, records (count, data).

struct ClipRecord {
    uint32_t samples = 0;
    std::string data;
    bool operator==(const ClipRecord&) const = default;
};

// Data bytes of n samples in a coding: 2 PCM16, 30 A-law, 11 IMA ADPCM, 20 G.723.1.
inline size_t CodedBytes(uint8_t coding, uint32_t n) {
    switch (coding) {
        case 2:
            return 2 * size_t{n};
        case 30:
            return n;
        case 11:
            return n / 2;
        default:
            return 20 * ((size_t{n} + 239) / 240);
    }
}

inline std::vector<ClipRecord> PcmRecords(const std::vector<std::vector<int16_t>>& clips) {
    std::vector<ClipRecord> out;
    for (const auto& c : clips) out.push_back({static_cast<uint32_t>(c.size()), PcmBytes(c)});
    return out;
}

inline std::string ClipHeaderBytes(uint8_t rateByte, uint8_t coding, uint32_t count) {
    std::string s = "Tessaphone Voice Data V3" + std::string(6, '\0');
    PutLE(s, 0x1234, 2);
    PutLE(s, 0xCCCC, 2);
    s.push_back(static_cast<char>(rateByte));
    s.push_back(static_cast<char>(coding));
    PutLE(s, count, 4);
    return s;
}

// A container whose records lie in the file in `order` (a permutation of
// their numbers; in number order when empty), each after `gap` filler bytes.
inline std::string ClipBytes(uint8_t rateByte, uint8_t coding,
                             const std::vector<ClipRecord>& records, std::vector<size_t> order = {},
                             size_t gap = 0) {
    const size_t n = records.size();
    if (order.empty()) {
        order.resize(n);
        std::iota(order.begin(), order.end(), size_t{0});
    }
    std::string s = ClipHeaderBytes(rateByte, coding, static_cast<uint32_t>(n));
    s += std::string(4 * (n + 1), '\0');
    for (size_t k : order) {
        s += std::string(gap, '\x5A');
        const auto at = static_cast<uint32_t>(s.size());
        s = Patched(std::move(s), 40 + 4 * k, at);
        PutLE(s, records[k].samples, 4);
        s += records[k].data;
    }
    const auto end = static_cast<uint32_t>(s.size());
    return Patched(std::move(s), 40 + 4 * n, end);
}
// A container of records of these sample counts with filler data of the coding's size.
inline std::string FillerClips(uint8_t rateByte, uint8_t coding,
                               const std::vector<uint32_t>& counts) {
    std::vector<ClipRecord> records;
    for (uint32_t n : counts) {
        std::string d(CodedBytes(coding, n), '\0');
        for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<char>(i * 7 + n);
        records.push_back({n, d});
    }
    return ClipBytes(rateByte, coding, records);
}

// ---- Text index blocks, of texts made of one segment of class 5 (letters).

inline std::string TextIndexBytes(const std::vector<std::string>& texts) {
    std::string s = "TSPTMBGDV4";
    PutLE(s, 40, 2);
    const uint32_t n = static_cast<uint32_t>(texts.size());
    const uint32_t offTab = 344 + 2 * n, lenTab = offTab + 4 * n, pool = lenTab + 2 * n;
    for (uint32_t v : {pool, offTab, lenTab, n ? 344u : 0u}) PutLE(s, v, 4);
    PutLE(s, 0, 2);
    PutLE(s, n, 2);
    for (int b = 1; b < 40; ++b) {
        PutLE(s, 0, 4);
        PutLE(s, n, 2);
        PutLE(s, 0, 2);
    }
    for (const std::string& t : texts) {
        s.push_back(5);
        s.push_back(static_cast<char>(t.size()));
    }
    uint32_t p = 0;
    for (const std::string& t : texts) {
        PutLE(s, p, 4);
        p += 2 * static_cast<uint32_t>(t.size());
    }
    for (const std::string& t : texts) PutLE(s, static_cast<uint32_t>(t.size()), 2);
    for (const std::string& t : texts)
        for (char c : t) PutLE(s, static_cast<unsigned char>(c), 2);
    return s;
}

// ---- Role frames: a 1024-byte header, a role table, the blocks back to back.

inline std::string RoleIndexBytes(const std::vector<int32_t>& ids,
                                  const std::vector<std::string>& blocks) {
    std::string s("kdResV6\0", 8);
    s += std::string(16, '\0');
    uint32_t total = 1024 + 12 * static_cast<uint32_t>(ids.size());
    for (const std::string& b : blocks) total += static_cast<uint32_t>(b.size());
    PutLE(s, static_cast<uint32_t>(ids.size()), 4);
    PutLE(s, total, 4);
    s += std::string(992, '\0');
    uint32_t at = 1024 + 12 * static_cast<uint32_t>(ids.size());
    for (size_t k = 0; k < ids.size(); ++k) {
        PutLE(s, static_cast<uint32_t>(ids[k]), 4);
        PutLE(s, at, 4);
        PutLE(s, static_cast<uint32_t>(blocks[k].size()), 4);
        at += static_cast<uint32_t>(blocks[k].size());
    }
    for (const std::string& b : blocks) s += b;
    return s;
}

inline std::string RoleClipBytes(const std::vector<std::string>& containers) {
    const uint32_t roles = static_cast<uint32_t>(containers.size());
    std::string s = ClipHeaderBytes(16, 0, roles);
    uint32_t total = 1024 + 8 * roles;
    for (const std::string& c : containers) total += static_cast<uint32_t>(c.size());
    PutLE(s, total, 4);
    s += std::string(1024 - 44, '\0');
    uint32_t at = 1024 + 8 * roles;
    for (const std::string& c : containers) {
        PutLE(s, at, 4);
        PutLE(s, static_cast<uint32_t>(c.size()), 4);
        at += static_cast<uint32_t>(c.size());
    }
    for (const std::string& c : containers) s += c;
    return s;
}

// ---- Packages: 16-byte header, 24-byte entries, resource data.

struct RawEntry {
    qm::ResourceId id{};
    uint32_t offset = 0;
    uint32_t size = 0;
    bool operator==(const RawEntry&) const = default;
};

// Header and directory as given (count defaults to the entries'), then body.
inline std::string RawPackage(uint32_t dataEnd, const std::vector<RawEntry>& entries,
                              const std::string& body, uint32_t count = 0xFFFFFFFF) {
    std::string s("TsResV4\0", 8);
    PutLE(s, dataEnd, 4);
    PutLE(s, count == 0xFFFFFFFF ? static_cast<uint32_t>(entries.size()) : count, 4);
    for (const RawEntry& e : entries) {
        s.append(reinterpret_cast<const char*>(e.id.data()), e.id.size());
        PutLE(s, e.offset, 4);
        PutLE(s, e.size, 4);
    }
    return s + body;
}

// A well-formed package: resources back to back after the directory, each
// after gapBefore filler bytes.
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

}  // namespace qmtest
