// Stage-by-stage comparison of the encoder's and the decoder's intermediate
// values with the per-frame traces of the reference coders.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "codec/g7231/decoder.h"
#include "codec/g7231/encoder.h"
#include "g7231/reference.h"

namespace {

using qm::g7231::DecoderFrameTrace;
using qmtest::Fields;
using qmtest::Vec;

// The trace's fields in the order the encoder computes them.
Fields EncoderFields(const qm::g7231::FrameTrace& t) {
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

void CompareEncoderTrace(const std::string& name) {
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
        return EncoderFields(t);
    });
    EXPECT_GT(frames, 0u);
}

TEST(G7231Trace, SweepMatchesStageByStage) { CompareEncoderTrace("sweep"); }
TEST(G7231Trace, SpeechMatchesStageByStage) { CompareEncoderTrace("speech_zh"); }

// The trace's fields in the order the decoder computes them; those that do
// not exist for an invalid frame are empty then, as the trace has them null.
Fields DecoderFields(const DecoderFrameTrace& t, const uint8_t* bytes) {
    const auto valid = [&](std::vector<long long> v) {
        return t.valid ? v : std::vector<long long>{};
    };
    Fields m = {{"frame_bytes", Vec(bytes, 20)},
                {"valid", {t.valid ? 1 : 0}},
                {"lsp_index", valid({t.fields.lsp_index})},
                {"closed_loop_lag", valid(Vec(t.fields.lag, 2))},
                {"erasure_count", {t.erasure_count}},
                {"decoded_lsp", Vec(t.decoded_lsp, 10)},
                {"quantized_lpc", Vec(t.quantized_lpc, 40)}};
    const auto sub = [](int i, const char* k) {
        return "subframes." + std::to_string(i) + "." + k;
    };
    for (int i = 0; i < 4; ++i) {
        const auto& s = t.subframes[i];
        const auto& f = t.fields.sf[i];
        m.insert(m.end(), {{sub(i, "adaptive_lag_offset"), valid({f.lag_offset})},
                           {sub(i, "adaptive_gain_index"), valid({f.gain_index})},
                           {sub(i, "fixed_gain_index"), valid({f.fixed_gain})},
                           {sub(i, "grid"), valid({f.grid})},
                           {sub(i, "pulse_signs"), valid({f.signs})},
                           {sub(i, "pulse_positions"), valid({f.positions})},
                           {sub(i, "pitch_lag"), valid({s.pitch_lag})},
                           {sub(i, "fixed_excitation"), valid(Vec(s.fixed_excitation, 60))},
                           {sub(i, "adaptive_excitation"), valid(Vec(s.adaptive_excitation, 60))},
                           {sub(i, "excitation"), Vec(s.excitation, 60)}});
    }
    m.insert(m.end(), {{"excitation_norm_shift", valid({t.excitation_norm_shift})},
                       {"interpolation_gain", {t.interpolation_gain}},
                       {"voicing_lag", {t.voicing_lag}}});
    for (int i = 0; i < 4; ++i) {
        const auto& s = t.subframes[i];
        const auto& pf = s.pitch_postfilter;
        m.insert(m.end(), {{sub(i, "pitch_postfilter"), {}},
                           {sub(i, "pitch_postfilter.backward_lag"), valid({pf.backward_lag})},
                           {sub(i, "pitch_postfilter.forward_lag"), valid({pf.forward_lag})},
                           {sub(i, "pitch_postfilter.lag"), valid({pf.lag})},
                           {sub(i, "pitch_postfilter.gain"), valid({pf.gain})},
                           {sub(i, "pitch_postfilter.scale"), valid({pf.scale})},
                           {sub(i, "postfiltered_excitation"), Vec(s.postfiltered_excitation, 60)},
                           {sub(i, "synthesis"), Vec(s.synthesis, 60)},
                           {sub(i, "synthesis_energy"), {s.synthesis_energy}},
                           {sub(i, "formant_postfiltered"), Vec(s.formant_postfiltered, 60)},
                           {sub(i, "tilt_parcor"), {s.tilt_parcor}},
                           {sub(i, "scale_gain"), {s.scale_gain}},
                           {sub(i, "gain_state"), {s.gain_state}},
                           {sub(i, "output"), Vec(s.output, 60)}});
    }
    m.insert(m.end(), {{"random_seed", {t.random_seed}},
                       {"excitation_history", Vec(t.excitation_history, 145)}});
    return m;
}

// Decodes the frames the trace holds; returns the number of invalid frames.
int CompareDecoderTrace(const std::string& name) {
    std::string path = std::string(QM_TEST_DATA) + "/g7231_decoder/" + name + ".trace.jsonl";
    if (!std::filesystem::exists(path))
        path = std::string(QM_SHARED_DIR) + "/g7231/decoder/traces/" + name + ".trace.jsonl";
    qm::g7231::Decoder dec;
    int invalid = 0;
    const size_t frames = qmtest::CompareTrace(path, [&](const qmtest::Flat& ref, size_t) {
        uint8_t bytes[20] = {};
        const std::vector<long long>& hex = ref.at("frame_bytes");
        EXPECT_EQ(hex.size(), 20u);
        for (size_t i = 0; i < 20 && i < hex.size(); ++i) bytes[i] = static_cast<uint8_t>(hex[i]);
        DecoderFrameTrace t;
        int16_t out[240];
        EXPECT_TRUE(dec.DecodeFrame(bytes, out, &t));
        invalid += t.valid ? 0 : 1;
        return DecoderFields(t, bytes);
    });
    EXPECT_GT(frames, 0u) << "no trace for " << name;
    return invalid;
}

TEST(G7231DecoderTrace, SweepMatchesStageByStage) { CompareDecoderTrace("sweep"); }
TEST(G7231DecoderTrace, SpeechMatchesStageByStage) { CompareDecoderTrace("speech_zh"); }
TEST(G7231DecoderTrace, ConcealmentMatchesStageByStage) {
    EXPECT_EQ(CompareDecoderTrace("invalid_frames"), 29);
}

}  // namespace
