// Rational-ratio polyphase FIR resampler in 16-bit fixed point. The ratio
// comes from the two rates rounded to whole kilohertz.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace qm {

struct ResamplerState {
    int32_t fromKHz = 0, toKHz = 0;
    int32_t L = 1, M = 1;  // up and down factors
    int32_t N = 0, K = 0;  // prototype length, coefficients per phase
    int16_t gain = 1;
    std::vector<int16_t> coeffs;  // L groups of K, in output-phase order
    std::vector<int32_t> steps;   // input advance per output phase
    std::vector<int16_t> carry;   // K history samples, then held samples
    int32_t held = 0;
    uint32_t totalIn = 0, totalOut = 0;
    std::vector<int32_t> offsets;  // input offset of each output phase within its block
    std::vector<int16_t> joint;    // carry followed by the head of the caller's input
};

// 0 with *state set; 0 with *state empty when no conversion is needed; -3 when
// either rate rounds to 0 kHz; -2 when no memory is available.
int CreateResampler(int32_t sourceRate, int32_t targetRate, std::unique_ptr<ResamplerState>& state);
// Feeds n samples; writes at most floor((held + n) / M) * L samples to out and
// returns how many it wrote.
int RunResampler(ResamplerState& state, const int16_t* in, int32_t n, int16_t* out);

// The twelve prototype low-pass filters (row r: design factor, taps).
struct FilterRow {
    int factor;
    int length;
    const int16_t* taps;
};
inline constexpr int kResamplerFilterRows = 12;
extern const FilterRow kResamplerFilters[kResamplerFilterRows];
// Row r of the bank (r is clamped to 0 .. 11).
const FilterRow& ResamplerFilterRow(int row);
// The row chosen for max(L, M).
int ResamplerRowFor(int32_t maxFactor);

}  // namespace qm
