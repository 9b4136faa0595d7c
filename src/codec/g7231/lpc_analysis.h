// LPC analysis: four sets of ten prediction coefficients per frame, one per
// subframe, from windowed autocorrelations and the Levinson-Durbin recursion.
#pragma once

#include <cstdint>

namespace qm::g7231 {

// `speech` holds the 120 history samples and then the frame's 240 samples
// (Q0, the halved input); a_Q13 receives 4 x 10 coefficients. The sine
// detector keeps one bit per subframe (newest lowest) of whether the second
// reflection coefficient was close to one, and its sign bit is set when 14 of
// the last 15 were.
void AnalyseLpc(const int16_t* speech, int16_t* a_Q13, int16_t& sine_detect, bool fast,
                bool& fault);

}  // namespace qm::g7231
