// The decoder's frame: unpacking and the validity check, the LSP decoding
// and excitation reconstruction it shares with the encoder (lsp, excitation),
// the concealment memory or the concealment itself (concealment), the pitch
// postfilter (pitch_postfilter), synthesis, and the formant postfilter and
// gain scaling (formant_postfilter).
#include "codec/g7231/decoder.h"

#include <algorithm>
#include <cstring>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/decoder_tables.h"
#include "codec/g7231/excitation.h"
#include "codec/g7231/filters.h"
#include "codec/g7231/lsp.h"
#include "codec/g7231/pitch.h"
#include "codec/g7231/tables.h"

namespace qm::g7231 {
namespace {

// Whether the lag and gain fields are in range. Nothing else is checked: a
// pulse beyond the subframe is dropped, every other value is meaningful.
bool FieldsValid(const FrameFields& f) {
    for (int16_t lag : f.lag)
        if (lag - kPitchMin > kMaxLagField) return false;
    for (const SubframeFields& s : f.sf)
        if (s.gain_index * kGainLevels + s.fixed_gain >= kGainFieldLimit) return false;
    return true;
}

}  // namespace

void Decoder::Reset() {
    std::memcpy(prev_lsp_, kLspDcVector, sizeof(prev_lsp_));
    std::memset(prev_exc_, 0, sizeof(prev_exc_));
    std::memset(synthesis_, 0, sizeof(synthesis_));
    postfilter_ = PostfilterMemory{};
    gain_state_ = kScaleGainInit;
    conceal_ = ConcealmentState{};
    conceal_.seed = static_cast<uint16_t>(kRandomSeedInit);
    fault_ = false;
}

void Decoder::DecodeExcitation(const FrameFields& f, int16_t* exc, int16_t* post,
                               DecoderFrameTrace* trace) {
    for (int s = 0; s < kSubFrames; ++s) {
        const SubframeFields& sf = f.sf[s];
        const int16_t lag = SubframeLag(f, s);
        int16_t* e = exc + kPitchMax + s * kSubFrame;
        int16_t fixed[kSubFrame];
        int16_t adaptive[kSubFrame];
        FixedExcitation(sf, lag, fixed);
        AdaptiveExcitation(e, lag, sf.gain_index, adaptive, fast_);
        CombineExcitation(fixed, adaptive, e);
        if (trace) {
            DecoderSubframeTrace& st = trace->subframes[s];
            st.pitch_lag = lag;
            std::memcpy(st.fixed_excitation, fixed, sizeof(fixed));
            std::memcpy(st.adaptive_excitation, adaptive, sizeof(adaptive));
        }
    }
    conceal_.gain = kFixedCodebookGain[(f.sf[2].fixed_gain + f.sf[3].fixed_gain) >> 1];
    // The voicing analysis and the pitch postfilter's search work on a copy
    // normalised to about 12 bits; the filter works on the excitation itself.
    int16_t x[kPitchMax + kFrame];
    std::memcpy(x, exc, sizeof(x));
    const int16_t shift = NormalizeVector(x, kPitchMax + kFrame);
    conceal_.voicing_lag = VoicingLag(x, f.lag[1], fast_);
    if (trace) trace->excitation_norm_shift = shift;
    for (int s = 0; s < kSubFrames; ++s) {
        const PitchPostfilter pf = FindPitchPostfilter(x, f.lag[s >> 1], s, fast_, fault_);
        ApplyPitchPostfilter(exc + kPitchMax + s * kSubFrame, pf, post + s * kSubFrame, fast_);
        if (trace) trace->subframes[s].pitch_postfilter = pf;
    }
}

bool Decoder::DecodeFrame(const uint8_t* in, int16_t* out, DecoderFrameTrace* trace) {
    FrameFields f;
    if (UnpackFrame(in, f) != kFrameType53) return false;
    const bool valid = FieldsValid(f);
    if (trace) {
        *trace = DecoderFrameTrace{};
        trace->valid = valid;
        trace->fields = f;
    }

    // LSPs and the four subframes' LPC coefficients.
    int16_t lsp[kLpcOrder];
    if (valid) {
        conceal_.erasures = 0;
        DecodeLsp(f.lsp_index, prev_lsp_, lsp);
    } else {
        conceal_.erasures = std::min<int16_t>(conceal_.erasures + 1, kErasureMaxCount);
        DecodeLsp(0, prev_lsp_, lsp, kLspErasurePredictor, kLspErasureMinGap);
    }
    int16_t a_Q13[kSubFrames * kLpcOrder];
    InterpolateLsp(lsp, prev_lsp_, a_Q13);
    std::memcpy(prev_lsp_, lsp, sizeof(lsp));

    // Excitation: exc holds the history, then the frame; post the frame's
    // excitation after the pitch postfilter.
    int16_t exc[kPitchMax + kFrame];
    int16_t post[kFrame];
    std::memcpy(exc, prev_exc_, sizeof(prev_exc_));
    if (valid) {
        DecodeExcitation(f, exc, post, trace);
        std::memcpy(prev_exc_, exc + kFrame, sizeof(prev_exc_));
    } else {
        conceal_.gain = mult_r(conceal_.gain, kErasureDecay);
        ConcealExcitation(conceal_, prev_exc_, post);
        std::memcpy(exc + kPitchMax, post, sizeof(post));
    }
    if (trace) {
        trace->erasure_count = conceal_.erasures;
        std::memcpy(trace->decoded_lsp, lsp, sizeof(lsp));
        std::memcpy(trace->quantized_lpc, a_Q13, sizeof(a_Q13));
        trace->interpolation_gain = conceal_.gain;
        trace->voicing_lag = conceal_.voicing_lag;
        trace->random_seed = conceal_.seed;
        std::memcpy(trace->excitation_history, prev_exc_, sizeof(prev_exc_));
    }

    // Synthesis, formant postfilter and gain scaling, per subframe.
    for (int s = 0; s < kSubFrames; ++s) {
        const int16_t* a = a_Q13 + s * kLpcOrder;
        const int16_t* p = post + s * kSubFrame;
        int32_t acc[kSubFrame];
        for (int i = 0; i < kSubFrame; ++i) acc[i] = L_shr(L_deposit_h(p[i]), 3);
        int16_t syn[kSubFrame];
        PolePass(acc, a, synthesis_, TwiceAbsSum(a, fast_), syn);
        int16_t formant[kSubFrame];
        const int32_t energy = FormantPostfilter(syn, a, postfilter_, formant, fast_, fault_);
        int16_t* o = out + s * kSubFrame;
        const int16_t g = ScaleGain(formant, energy, gain_state_, o, fast_, fault_);
        if (trace) {
            DecoderSubframeTrace& st = trace->subframes[s];
            std::memcpy(st.excitation, exc + kPitchMax + s * kSubFrame, sizeof(syn));
            std::memcpy(st.postfiltered_excitation, p, sizeof(syn));
            std::memcpy(st.synthesis, syn, sizeof(syn));
            st.synthesis_energy = energy;
            std::memcpy(st.formant_postfiltered, formant, sizeof(formant));
            st.tilt_parcor = postfilter_.tilt_Q15;
            st.scale_gain = g;
            st.gain_state = gain_state_;
            std::memcpy(st.output, o, sizeof(syn));
        }
    }
    return true;
}

}  // namespace qm::g7231
