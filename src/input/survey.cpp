#include "input/survey.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qm {

namespace {

// Length of the valid UTF-8 sequence at p (2 to 4), or 0.
size_t Utf8Sequence(const unsigned char* p, size_t n) {
    size_t len = 0;
    if (p[0] >= 0xC2 && p[0] <= 0xDF) {
        len = 2;
    } else if (p[0] >= 0xE0 && p[0] <= 0xEF) {
        len = 3;
    } else if (p[0] >= 0xF0 && p[0] <= 0xF4) {
        len = 4;
    } else {
        return 0;
    }
    if (n < len) return 0;
    for (size_t i = 1; i < len; ++i)
        if ((p[i] & 0xC0) != 0x80) return 0;
    return len;
}

}  // namespace

std::string GuessListEncoding(const std::string& path, std::string& why) {
    File f;
    if (!PathIsFile(path) || !f.Open(path, "rb")) return "";
    std::vector<unsigned char> b(static_cast<size_t>(std::max<int64_t>(f.Size(), 0)));
    b.resize(f.Read(b.data(), b.size()));
    const size_t n = b.size();
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        why = "it starts with the UTF-8 byte-order mark EF BB BF";
        return "UTF-8";
    }
    if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        why = "it starts with a UTF-16 byte-order mark";
        return "UTF-16";
    }
    size_t evenNul = 0, oddNul = 0;
    for (size_t i = 0; i < n; ++i)
        if (b[i] == 0) ++(i % 2 == 0 ? evenNul : oddNul);
    if (n >= 4 && (evenNul * 4 >= n || oddNul * 4 >= n)) {
        why = "NUL bytes fill every other place, as in UTF-16 text";
        return "UTF-16";
    }
    size_t sequences = 0;
    for (size_t i = 0; i < n;) {
        if (b[i] < 0x80) {
            ++i;
            continue;
        }
        const size_t len = Utf8Sequence(b.data() + i, n - i);
        if (len == 0) return "";
        ++sequences;
        i += len;
    }
    if (sequences > 0) {
        why = Format("all of its %zu non-ASCII characters are valid UTF-8 sequences", sequences);
        return "UTF-8";
    }
    return "";
}

bool WaveDataSizes(const std::string& path, uint64_t& claimed, uint64_t& held) {
    File f;
    if (!PathIsFile(path) || !f.Open(path, "rb")) return false;
    const int64_t size = f.Size();
    unsigned char h[44] = {};
    if (size < 44 || !f.ReadExact(h, sizeof h)) return false;
    claimed = GetU32(h + 40) / 2;
    held = static_cast<uint64_t>(size - 44) / 2;
    return true;
}

bool MeasureRecording(const std::string& path, AudioKind kind, AudioLevels& levels) {
    levels = AudioLevels();
    CAudioData audio;
    std::string err;
    if (!audio.Load(path, kind, err)) return false;
    const std::vector<int16_t>& s = audio.samples;
    levels.samples = s.size();
    int64_t sum = 0;
    uint32_t run = 0;
    for (const int16_t v : s) {
        const int32_t a = std::abs(static_cast<int32_t>(v));
        if (a > levels.peak) levels.peak = a;
        sum += v;
        if (a >= kClipLevel) {
            if (++run == kClipRun) ++levels.clippedRuns;
        } else {
            run = 0;
        }
    }
    if (!s.empty()) levels.mean = static_cast<double>(sum) / static_cast<double>(s.size());
    while (levels.leadingQuiet < s.size() && std::abs(s[levels.leadingQuiet]) < kQuietLevel)
        ++levels.leadingQuiet;
    if (levels.leadingQuiet < s.size()) {
        while (std::abs(s[s.size() - 1 - levels.trailingQuiet]) < kQuietLevel)
            ++levels.trailingQuiet;
    }
    return true;
}

size_t CharacterCount(const std::string& text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++n)
        i += static_cast<unsigned char>(text[i]) >= 0x81 && i + 1 < text.size() ? 2 : 1;
    return n;
}

}  // namespace qm
