// Stage-by-stage comparison of the decoder's intermediate values with the
// per-frame traces of the reference decoder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "codec/g7231/decoder.h"
#include "common/testutil.h"
#include "g7231/flat_json.h"

namespace {

using qm::g7231::DecoderFrameTrace;
using qmtest::Flat;
using qmtest::ParseFlat;
using qmtest::Vec;

// The trace's fields in the order the decoder computes them; fields that do
// not exist for an invalid frame are left out of Mine() then, as the trace
// has them null.
std::vector<std::string> Order() {
    std::vector<std::string> keys = {"frame_bytes",     "valid",         "lsp_index",
                                     "closed_loop_lag", "erasure_count", "decoded_lsp",
                                     "quantized_lpc"};
    auto sub = [](int s, const char* k) { return "subframes." + std::to_string(s) + "." + k; };
    for (int s = 0; s < 4; ++s)
        for (const char* k : {"adaptive_lag_offset", "adaptive_gain_index", "fixed_gain_index",
                              "grid", "pulse_signs", "pulse_positions", "pitch_lag",
                              "fixed_excitation", "adaptive_excitation", "excitation"})
            keys.push_back(sub(s, k));
    for (const char* k : {"excitation_norm_shift", "interpolation_gain", "voicing_lag"})
        keys.push_back(k);
    for (int s = 0; s < 4; ++s)
        for (const char* k :
             {"pitch_postfilter", "pitch_postfilter.backward_lag", "pitch_postfilter.forward_lag",
              "pitch_postfilter.lag", "pitch_postfilter.gain", "pitch_postfilter.scale",
              "postfiltered_excitation", "synthesis", "synthesis_energy", "formant_postfiltered",
              "tilt_parcor", "scale_gain", "gain_state", "output"})
            keys.push_back(sub(s, k));
    keys.push_back("random_seed");
    keys.push_back("excitation_history");
    return keys;
}

Flat Mine(const DecoderFrameTrace& t, const uint8_t* bytes) {
    Flat m;
    m["frame_bytes"] = Vec(bytes, 20);
    m["valid"] = {t.valid ? 1 : 0};
    m["erasure_count"] = {t.erasure_count};
    m["decoded_lsp"] = Vec(t.decoded_lsp, 10);
    m["quantized_lpc"] = Vec(t.quantized_lpc, 40);
    if (t.valid) {
        m["lsp_index"] = {t.fields.lsp_index};
        m["closed_loop_lag"] = Vec(t.fields.lag, 2);
        m["excitation_norm_shift"] = {t.excitation_norm_shift};
    }
    m["interpolation_gain"] = {t.interpolation_gain};
    m["voicing_lag"] = {t.voicing_lag};
    m["random_seed"] = {t.random_seed};
    m["excitation_history"] = Vec(t.excitation_history, 145);
    for (int i = 0; i < 4; ++i) {
        const auto& s = t.subframes[i];
        const auto& f = t.fields.sf[i];
        const std::string p = "subframes." + std::to_string(i) + ".";
        if (t.valid) {
            m[p + "adaptive_lag_offset"] = {f.lag_offset};
            m[p + "adaptive_gain_index"] = {f.gain_index};
            m[p + "fixed_gain_index"] = {f.fixed_gain};
            m[p + "grid"] = {f.grid};
            m[p + "pulse_signs"] = {f.signs};
            m[p + "pulse_positions"] = {f.positions};
            m[p + "pitch_lag"] = {s.pitch_lag};
            m[p + "fixed_excitation"] = Vec(s.fixed_excitation, 60);
            m[p + "adaptive_excitation"] = Vec(s.adaptive_excitation, 60);
            m[p + "pitch_postfilter.backward_lag"] = {s.pitch_postfilter.backward_lag};
            m[p + "pitch_postfilter.forward_lag"] = {s.pitch_postfilter.forward_lag};
            m[p + "pitch_postfilter.lag"] = {s.pitch_postfilter.lag};
            m[p + "pitch_postfilter.gain"] = {s.pitch_postfilter.gain};
            m[p + "pitch_postfilter.scale"] = {s.pitch_postfilter.scale};
        }
        m[p + "excitation"] = Vec(s.excitation, 60);
        m[p + "postfiltered_excitation"] = Vec(s.postfiltered_excitation, 60);
        m[p + "synthesis"] = Vec(s.synthesis, 60);
        m[p + "synthesis_energy"] = {s.synthesis_energy};
        m[p + "formant_postfiltered"] = Vec(s.formant_postfiltered, 60);
        m[p + "tilt_parcor"] = {s.tilt_parcor};
        m[p + "scale_gain"] = {s.scale_gain};
        m[p + "gain_state"] = {s.gain_state};
        m[p + "output"] = Vec(s.output, 60);
    }
    return m;
}

std::string Find(const std::string& name) {
    for (const std::string& dir : {std::string(QM_TEST_DATA) + "/g7231_decoder/",
                                   std::string(QM_SHARED_DIR) + "/g7231/decoder/traces/"})
        if (std::filesystem::exists(dir + name)) return dir + name;
    return "";
}

// Runs the clip through the decoder and reports the first field (in the
// order the decoder computes them) that differs from the trace.
void CompareTrace(const std::string& name) {
    const std::string path = Find(name + ".trace.jsonl");
    ASSERT_FALSE(path.empty()) << "no trace for " << name;
    std::ifstream in(path);
    const std::vector<std::string> keys = Order();
    const std::set<std::string> known(keys.begin(), keys.end());
    qm::g7231::Decoder dec;
    std::string line;
    size_t frame = 0;
    int invalid = 0;
    while (std::getline(in, line)) {
        Flat ref;
        ASSERT_TRUE(ParseFlat(line, ref)) << "frame " << frame;
        for (const auto& [k, v] : ref) ASSERT_TRUE(k == "frame" || known.count(k)) << k;
        const std::vector<long long>& hex = ref["frame_bytes"];
        ASSERT_EQ(hex.size(), 20u);
        uint8_t bytes[20];
        for (int i = 0; i < 20; ++i) bytes[i] = static_cast<uint8_t>(hex[i]);
        DecoderFrameTrace t;
        int16_t out[240];
        ASSERT_TRUE(dec.DecodeFrame(bytes, out, &t));
        invalid += t.valid ? 0 : 1;
        Flat mine = Mine(t, bytes);
        for (const auto& k : keys)
            ASSERT_EQ(mine[k], ref[k])
                << name << " frame " << frame << ": first difference in " << k;
        ++frame;
    }
    EXPECT_GT(frame, 0u);
    if (name == "invalid_frames") {
        EXPECT_EQ(invalid, 29);
    }
}

TEST(G7231DecoderTrace, SweepMatchesStageByStage) { CompareTrace("sweep"); }
TEST(G7231DecoderTrace, SpeechMatchesStageByStage) { CompareTrace("speech_zh"); }
TEST(G7231DecoderTrace, ConcealmentMatchesStageByStage) { CompareTrace("invalid_frames"); }

}  // namespace
