#include <cstring>

#include "input/audio.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace qm {

bool CheckWaveHeader(const std::string& path, std::string& err, int32_t& sampleRate) {
    // Only regular files: a folder would open on this system but read nothing.
    File f;
    if (!PathIsFile(path) || !f.Open(path, "rb")) {
        err = Format("打开 Wave 文件 %s 出现错误", path.c_str());
        return false;
    }
    unsigned char h[44] = {};
    size_t got = f.Read(h, sizeof h);
    f.Close();
    if (got < sizeof h || std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 12, "fmt ", 4) != 0 ||
        std::memcmp(h + 36, "data", 4) != 0) {
        err = "Incorrect wave file format";
        return false;
    }
    const int16_t channels = static_cast<int16_t>(GetU16(h + 22));
    if (channels > 1) {
        err = "The wave file can only has one track";
        return false;
    }
    if (GetU16(h + 34) != 16) {
        err = "Audio sample size must be 16bit";
        return false;
    }
    // The full 32-bit rate: 96000 Hz stays 96000 Hz.
    sampleRate = static_cast<int32_t>(GetU32(h + 24));
    return true;
}

}  // namespace qm
