#include <cerrno>
#include <cstring>

#include "input/audio.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qm {

namespace {

constexpr size_t kHeaderSize = 44;
constexpr const char* kConformHint =
    "save it as 16-bit mono PCM WAV with a plain 44-byte header, or run `quillmark-cli conform`";

// Four bytes of a chunk id as text, unprintable bytes as \xNN.
std::string ChunkId(const unsigned char* p) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        if (p[i] >= 0x20 && p[i] < 0x7F) {
            s.push_back(static_cast<char>(p[i]));
        } else {
            s += Format("\\x%02X", p[i]);
        }
    }
    return "'" + s + "'";
}

std::string FormatTagName(uint16_t tag) {
    switch (tag) {
        case 1:
            return "format tag 1, PCM";
        case 3:
            return "format tag 3, floating point";
        case 6:
            return "format tag 6, A-law";
        case 7:
            return "format tag 7, mu-law";
        case 0x11:
            return "format tag 0x11, IMA ADPCM";
        case 0xFFFE:
            return "format tag 0xFFFE, extensible";
        default:
            return Format("format tag %u", tag);
    }
}

// Why a file that does not start as a canonical WAV header is refused.
std::string ForeignKind(const unsigned char* h, size_t got) {
    if (got >= 4 && std::memcmp(h, "fLaC", 4) == 0) return "it is a FLAC file, not a WAV file";
    if (got >= 4 && std::memcmp(h, "OggS", 4) == 0) return "it is an Ogg file, not a WAV file";
    if (got >= 3 && std::memcmp(h, "ID3", 3) == 0) return "it is an MP3 file, not a WAV file";
    if (got >= 2 && h[0] == 0xFF && (h[1] & 0xE0) == 0xE0)
        return "it is an MP3 file, not a WAV file";
    if (got >= 4 && (std::memcmp(h, "RIFX", 4) == 0 || std::memcmp(h, "RF64", 4) == 0))
        return "it is a " + ChunkId(h) + " file, a WAV variant this tool does not read";
    return "it does not start with 'RIFF' but with " + ChunkId(h);
}

void Explain(Problem* why, const char* word, std::string reason, const char* hint = kConformHint) {
    if (why == nullptr) return;
    why->word = word;
    why->reason = std::move(reason);
    why->hint = hint;
}

}  // namespace

bool CheckWaveHeader(const std::string& path, std::string& err, int32_t& sampleRate, Problem* why) {
    // Only regular files: a folder would open on this system but read nothing.
    File f;
    if (!PathIsFile(path)) {
        err = Format("打开 Wave 文件 %s 出现错误", path.c_str());
        Explain(why, "wav-open", "it is not a regular file", "list a WAV file, not a folder");
        return false;
    }
    if (!f.Open(path, "rb")) {
        const int e = errno;
        err = Format("打开 Wave 文件 %s 出现错误", path.c_str());
        Explain(why, "wav-open", std::string("it cannot be opened: ") + std::strerror(e),
                "make the file readable");
        return false;
    }
    unsigned char h[kHeaderSize] = {};
    size_t got = f.Read(h, sizeof h);
    f.Close();
    if (got < sizeof h || std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 12, "fmt ", 4) != 0 ||
        std::memcmp(h + 36, "data", 4) != 0) {
        err = "Incorrect wave file format";
        if (got < sizeof h && (got < 4 || std::memcmp(h, "RIFF", 4) == 0)) {
            Explain(why, "wav-short",
                    Format("the file is %zu bytes, shorter than a WAV header (44 bytes)", got));
        } else if (std::memcmp(h, "RIFF", 4) != 0) {
            Explain(why, "wav-foreign", ForeignKind(h, got));
        } else if (std::memcmp(h + 12, "fmt ", 4) != 0) {
            Explain(why, "wav-format",
                    "the chunk at byte 12 is " + ChunkId(h + 12) + ", not 'fmt '");
        } else if (GetU32(h + 16) != 16) {
            Explain(why, "wav-format",
                    Format("the format chunk is %u bytes, not 16 (%s)", GetU32(h + 16),
                           FormatTagName(GetU16(h + 20)).c_str()));
        } else {
            Explain(why, "wav-format",
                    "a " + ChunkId(h + 36) + " chunk comes before 'data' at byte 36");
        }
        return false;
    }
    const int16_t channels = static_cast<int16_t>(GetU16(h + 22));
    if (channels > 1) {
        err = "The wave file can only has one track";
        Explain(why, "wav-channels", Format("%d channels", channels));
        return false;
    }
    if (GetU16(h + 34) != 16) {
        err = "Audio sample size must be 16bit";
        Explain(why, "wav-bits",
                Format("%u bits per sample (%s)", GetU16(h + 34),
                       FormatTagName(GetU16(h + 20)).c_str()));
        return false;
    }
    // The full 32-bit rate: 96000 Hz stays 96000 Hz.
    sampleRate = static_cast<int32_t>(GetU32(h + 24));
    return true;
}

}  // namespace qm
