#include "material.h"

#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/text.h"
#include "resfile/package.h"

namespace qmbench {

std::vector<int16_t> SpeechLike(size_t n, uint32_t rate, uint32_t seed) {
    std::vector<int16_t> out(n);
    uint32_t noise = seed * 2654435761u + 1;
    double y1 = 0, y2 = 0, z1 = 0, z2 = 0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double pitch = 110 + 30 * std::sin(2 * M_PI * 0.7 * t);
        const double phase = std::fmod(t * pitch, 1.0);
        noise = noise * 1664525u + 1013904223u;
        const double excitation = (phase < 0.02 ? 1.0 : 0.0) + 0.02 * ((noise >> 16) / 32768.0 - 1);
        // Two resonators whose centre frequencies wander like formants.
        const double f1 = 500 + 200 * std::sin(2 * M_PI * 1.3 * t);
        const double f2 = 1500 + 500 * std::sin(2 * M_PI * 0.9 * t + 1);
        const double r = 0.97;
        const double a1 = 2 * r * std::cos(2 * M_PI * f1 / rate), b1 = -r * r;
        const double a2 = 2 * r * std::cos(2 * M_PI * f2 / rate), b2 = -r * r;
        const double y = excitation + a1 * y1 + b1 * y2;
        y2 = y1;
        y1 = y;
        const double z = excitation + a2 * z1 + b2 * z2;
        z2 = z1;
        z1 = z;
        const double envelope = 0.55 + 0.45 * std::sin(2 * M_PI * 3.0 * t);
        double v = (y + 0.6 * z) * envelope * 900.0;
        out[i] = static_cast<int16_t>(std::max(-32000.0, std::min(32000.0, v)));
    }
    return out;
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& samples, uint32_t rate) {
    std::string h = "RIFF";
    auto put = [&h](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) h.push_back(static_cast<char>(v >> (8 * i)));
    };
    const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    put(36 + data, 4);
    h += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(1, 2);
    put(rate, 4);
    put(rate * 2, 4);
    put(2, 2);
    put(16, 2);
    h += "data";
    put(data, 4);
    std::ofstream f(path, std::ios::binary);
    f.write(h.data(), static_cast<std::streamsize>(h.size()));
    f.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(data));
    return static_cast<bool>(f);
}

std::string MakeAudioFolder(const std::string& root, size_t prompts, size_t samples, uint32_t rate,
                            int32_t packageRate) {
    const std::string audio = root + "/audio";
    std::filesystem::create_directories(audio);
    std::string texts, waves;
    const std::string word = qm::Utf8ToCp936("提示音");
    // A few distinct recordings are enough; the lists name them many times.
    const size_t distinct = std::min<size_t>(prompts, 16);
    for (size_t k = 0; k < distinct; ++k)
        WriteWav(audio + "/v" + std::to_string(k) + ".wav", SpeechLike(samples, rate, 7 + k), rate);
    for (size_t i = 0; i < prompts; ++i) {
        texts += word + std::to_string(i) + "\r\n";
        waves += "v" + std::to_string(i % distinct) + ".wav\r\n";
    }
    std::ofstream(audio + "/TextList.txt", std::ios::binary) << texts;
    std::ofstream(audio + "/WaveList.txt", std::ios::binary) << waves;
    const std::string pkg = root + "/in.irf";
    std::string err;
    if (!qm::WriteSkeletonPackage(pkg, packageRate, 1, err))
        std::fprintf(stderr, "%s\n", err.c_str());
    return pkg;
}

std::string MakeScratch() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "qmbench-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    return ::mkdtemp(buf.data()) ? std::string(buf.data()) : std::string();
}

void RemoveTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

}  // namespace qmbench
