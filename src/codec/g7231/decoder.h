// The G.723.1 speech decoder at 5.3 kbit/s with its postfilter, one object
// per clip.
#pragma once

#include <cstdint>

#include "codec/g7231/bitstream.h"
#include "codec/g7231/concealment.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/formant_postfilter.h"
#include "codec/g7231/pitch_postfilter.h"

namespace qm::g7231 {

// Intermediate values of one subframe, for stage-by-stage checking. Samples
// are Q0; the codebook fields and contributions exist for valid frames only.
struct DecoderSubframeTrace {
    int16_t pitch_lag;
    int16_t fixed_excitation[kSubFrame];  // half scale
    int16_t adaptive_excitation[kSubFrame];
    int16_t excitation[kSubFrame];
    PitchPostfilter pitch_postfilter;  // valid frames only
    int16_t postfiltered_excitation[kSubFrame];
    int16_t synthesis[kSubFrame];
    int32_t synthesis_energy;
    int16_t formant_postfiltered[kSubFrame];
    int16_t tilt_parcor;  // Q15
    int16_t scale_gain;   // Q12
    int16_t gain_state;   // Q12
    int16_t output[kSubFrame];
};

// Intermediate values of one frame, in the order the decoder computes them.
struct DecoderFrameTrace {
    bool valid;
    FrameFields fields;  // as unpacked
    int16_t erasure_count;
    int16_t decoded_lsp[kLpcOrder];                 // w / pi, Q15
    int16_t quantized_lpc[kSubFrames * kLpcOrder];  // Q13
    DecoderSubframeTrace subframes[kSubFrames];
    int16_t excitation_norm_shift;  // valid frames only
    int16_t interpolation_gain;
    int16_t voicing_lag;
    uint16_t random_seed;
    int16_t excitation_history[kPitchMax];
};

// Decoder state carried from frame to frame within one clip. A fresh object
// (or Reset) is the state at the start of a clip.
class Decoder {
  public:
    Decoder() { Reset(); }
    void Reset();

    // Decodes one 20-byte frame into 240 samples. A frame whose type bits
    // are not those of a 5.3 kbit/s active frame is refused: false, nothing
    // written and the state unchanged. A frame with an out-of-range lag or
    // gain field is concealed. `trace`, when given, receives the
    // intermediate values.
    bool DecodeFrame(const uint8_t* in, int16_t* out, DecoderFrameTrace* trace = nullptr);

    // True once a division primitive met an operand outside its domain; the
    // decoded samples are then meaningless.
    bool fault() const { return fault_; }

    // Off: every sum whose plain-arithmetic shortcut depends on a bound
    // checked on the signal runs through the saturating operators instead.
    // The samples are the same either way; tests compare the two.
    void SetFastPaths(bool on) { fast_ = on; }

  private:
    // The excitation (Q0) of a valid frame, after `exc` holds the history:
    // the codebook contributions, the concealment memory and the pitch
    // postfilter into `post`.
    void DecodeExcitation(const FrameFields& f, int16_t* exc, int16_t* post,
                          DecoderFrameTrace* trace);

    int16_t prev_lsp_[kLpcOrder];   // last frame's LSPs (w / pi, Q15)
    int16_t prev_exc_[kPitchMax];   // excitation history (Q0), newest last
    int16_t synthesis_[kLpcOrder];  // synthesis filter memory (Q0), newest first
    PostfilterMemory postfilter_;
    int16_t gain_state_;  // gain scaling, Q12
    ConcealmentState conceal_;
    bool fault_;
    bool fast_ = true;
};

}  // namespace qm::g7231
