// Demo helper: converts a canonical 16-bit mono WAV file to another sample
// rate (linear interpolation) and writes it as WAV or as raw ".pcm" samples.
// Only used to prepare demo recordings at mixed rates.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint32_t U32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
void Put32(std::vector<unsigned char>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<unsigned char>(x >> (8 * i)));
}
void Put16(std::vector<unsigned char>& v, uint16_t x) {
    v.push_back(static_cast<unsigned char>(x));
    v.push_back(static_cast<unsigned char>(x >> 8));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: wavtool IN.wav RATE OUT.wav|OUT.pcm\n");
        return 2;
    }
    FILE* in = std::fopen(argv[1], "rb");
    if (!in) return std::perror(argv[1]), 1;
    std::vector<unsigned char> bytes;
    unsigned char buf[65536];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, in)) > 0)
        bytes.insert(bytes.end(), buf, buf + got);
    std::fclose(in);
    // Find the "fmt " and "data" chunks.
    uint32_t rate = 0;
    const unsigned char* data = nullptr;
    uint32_t dataSize = 0;
    for (size_t pos = 12; pos + 8 <= bytes.size();) {
        uint32_t size = U32(&bytes[pos + 4]);
        if (std::memcmp(&bytes[pos], "fmt ", 4) == 0 && pos + 16 <= bytes.size()) {
            rate = U32(&bytes[pos + 12]);
        } else if (std::memcmp(&bytes[pos], "data", 4) == 0) {
            data = &bytes[pos + 8];
            dataSize = static_cast<uint32_t>(std::min<size_t>(size, bytes.size() - pos - 8));
            break;
        }
        pos += 8 + size + (size & 1);
    }
    if (!rate || !data) return std::fprintf(stderr, "%s: not a WAV file\n", argv[1]), 1;
    std::vector<int16_t> src(dataSize / 2);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<int16_t>(data[2 * i] | data[2 * i + 1] << 8);
    const uint32_t target = static_cast<uint32_t>(std::atoi(argv[2]));
    const size_t n = src.empty() ? 0 : static_cast<size_t>(uint64_t(src.size()) * target / rate);
    std::vector<unsigned char> out;
    const std::string name = argv[3];
    const bool wav = name.size() < 4 || name.substr(name.size() - 4) != ".pcm";
    if (wav) {
        out.insert(out.end(), {'R', 'I', 'F', 'F'});
        Put32(out, static_cast<uint32_t>(36 + 2 * n));
        out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
        Put32(out, 16);
        Put16(out, 1);
        Put16(out, 1);
        Put32(out, target);
        Put32(out, target * 2);
        Put16(out, 2);
        Put16(out, 16);
        out.insert(out.end(), {'d', 'a', 't', 'a'});
        Put32(out, static_cast<uint32_t>(2 * n));
    }
    for (size_t i = 0; i < n; ++i) {
        double t = double(i) * rate / target;
        size_t k = static_cast<size_t>(t);
        double f = t - double(k);
        double a = src[std::min(k, src.size() - 1)], b = src[std::min(k + 1, src.size() - 1)];
        Put16(out, static_cast<uint16_t>(static_cast<int16_t>(a + (b - a) * f)));
    }
    FILE* o = std::fopen(argv[3], "wb");
    if (!o || std::fwrite(out.data(), 1, out.size(), o) != out.size() || std::fclose(o) != 0)
        return std::perror(argv[3]), 1;
    return 0;
}
