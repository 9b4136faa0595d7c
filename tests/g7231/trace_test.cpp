// Stage-by-stage comparison of the encoder's intermediate values with the
// per-frame traces of the reference encoder, when they are available.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "codec/g7231/encoder.h"
#include "common/testutil.h"
#include "g7231/flat_json.h"

namespace {

using qmtest::Flat;
using qmtest::ParseFlat;
using qmtest::Vec;

Flat Mine(const qm::g7231::FrameTrace& t) {
    Flat m;
    m["conditioned_input"] = Vec(t.conditioned_input, 240);
    m["unquantized_lpc"] = Vec(t.unquantized_lpc, 40);
    m["unquantized_lsp"] = Vec(t.unquantized_lsp, 10);
    m["lsp_index"] = {t.lsp_index};
    m["weighting_lpc"] = Vec(t.weighting_lpc, 80);
    m["weighted_speech"] = Vec(t.weighted_speech, 240);
    m["open_loop_lag"] = Vec(t.open_loop_lag, 2);
    m["closed_loop_lag"] = Vec(t.closed_loop_lag, 2);
    for (const auto& h : t.harmonic) {
        m["harmonic_weighting"].push_back(h.lag);
        m["harmonic_weighting"].push_back(h.gain);
    }
    m["harmonic_weighted_speech"] = Vec(t.harmonic_weighted_speech, 240);
    m["quantized_lpc"] = Vec(t.quantized_lpc, 40);
    for (int i = 0; i < 4; ++i) {
        const auto& s = t.subframes[i];
        const std::string p = "subframes." + std::to_string(i) + ".";
        m[p + "impulse_response"] = Vec(s.impulse_response, 60);
        m[p + "target"] = Vec(s.target, 60);
        m[p + "excitation"] = Vec(s.excitation, 60);
        m[p + "adaptive_lag_offset"] = {s.adaptive_lag_offset};
        m[p + "adaptive_gain_index"] = {s.adaptive_gain_index};
        m[p + "fixed_gain_index"] = {s.fixed_gain_index};
        m[p + "grid"] = {s.grid};
        m[p + "pulse_signs"] = {s.pulse_signs};
        m[p + "pulse_positions"] = {s.pulse_positions};
        m[p + "taming_errors"] = Vec(s.taming_errors, 5);
    }
    m["frame_bytes"] = Vec(t.frame_bytes, 20);
    return m;
}

// Runs the clip through the encoder and reports the first field (in the
// order the encoder computes them) that differs from the trace.
void CompareTrace(const std::string& name) {
    const std::string dir = std::string(QM_SHARED_DIR) + "/g7231/";
    std::ifstream in(dir + "traces/" + name + ".trace.jsonl");
    if (!in) GTEST_SKIP() << "no trace for " << name;
    std::string raw = qmtest::ReadFile(dir + "vectors/" + name + ".s16");
    std::vector<int16_t> pcm(raw.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(static_cast<uint8_t>(raw[2 * i]) |
                                      (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
    static const char* const kOrder[] = {
        "conditioned_input", "unquantized_lpc",    "unquantized_lsp",
        "lsp_index",         "weighting_lpc",      "weighted_speech",
        "open_loop_lag",     "harmonic_weighting", "harmonic_weighted_speech",
        "quantized_lpc"};
    static const char* const kSubOrder[] = {"impulse_response",
                                            "target",
                                            "adaptive_lag_offset",
                                            "adaptive_gain_index",
                                            "grid",
                                            "pulse_signs",
                                            "pulse_positions",
                                            "fixed_gain_index",
                                            "excitation",
                                            "taming_errors"};
    qm::g7231::Encoder enc;
    std::string line;
    size_t frame = 0;
    while (std::getline(in, line)) {
        Flat ref;
        ASSERT_TRUE(ParseFlat(line, ref)) << "frame " << frame;
        int16_t samples[240] = {};
        for (size_t i = 0; i < 240 && frame * 240 + i < pcm.size(); ++i)
            samples[i] = pcm[frame * 240 + i];
        qm::g7231::FrameTrace t;
        uint8_t bytes[20];
        enc.EncodeFrame(samples, bytes, &t);
        Flat mine = Mine(t);
        std::vector<std::string> keys(std::begin(kOrder), std::end(kOrder));
        for (int s = 0; s < 4; ++s) {
            if (s == 0) keys.push_back("closed_loop_lag");
            for (const char* k : kSubOrder)
                keys.push_back("subframes." + std::to_string(s) + "." + k);
        }
        keys.push_back("frame_bytes");
        for (const auto& k : keys) {
            ASSERT_EQ(mine[k], ref[k])
                << name << " frame " << frame << ": first difference in " << k;
        }
        ++frame;
    }
    EXPECT_GT(frame, 0u);
}

TEST(G7231Trace, SweepMatchesStageByStage) { CompareTrace("sweep"); }
TEST(G7231Trace, SpeechMatchesStageByStage) { CompareTrace("speech_zh"); }

}  // namespace
