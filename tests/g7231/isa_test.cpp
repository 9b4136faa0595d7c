// Every vector path of the encoder, and the saturating arithmetic that the
// shortcuts stand in for, against the portable path on a corpus loud enough
// that the shortcuts' bounds fail in many places: synthesised and recorded
// speech, loud and quiet, noise, tones, full-scale squares, impulses, abrupt
// switches between extremes and lengths that are not whole frames.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "codec/g7231/encoder.h"
#include "codec/g7231/g7231.h"
#include "g7231/reference.h"

namespace {

using qm::G7231Isa;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

struct Clip {
    std::string name;
    std::vector<int16_t> pcm;
};

int16_t Clamp(double v) {
    return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
}

// Speech from the installed synthesiser at 22,050 Hz, read as 8 kHz by
// linear interpolation; empty when the synthesiser is missing.
std::vector<int16_t> Speak(const std::string& voice, const std::string& text) {
    const std::string cmd = "espeak-ng --stdout -v " + voice + " \"" + text + "\" 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr) return {};
    std::string raw;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) raw.append(buf, n);
    ::pclose(p);
    if (raw.size() <= 44) return {};
    const std::vector<int16_t> in = qmtest::PcmSamples(raw, 44);
    std::vector<int16_t> out;
    for (double t = 0; t + 1 < static_cast<double>(in.size()); t += 22050.0 / 8000.0) {
        const size_t k = static_cast<size_t>(t);
        const double f = t - static_cast<double>(k);
        out.push_back(Clamp(in[k] * (1 - f) + in[k + 1] * f));
    }
    return out;
}

std::vector<int16_t> Scaled(const std::vector<int16_t>& v, double gain) {
    std::vector<int16_t> out(v.size());
    for (size_t i = 0; i < v.size(); ++i) out[i] = Clamp(v[i] * gain);
    return out;
}

std::vector<Clip> Corpus() {
    std::vector<Clip> corpus;
    // Speech: several languages, as spoken, far too loud (clipped) and very quiet.
    const struct {
        const char* voice;
        const char* text;
    } lines[] = {
        {"en", "The quick brown fox jumps over the lazy dog."},
        {"de", "Zwölf Boxkämpfer jagen Viktor quer über den großen Sylter Deich."},
        {"fr", "Portez ce vieux whisky au juge blond qui fume."},
        {"cmn", "ni hao, qing zai shuo yi bian."},
        {"es", "El veloz murciélago hindú comía feliz cardillo y kiwi."},
    };
    const size_t voices = kSanitized ? 2 : std::size(lines);
    for (size_t i = 0; i < voices; ++i) {
        const std::vector<int16_t> s = Speak(lines[i].voice, lines[i].text);
        if (s.empty()) continue;
        const std::string name = std::string("speech_") + lines[i].voice;
        corpus.push_back({name, s});
        corpus.push_back({name + "_loud", Scaled(s, 8.0)});
        corpus.push_back({name + "_quiet", Scaled(s, 1.0 / 64)});
    }
    // Forty frames of recorded speech, as it is and amplified 4 and 16 times.
    std::vector<int16_t> speech =
        qmtest::ReadPcm(std::string(QM_TEST_DATA) + "/g7231/speech_en.s16");
    speech.resize(240 * 40);
    for (int gain : {1, 4, 16})
        corpus.push_back({"recorded_x" + std::to_string(gain), Scaled(speech, gain)});
    uint32_t seed = 12345;
    auto noise = [&] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int16_t>(seed >> 16);
    };
    const size_t n = kSanitized ? 4000 : 12000;
    Clip white{"noise_full", {}}, quiet{"noise_quiet", {}};
    for (size_t i = 0; i < n; ++i) {
        white.pcm.push_back(noise());
        quiet.pcm.push_back(static_cast<int16_t>(noise() >> 10));
    }
    corpus.push_back(white);
    corpus.push_back(quiet);
    for (double hz : {50.0, 440.0, 1000.0, 3333.0, 3990.0}) {
        Clip tone{"tone_" + std::to_string(static_cast<int>(hz)), {}};
        for (size_t i = 0; i < n / 2; ++i)
            tone.pcm.push_back(
                Clamp(32767 * std::sin(2 * M_PI * hz * static_cast<double>(i) / 8000)));
        corpus.push_back(tone);
    }
    for (size_t period : {4, 37, 160, 291}) {
        Clip square{"square_" + std::to_string(period), {}};
        for (size_t i = 0; i < n / 2; ++i)
            square.pcm.push_back((i / (period / 2 + 1)) % 2 ? int16_t{-32768} : int16_t{32767});
        corpus.push_back(square);
    }
    Clip clicks{"impulses", {}}, steps{"switches", {}}, blocks{"extremes", {}};
    for (size_t i = 0; i < n / 2; ++i)
        clicks.pcm.push_back(i % 173 == 0 ? (i % 2 ? int16_t{-32768} : int16_t{32767})
                                          : int16_t{0});
    // Silence, full-scale noise, a tone and silence again, switched mid-frame.
    for (size_t i = 0; i < n; ++i) {
        const size_t part = i * 4 / n;
        steps.pcm.push_back(part == 1   ? noise()
                            : part == 2 ? Clamp(30000 * std::sin(0.3 * static_cast<double>(i)))
                                        : int16_t{0});
    }
    // Blocks of 100 to 399 samples of silence, the lowest value, alternating
    // extremes or noise, in a random order.
    for (int block = 0; block < 24; ++block) {
        const int kind = noise() & 3, len = 100 + (noise() & 0x7FFF) % 300;
        for (int i = 0; i < len; ++i)
            blocks.pcm.push_back(kind == 1   ? int16_t{-32768}
                                 : kind == 2 ? (i % 2 ? int16_t{32767} : int16_t{-32768})
                                 : kind == 3 ? noise()
                                             : int16_t{0});
    }
    corpus.insert(corpus.end(), {clicks, steps, blocks});
    // Lengths that are not whole frames, cut from the speech or the noise (a
    // copy: the corpus grows while they are cut).
    const std::vector<int16_t> src = corpus.front().pcm;
    for (size_t len : {size_t{1}, size_t{239}, size_t{241}, size_t{1000}, size_t{2401}})
        corpus.push_back(
            {"cut_" + std::to_string(len),
             std::vector<int16_t>(src.begin(), src.begin() + std::min(len, src.size()))});
    return corpus;
}

std::vector<uint8_t> Encode(const std::vector<int16_t>& pcm, bool fast = true) {
    std::vector<uint8_t> out((pcm.size() + 239) / 240 * 20);
    if (fast) {
        const int r = qm::G7231EncodeClip(pcm.data(), static_cast<int32_t>(pcm.size()), out.data());
        EXPECT_EQ(r, static_cast<int>(out.size()));
        return out;
    }
    qm::g7231::Encoder encoder;
    encoder.SetFastPaths(false);
    for (size_t f = 0; f < out.size() / 20; ++f) {
        int16_t frame[240] = {};
        for (size_t i = 0; i < 240 && 240 * f + i < pcm.size(); ++i) frame[i] = pcm[240 * f + i];
        encoder.EncodeFrame(frame, out.data() + 20 * f);
    }
    EXPECT_FALSE(encoder.fault());
    return out;
}

struct RestoreIsa {
    ~RestoreIsa() { qm::SetG7231Isa(G7231Isa::Best); }
};

TEST(G7231Isa, PathsSelectOnlyWhatTheMachineHas) {
    RestoreIsa restore;
    EXPECT_TRUE(qm::G7231IsaSupported(G7231Isa::Portable));
    EXPECT_EQ(qm::SetG7231Isa(G7231Isa::Portable), G7231Isa::Portable);
    for (G7231Isa isa : {G7231Isa::Sse2, G7231Isa::Avx2})
        EXPECT_EQ(qm::SetG7231Isa(isa), qm::G7231IsaSupported(isa) ? isa : G7231Isa::Portable);
    const G7231Isa best = qm::SetG7231Isa(G7231Isa::Best);
    EXPECT_NE(best, G7231Isa::Best);
    EXPECT_TRUE(qm::G7231IsaSupported(best));
}

TEST(G7231Isa, EveryPathCodesTheCorpusAlike) {
    RestoreIsa restore;
    const std::vector<Clip> corpus = Corpus();
    ASSERT_GE(corpus.size(), 15u);
    for (const Clip& clip : corpus) {
        SCOPED_TRACE(clip.name);
        qm::SetG7231Isa(G7231Isa::Portable);
        const std::vector<uint8_t> portable = Encode(clip.pcm);
        // The saturating path, too, on the same material.
        EXPECT_EQ(Encode(clip.pcm, false), portable);
        for (G7231Isa isa : {G7231Isa::Sse2, G7231Isa::Avx2}) {
            if (!qm::G7231IsaSupported(isa)) continue;
            qm::SetG7231Isa(isa);
            EXPECT_EQ(Encode(clip.pcm), portable) << "path " << static_cast<int>(isa);
        }
    }
}

}  // namespace
