// The G.723.1 speech encoder at 5.3 kbit/s, one object per clip.
#pragma once

#include <cstdint>

namespace qm::g7231 {

constexpr int kFrame = 240;
constexpr int kSubFrame = 60;
constexpr int kSubFrames = 4;
constexpr int kLpcOrder = 10;
constexpr int kLpcFrame = 180;
constexpr int kPitchMin = 18;
constexpr int kPitchMax = 145;
constexpr int kFrameBytes = 20;

// Harmonic noise weighting filter of one subframe: lag and gain.
struct HarmonicFilter {
    int16_t lag = 0;
    int16_t gain = 0;
};

// Intermediate values of one subframe, for stage-by-stage checking.
struct SubframeTrace {
    int16_t impulse_response[kSubFrame];
    int16_t target[kSubFrame];
    int16_t excitation[kSubFrame];
    int16_t adaptive_lag_offset;
    int16_t adaptive_gain_index;
    int16_t fixed_gain_index;
    int16_t grid;
    int16_t pulse_signs;
    int16_t pulse_positions;
    int32_t taming_errors[5];
};

// Intermediate values of one frame, in the order the encoder computes them.
struct FrameTrace {
    int16_t conditioned_input[kFrame];
    int16_t unquantized_lpc[kSubFrames * kLpcOrder];
    int16_t unquantized_lsp[kLpcOrder];
    int32_t lsp_index;
    int16_t weighting_lpc[2 * kSubFrames * kLpcOrder];
    int16_t weighted_speech[kFrame];
    int16_t open_loop_lag[2];
    int16_t closed_loop_lag[2];
    HarmonicFilter harmonic[kSubFrames];
    int16_t harmonic_weighted_speech[kFrame];
    int16_t quantized_lpc[kSubFrames * kLpcOrder];
    SubframeTrace subframes[kSubFrames];
    uint8_t frame_bytes[kFrameBytes];
};

// Encoder state carried from frame to frame within one clip. A fresh object
// (or Reset) is the state at the start of a clip.
class Encoder {
  public:
    Encoder() { Reset(); }
    void Reset();

    // Codes 240 samples into one 20-byte frame. `trace`, when given, receives
    // the intermediate values of the frame.
    void EncodeFrame(const int16_t* samples, uint8_t* out, FrameTrace* trace = nullptr);

    // True once a division primitive met an operand outside its domain; the
    // coded bytes are then meaningless.
    bool fault() const { return fault_; }

    // Off: the sums whose plain-arithmetic shortcut depends on a bound checked
    // on the signal always run through the saturating operators instead, and
    // the pulse search's SSE2 block gives way to its portable loop. The bytes
    // are the same either way; tests compare the two.
    void SetFastPaths(bool on) { fast_ = on; }

  private:
    struct Subframe {
        int16_t lag_offset = 0;  // adaptive codebook lag offset
        int16_t gain_index = 0;  // adaptive codebook gain index
        int16_t fixed_gain = 0;  // fixed codebook gain index
        int16_t grid = 0;
        int16_t signs = 0;
        int16_t positions = 0;
    };

    void ComputeLpc(const int16_t* data, int16_t* lpc);
    int16_t Durbin(int16_t* lpc, const int16_t* corr, int16_t err);
    void LpcToLsp(int16_t* lsp, const int16_t* lpc);
    int32_t QuantizeLsp(int16_t* lsp);
    void DecodeLsp(int16_t* lsp, int32_t index);
    void InterpolateLsp(int16_t* qnt_lpc, const int16_t* lsp);
    void ShiftHistory(int16_t* data);
    void WeightSpeech(int16_t* data, const int16_t* per_lpc);
    int16_t EstimatePitch(const int16_t* buf, int start);
    HarmonicFilter ComputeHarmonic(const int16_t* buf, int start, int16_t olp);
    void SubtractRinging(int16_t* target, const int16_t* qnt_lpc, const int16_t* per_lpc,
                         HarmonicFilter pw);
    void FindAdaptive(int16_t* target, const int16_t* imp, int16_t* olp, int sfc, Subframe& sf);
    void FindFixed(int16_t* target, int16_t* imp, int16_t olp, Subframe& sf);
    int16_t AcelpSearch(int16_t* dn, const int16_t* rr, const int16_t* h, int16_t* y, int16_t* grid,
                        int16_t* signs);
    int16_t TestError(int16_t lag1, int16_t lag2) const;
    void UpdateError(int16_t olp, int16_t lag_offset, int16_t gain_index);
    void UpdateRinging(int16_t* exc, const int16_t* qnt_lpc, const int16_t* per_lpc);

    int16_t prev_lsp_[kLpcOrder];
    int16_t prev_dat_[kLpcFrame - kSubFrame];
    int16_t prev_wgt_[kPitchMax];
    int16_t prev_err_[kPitchMax];
    int16_t prev_exc_[kPitchMax];
    int16_t wght_fir_[kLpcOrder];
    int16_t wght_iir_[kLpcOrder];
    int16_t ring_fir_[kLpcOrder];
    int16_t ring_iir_[kLpcOrder];
    int32_t taming_[5];
    int16_t sine_detect_;
    int16_t allowance_;  // fixed-codebook search allowance carried between subframes
    bool fault_;
    bool fast_ = true;
};

}  // namespace qm::g7231
