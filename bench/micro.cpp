// Micro-benchmarks of the pipeline's pieces: resampling per conversion,
// levelling and fades, each coder and decoder, and the text index writer.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "codec/coders.h"
#include "codec/decoders.h"
#include "codec/g7231/g7231.h"
#include "input/audio.h"
#include "material.h"
#include "platform/file.h"
#include "platform/text.h"
#include "resfile/textindex.h"

namespace {

void Resample(benchmark::State& state, int32_t from, int32_t to) {
    const auto src =
        qmbench::SpeechLike(static_cast<size_t>(from) * 10, static_cast<uint32_t>(from));
    for (auto _ : state) {
        qm::CAudioData audio;
        audio.samples = src;
        std::string err;
        audio.Normalize(20000.0f);
        audio.Fade();
        if (!audio.Resample(from, to, err)) state.SkipWithError(err.c_str());
        benchmark::DoNotOptimize(audio.samples.data());
    }
    // Seconds of audio per second of processing, as "items".
    state.SetItemsProcessed(state.iterations() * 10);
}
BENCHMARK_CAPTURE(Resample, 48k_to_16k, 48000, 16000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Resample, 44k1_to_16k, 44100, 16000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Resample, 22k05_to_8k, 22050, 8000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Resample, 8k_to_22k05, 8000, 22050)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Resample, 16k_to_16k, 16000, 16000)->Unit(benchmark::kMillisecond);

const std::vector<int16_t>& Speech8k() {
    static const auto s = qmbench::SpeechLike(8000 * 10, 8000);
    return s;
}

void ALaw(benchmark::State& state) {
    const auto& s = Speech8k();
    std::vector<unsigned char> out(s.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(
            qm::ALawEncode(s.data(), static_cast<int32_t>(s.size()), out.data()));
    state.SetItemsProcessed(state.iterations() * 10);
}
BENCHMARK(ALaw);

void Adpcm(benchmark::State& state) {
    const auto& s = Speech8k();
    std::vector<unsigned char> out(s.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(
            qm::AdpcmEncode(s.data(), static_cast<int32_t>(s.size()), out.data()));
    state.SetItemsProcessed(state.iterations() * 10);
}
BENCHMARK(Adpcm);

// The decoders, on what the coders made of the same speech. Bytes processed
// are the 16-bit samples written, to compare with a disk's speed.
void ALawDecoder(benchmark::State& state) {
    const auto& s = Speech8k();
    const auto n = static_cast<int32_t>(s.size());
    std::vector<unsigned char> coded(s.size());
    qm::ALawEncode(s.data(), n, coded.data());
    std::vector<int16_t> out(s.size());
    for (auto _ : state) benchmark::DoNotOptimize(qm::ALawDecode(coded.data(), n, out.data()));
    state.SetBytesProcessed(state.iterations() * n * 2);
}
BENCHMARK(ALawDecoder);

void AdpcmDecoder(benchmark::State& state) {
    const auto& s = Speech8k();
    const auto n = static_cast<int32_t>(s.size());
    std::vector<unsigned char> coded(s.size() / 2);
    qm::AdpcmEncode(s.data(), n, coded.data());
    std::vector<int16_t> out(s.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(qm::AdpcmDecode(coded.data(), coded.size(), n, out.data()));
    state.SetBytesProcessed(state.iterations() * n * 2);
}
BENCHMARK(AdpcmDecoder);

void G7231(benchmark::State& state) {
    const auto& s = Speech8k();
    std::vector<unsigned char> out(20 * (s.size() / 240 + 1));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            qm::G7231EncodeClip(s.data(), static_cast<int32_t>(s.size()), out.data()));
    state.SetItemsProcessed(state.iterations() * 10);
}
BENCHMARK(G7231)->Unit(benchmark::kMillisecond);

// The same through each vector path (0 portable, 1 SSE2, 2 AVX2).
void G7231Path(benchmark::State& state) {
    const auto isa = static_cast<qm::G7231Isa>(state.range(0));
    if (!qm::G7231IsaSupported(isa)) {
        state.SkipWithError("not supported here");
        return;
    }
    qm::SetG7231Isa(isa);
    const auto& s = Speech8k();
    std::vector<unsigned char> out(20 * (s.size() / 240 + 1));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            qm::G7231EncodeClip(s.data(), static_cast<int32_t>(s.size()), out.data()));
    qm::SetG7231Isa(qm::G7231Isa::Best);
    state.SetItemsProcessed(state.iterations() * 10);
}
BENCHMARK(G7231Path)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void G7231Decode(benchmark::State& state) {
    const auto& s = Speech8k();
    std::vector<unsigned char> frames(20 * ((s.size() + 239) / 240));
    const int bytes = qm::G7231EncodeClip(s.data(), static_cast<int32_t>(s.size()), frames.data());
    if (bytes < 0) state.SkipWithError("encoding failed");
    std::vector<int16_t> out(s.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(qm::G7231DecodeClip(frames.data(), static_cast<size_t>(bytes),
                                                     static_cast<int32_t>(s.size()), out.data()));
    state.SetItemsProcessed(state.iterations() * 10);
}
BENCHMARK(G7231Decode)->Unit(benchmark::kMillisecond);

void TextIndex(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    std::vector<std::string> texts(n);
    const std::string word = qm::Utf8ToCp936("音量");
    for (size_t i = 0; i < n; ++i) texts[i] = word + std::to_string(i) + "dB";
    const std::string dir = qmbench::MakeScratch();
    const std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
    for (auto _ : state) {
        qm::CTextIndex index;
        std::string err;
        for (size_t i = 0; i < n; ++i) index.AddText(texts[i], static_cast<int32_t>(i + 1), err);
        qm::File out;
        out.Open(dir + "/Prompt.idx", "wb");
        std::vector<qm::IndexText> texts;
        if (!index.WriteBlock(&out, texts, err)) state.SkipWithError(err.c_str());
        out.Close();
    }
    std::filesystem::current_path(cwd);
    qmbench::RemoveTree(dir);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}
BENCHMARK(TextIndex)->Arg(1000)->Arg(10000)->Arg(65535)->Unit(benchmark::kMillisecond);

}  // namespace
