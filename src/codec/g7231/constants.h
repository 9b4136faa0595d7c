// Geometry of a G.723.1 frame at 5.3 kbit/s, shared by the encoder and the
// decoder.
#pragma once

#include <cstdint>

namespace qm::g7231 {

constexpr int kFrame = 240;                      // samples per frame
constexpr int kSubFrame = 60;                    // samples per subframe
constexpr int kSubFrames = 4;                    // subframes per frame
constexpr int kLpcOrder = 10;                    // linear prediction order
constexpr int kLpcFrame = 180;                   // LPC analysis window
constexpr int kHistory = kLpcFrame - kSubFrame;  // 120 samples of analysis history
constexpr int kPitchMin = 18;                    // lag range of the pitch searches
constexpr int kPitchMax = 145;                   // also the length of the excitation history
constexpr int kPitchOrder = 5;                   // taps of the pitch predictor
constexpr int kFrameBytes = 20;                  // coded bytes per frame
constexpr int kGainLevels = 24;                  // fixed-codebook gain levels
constexpr int kGainEntries170 = 170;             // entries of the pitch gain codebook
constexpr int kLongSub = 64;  // a subframe padded to a whole number of pulse tracks

}  // namespace qm::g7231
