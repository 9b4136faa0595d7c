#include "codec/g7231/concealment.h"

#include <algorithm>
#include <cstring>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/decoder_tables.h"
#include "codec/g7231/sums.h"

namespace qm::g7231 {
namespace {

constexpr int kVoicingSpan = 2 * kSubFrame;  // the frame's last 120 samples

// Sum of 2 a[j] b[j] over n terms, saturating after every step; with
// `plain` (the caller has shown that no partial sum leaves the 32-bit
// range), the plain sum.
int32_t MacSum(const int16_t* a, const int16_t* b, int n, bool plain) {
    if (plain) return 2 * Dot(a, b, n);
    int32_t acc = 0;
    for (int j = 0; j < n; ++j) acc = L_mac(acc, a[j], b[j]);
    return acc;
}

// The same for a sum of squares, which saturates only by reaching the top:
// the plain sum capped.
int32_t MacEnergy(const int16_t* a, int n, bool fast) {
    if (!fast) return MacSum(a, a, n, false);
    return static_cast<int32_t>(std::min<int64_t>(2 * Energy(a, n), kMax32));
}

}  // namespace

int16_t VoicingLag(const int16_t* x, int16_t lag, bool fast) {
    if (lag > kPitchMax - kPitchPostfilterRange) lag = kPitchMax - kPitchPostfilterRange;
    const int16_t* t = x + kPitchMax + kFrame - kVoicingSpan;
    // Every lagged segment lies in the window from lag + 3 back; its energy
    // bounds theirs, and with the frame's (Cauchy-Schwarz) every correlation.
    const int64_t window =
        Energy(t - lag - kPitchPostfilterRange, kVoicingSpan + 2 * kPitchPostfilterRange);
    const bool plain = fast && MacSafe(Energy(t, kVoicingSpan), window);
    int32_t best_c = 0;
    int best = 0;
    for (int i = lag - kPitchPostfilterRange; i <= lag + kPitchPostfilterRange; ++i) {
        const int32_t c = MacSum(t, t - i, kVoicingSpan, plain);
        if (c > best_c) {
            best_c = c;
            best = i;
        }
    }
    if (best == 0) return 0;
    const int16_t et = round_l(MacEnergy(t, kVoicingSpan, fast));
    const int16_t c = round_l(best_c);
    const int16_t eb = round_l(MacEnergy(t - best, kVoicingSpan, fast));
    if (c <= 0) return 0;
    // Voiced when the squared normalised correlation c^2 / (et eb) exceeds 1/8.
    if (L_sub(L_shr(L_mult(eb, et), 3), L_mult(c, c)) < 0) return static_cast<int16_t>(best);
    return 0;
}

void ConcealExcitation(ConcealmentState& state, int16_t* history, int16_t* out) {
    if (state.erasures >= kErasureMaxCount) {
        std::memset(out, 0, kFrame * sizeof(int16_t));
        std::memset(history, 0, kPitchMax * sizeof(int16_t));
        return;
    }
    if (state.voicing_lag != 0) {
        // The history repeated with the voicing lag, then attenuated.
        int16_t buf[kPitchMax + kFrame];
        std::memcpy(buf, history, kPitchMax * sizeof(int16_t));
        for (int n = 0; n < kFrame; ++n)
            buf[kPitchMax + n] = buf[kPitchMax + n - state.voicing_lag];
        for (int n = 0; n < kFrame; ++n) out[n] = mult(buf[kPitchMax + n], kErasureDecay);
        std::memcpy(history, out + kFrame - kPitchMax, kPitchMax * sizeof(int16_t));
        return;
    }
    // Unvoiced: noise at the concealment gain, and no history.
    for (int n = 0; n < kFrame; ++n) {
        state.seed = static_cast<uint16_t>(state.seed * kRandomMultiplier + kRandomIncrement);
        out[n] = mult(state.gain, static_cast<int16_t>(state.seed));
    }
    std::memset(history, 0, kPitchMax * sizeof(int16_t));
}

}  // namespace qm::g7231
