// The encoder's frame: the stages in the order of its trace, each in a file
// of its own (lpc_analysis, lsp, weighting, pitch, impulse, adaptive_search,
// pulse_search with gain, bitstream, state_update).
#include "codec/g7231/encoder.h"

#include <cstring>

#include "codec/g7231/adaptive_search.h"
#include "codec/g7231/basic_ops.h"
#include "codec/g7231/bitstream.h"
#include "codec/g7231/excitation.h"
#include "codec/g7231/lpc_analysis.h"
#include "codec/g7231/lsp.h"
#include "codec/g7231/pitch.h"
#include "codec/g7231/pulse_search.h"
#include "codec/g7231/state_update.h"
#include "codec/g7231/tables.h"

namespace qm::g7231 {

void Encoder::Reset() {
    std::memcpy(prev_lsp_, kLspDcVector, sizeof(prev_lsp_));
    std::memset(prev_dat_, 0, sizeof(prev_dat_));
    std::memset(prev_wgt_, 0, sizeof(prev_wgt_));
    std::memset(prev_exc_, 0, sizeof(prev_exc_));
    weighting_ = WeightingMemory{};
    ringing_ = RingingMemory{};
    for (int32_t& e : taming_) e = kTamingFloor;
    sine_detect_ = 0;
    allowance_ = kSearchAllowance;
    fault_ = false;
}

void Encoder::EncodeFrame(const int16_t* samples, uint8_t* out, FrameTrace* trace) {
    allowance_ = kSearchAllowance;
    // Input conditioning: halve every sample (the DC-removing filter is off).
    // speech: the analysis history, then the frame (Q0).
    int16_t speech[kHistory + kFrame];
    std::memcpy(speech, prev_dat_, sizeof(prev_dat_));
    int16_t* data = speech + kHistory;
    for (int i = 0; i < kFrame; ++i) data[i] = shr(samples[i], 1);
    if (trace) std::memcpy(trace->conditioned_input, data, kFrame * sizeof(int16_t));

    int16_t unq_a_Q13[kSubFrames * kLpcOrder];
    AnalyseLpc(speech, unq_a_Q13, sine_detect_, fast_, fault_);
    int16_t lsp[kLpcOrder];
    LpcToLsp(unq_a_Q13 + (kSubFrames - 1) * kLpcOrder, prev_lsp_, lsp, fault_);
    if (trace) {
        std::memcpy(trace->unquantized_lpc, unq_a_Q13, sizeof(unq_a_Q13));
        std::memcpy(trace->unquantized_lsp, lsp, sizeof(lsp));
    }
    FrameFields fields;
    fields.lsp_index = QuantizeLsp(lsp, prev_lsp_, fast_, fault_);

    // The rest of the frame works half a subframe late: on the 240 samples
    // that end 60 samples before the frame does.
    int16_t work[kFrame];
    std::memcpy(work, speech + kHistory / 2, sizeof(work));
    std::memcpy(prev_dat_, speech + kFrame, sizeof(prev_dat_));

    int16_t w_Q13[2 * kSubFrames * kLpcOrder];
    WeightingFilters(unq_a_Q13, w_Q13);
    WeightSpeech(work, w_Q13, weighting_, fast_);

    // buf: weighted speech history, then the frame (Q0).
    int16_t buf[kPitchMax + kFrame];
    std::memcpy(buf, prev_wgt_, sizeof(prev_wgt_));
    std::memcpy(buf + kPitchMax, work, sizeof(work));
    // The pitch and harmonic-weighting estimates work on a copy scaled so that
    // its largest magnitude has about 12 bits; the filtering uses the original.
    int16_t nbuf[kPitchMax + kFrame];
    std::memcpy(nbuf, buf, sizeof(buf));
    NormalizeVector(nbuf, kPitchMax + kFrame);
    int16_t olp[2];
    olp[0] = OpenLoopPitch(nbuf, kPitchMax, fast_);
    olp[1] = OpenLoopPitch(nbuf, kPitchMax + 2 * kSubFrame, fast_);
    HarmonicFilter pw[kSubFrames];
    for (int i = 0; i < kSubFrames; ++i)
        pw[i] = FindHarmonicFilter(nbuf, kPitchMax + i * kSubFrame, olp[i >> 1], fast_, fault_);
    std::memcpy(prev_wgt_, work + kFrame - kPitchMax, sizeof(prev_wgt_));
    if (trace) {
        trace->lsp_index = fields.lsp_index;
        std::memcpy(trace->weighting_lpc, w_Q13, sizeof(w_Q13));
        std::memcpy(trace->weighted_speech, work, sizeof(work));
        std::memcpy(trace->open_loop_lag, olp, sizeof(olp));
        for (int i = 0; i < kSubFrames; ++i) trace->harmonic[i] = pw[i];
    }
    ApplyHarmonicFilters(buf, pw, work);
    if (trace) std::memcpy(trace->harmonic_weighted_speech, work, sizeof(work));

    DecodeLsp(fields.lsp_index, prev_lsp_, lsp);
    int16_t qnt_a_Q13[kSubFrames * kLpcOrder];
    InterpolateLsp(lsp, prev_lsp_, qnt_a_Q13);
    std::memcpy(prev_lsp_, lsp, sizeof(lsp));
    if (trace) std::memcpy(trace->quantized_lpc, qnt_a_Q13, sizeof(qnt_a_Q13));

    for (int i = 0; i < kSubFrames; ++i) {
        int16_t* d = work + i * kSubFrame;
        const int16_t* a = qnt_a_Q13 + i * kLpcOrder;
        const int16_t* w = w_Q13 + i * 2 * kLpcOrder;
        SubframeFields& sf = fields.sf[i];
        int16_t imp_Q13[kSubFrame];
        ImpulseResponse(imp_Q13, a, w, pw[i], fast_);
        SubframeTrace* st = trace ? &trace->subframes[i] : nullptr;
        if (st) std::memcpy(st->impulse_response, imp_Q13, sizeof(imp_Q13));
        SubtractRinging(d, a, w, pw[i], ringing_, fast_);
        if (st) std::memcpy(st->target, d, sizeof(imp_Q13));
        // The adaptive contribution, as the search took it off the target.
        int16_t adaptive[kSubFrame];
        AdaptiveSearch(d, imp_Q13, prev_exc_ + kPitchMax, taming_, sine_detect_, &olp[i >> 1], i,
                       sf, adaptive, fast_);
        const int16_t lag = static_cast<int16_t>(olp[i >> 1] - 1 + sf.lag_offset);
        PulseSearch(d, imp_Q13, lag, sf, allowance_, fast_, fault_);
        // Excitation: the fixed contribution (at half scale) plus the adaptive one.
        CombineExcitation(d, adaptive, d);
        PushExcitation(prev_exc_, d);
        UpdateTaming(taming_, lag, sf.gain_index);
        if (st) {
            std::memcpy(st->excitation, d, sizeof(imp_Q13));
            st->adaptive_lag_offset = sf.lag_offset;
            st->adaptive_gain_index = sf.gain_index;
            st->fixed_gain_index = sf.fixed_gain;
            st->grid = sf.grid;
            st->pulse_signs = sf.signs;
            st->pulse_positions = sf.positions;
            std::memcpy(st->taming_errors, taming_, sizeof(taming_));
        }
        UpdateRinging(d, a, w, ringing_, fast_);
    }

    fields.lag[0] = olp[0];
    fields.lag[1] = olp[1];
    PackFrame(fields, out);
    if (trace) {
        std::memcpy(trace->closed_loop_lag, olp, sizeof(olp));
        std::memcpy(trace->frame_bytes, out, kFrameBytes);
    }
}

}  // namespace qm::g7231
