// The G.723.1 speech encoder at 5.3 kbit/s, one object per clip.
#pragma once

#include <cstdint>

#include "codec/g7231/constants.h"
#include "codec/g7231/impulse.h"
#include "codec/g7231/weighting.h"

namespace qm::g7231 {

// Intermediate values of one subframe, for stage-by-stage checking.
struct SubframeTrace {
    int16_t impulse_response[kSubFrame];  // Q13
    int16_t target[kSubFrame];            // Q0, after the ringing is taken off
    int16_t excitation[kSubFrame];        // Q0
    int16_t adaptive_lag_offset;
    int16_t adaptive_gain_index;
    int16_t fixed_gain_index;
    int16_t grid;
    int16_t pulse_signs;
    int16_t pulse_positions;
    int32_t taming_errors[5];
};

// Intermediate values of one frame, in the order the encoder computes them.
// Samples are Q0, LPC coefficients Q13, LSPs w / pi in Q15.
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
    int16_t prev_lsp_[kLpcOrder];  // last frame's decoded LSPs (w / pi, Q15)
    int16_t prev_dat_[kHistory];   // LPC analysis history (halved input, Q0)
    int16_t prev_wgt_[kPitchMax];  // weighted speech history (Q0)
    int16_t prev_exc_[kPitchMax];  // excitation history (Q0), newest last
    WeightingMemory weighting_;    // formant weighting filter memory
    RingingMemory ringing_;        // combined filter memory
    int32_t taming_[5];            // excitation error per 30-sample block, newest first
    int16_t sine_detect_;          // one bit per subframe, see AnalyseLpc
    int16_t allowance_;            // pulse search budget carried between subframes
    bool fault_;
    bool fast_ = true;
};

}  // namespace qm::g7231
