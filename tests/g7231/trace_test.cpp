// Stage-by-stage comparison of the encoder's intermediate values with the
// per-frame traces of the reference encoder, when they are available.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "codec/g7231/encoder.h"
#include "g7231/reference.h"

namespace {

using qmtest::Fields;
using qmtest::Vec;

// The trace's fields in the order the encoder computes them.
Fields Mine(const qm::g7231::FrameTrace& t) {
    std::vector<long long> harmonic;
    for (const auto& h : t.harmonic) harmonic.insert(harmonic.end(), {h.lag, h.gain});
    Fields m = {{"conditioned_input", Vec(t.conditioned_input, 240)},
                {"unquantized_lpc", Vec(t.unquantized_lpc, 40)},
                {"unquantized_lsp", Vec(t.unquantized_lsp, 10)},
                {"lsp_index", {t.lsp_index}},
                {"weighting_lpc", Vec(t.weighting_lpc, 80)},
                {"weighted_speech", Vec(t.weighted_speech, 240)},
                {"open_loop_lag", Vec(t.open_loop_lag, 2)},
                {"harmonic_weighting", harmonic},
                {"harmonic_weighted_speech", Vec(t.harmonic_weighted_speech, 240)},
                {"quantized_lpc", Vec(t.quantized_lpc, 40)},
                {"closed_loop_lag", Vec(t.closed_loop_lag, 2)}};
    for (int i = 0; i < 4; ++i) {
        const auto& s = t.subframes[i];
        const std::string p = "subframes." + std::to_string(i) + ".";
        m.insert(m.end(), {{p + "impulse_response", Vec(s.impulse_response, 60)},
                           {p + "target", Vec(s.target, 60)},
                           {p + "adaptive_lag_offset", {s.adaptive_lag_offset}},
                           {p + "adaptive_gain_index", {s.adaptive_gain_index}},
                           {p + "grid", {s.grid}},
                           {p + "pulse_signs", {s.pulse_signs}},
                           {p + "pulse_positions", {s.pulse_positions}},
                           {p + "fixed_gain_index", {s.fixed_gain_index}},
                           {p + "excitation", Vec(s.excitation, 60)},
                           {p + "taming_errors", Vec(s.taming_errors, 5)}});
    }
    m.push_back({"frame_bytes", Vec(t.frame_bytes, 20)});
    return m;
}

void CompareTrace(const std::string& name) {
    const std::string dir = std::string(QM_SHARED_DIR) + "/g7231/";
    const std::string path = dir + "traces/" + name + ".trace.jsonl";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no trace for " << name;
    const std::vector<int16_t> pcm = qmtest::ReadPcm(dir + "vectors/" + name + ".s16");
    qm::g7231::Encoder enc;
    const size_t frames = qmtest::CompareTrace(path, [&](const qmtest::Flat&, size_t frame) {
        int16_t samples[240] = {};
        for (size_t i = 0; i < 240 && frame * 240 + i < pcm.size(); ++i)
            samples[i] = pcm[frame * 240 + i];
        qm::g7231::FrameTrace t;
        uint8_t bytes[20];
        enc.EncodeFrame(samples, bytes, &t);
        return Mine(t);
    });
    EXPECT_GT(frames, 0u);
}

TEST(G7231Trace, SweepMatchesStageByStage) { CompareTrace("sweep"); }
TEST(G7231Trace, SpeechMatchesStageByStage) { CompareTrace("speech_zh"); }

}  // namespace
