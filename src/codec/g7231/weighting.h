// Perceptual weighting: the formant weighting filter built from the
// unquantised LPC coefficients, and the harmonic noise weighting filter
// around the open-loop pitch lag.
#pragma once

#include <cstdint>

namespace qm::g7231 {

// Harmonic noise weighting filter of one subframe: lag and gain (Q15).
struct HarmonicFilter {
    int16_t lag = 0;
    int16_t gain = 0;
};

// Memory of the formant weighting filter: the last ten inputs and the last
// ten outputs, newest first.
struct WeightingMemory {
    int16_t fir[10] = {};
    int16_t iir[10] = {};
};

// Per subframe, the ten zero then the ten pole coefficients (4 x 20, w_Q13)
// of the formant weighting filter of the unquantised a_Q13.
void WeightingFilters(const int16_t* a_Q13, int16_t* w_Q13);

// Filters the frame's 240 samples (Q0) in place through the formant
// weighting filter of each subframe.
void WeightSpeech(int16_t* speech, const int16_t* w_Q13, WeightingMemory& mem, bool fast);

// The harmonic noise weighting filter of the subframe at buf[start] (the
// normalised weighted speech with at least 148 samples before it), searched
// within three lags of the open-loop lag `olp`.
HarmonicFilter FindHarmonicFilter(const int16_t* buf, int start, int16_t olp, bool fast,
                                  bool& fault);

// Applies the four subframes' harmonic filters: buf holds 145 samples of
// weighted speech history then the frame's 240; out receives 240 samples.
void ApplyHarmonicFilters(const int16_t* buf, const HarmonicFilter* pw, int16_t* out);

}  // namespace qm::g7231
