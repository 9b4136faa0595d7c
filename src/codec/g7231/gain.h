// Quantisation of the fixed-codebook gain.
#pragma once

#include <cstdint>

namespace qm::g7231 {

// Index (0..23) of the fixed-codebook gain level nearest to the gain that
// best scales y (the filtered pulse vector, shifted down by 3 in place) to
// the target x (Q0). `fast` allows plain sums where a bound shows they are
// exact.
int16_t QuantizeFixedGain(const int16_t* x, int16_t* y, bool fast, bool& fault);

}  // namespace qm::g7231
