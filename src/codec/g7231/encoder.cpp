#include "codec/g7231/encoder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/tables.h"

namespace qm::g7231 {
namespace {

constexpr int kHistory = kLpcFrame - kSubFrame;  // 120 samples of analysis history
constexpr int kPitchOrder = 5;                   // taps of the pitch predictor
constexpr int kLspCodebookSize = 256;
constexpr int16_t kLspPredictor = 12288;
constexpr int kHarmonicRange = 3;
constexpr int16_t kHarmonicGain = 0x2800;
constexpr int kGainLevels = 24;
constexpr int kGainEntries170 = 170;
constexpr int kGainEntries170Min = 93;
constexpr int32_t kTamingThreshold = 0x40000000;
constexpr int kTamingShift = 23;
constexpr int32_t kTamingFloor = 4;
constexpr int16_t kSearchAllowance = 120;
constexpr int16_t kAcelpThreshold = 16384;
constexpr int kPositions = 8;  // pulse positions per track
constexpr int kLongSub = 64;   // subframe padded to a whole number of tracks
constexpr int kMatrix = 64;    // one cross-correlation block (8 x 8)

const int16_t* const kLspCodebooks[3] = {kLspBand0Codebook, kLspBand1Codebook, kLspBand2Codebook};

// Fast paths. The saturating operators give the plain integer result whenever
// no partial sum leaves the 32-bit range, and the bounds below prove that
// before a plain (vectorisable) loop replaces a saturating one; otherwise the
// saturating loop runs. The coded bytes are the same either way.

// Plain dot product; the caller has proved that no partial sum overflows.
inline int32_t Dot(const int16_t* a, const int16_t* b, int n) {
    int32_t s = 0;
    for (int i = 0; i < n; ++i) s += int32_t{a[i]} * b[i];
    return s;
}

#if defined(__SSE2__)
// Eight 16-bit values from any address.
inline __m128i Load8(const int16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
#endif

inline int64_t Energy(const int16_t* a, int n) {
    int64_t s = 0;
    for (int i = 0; i < n; ++i) s += int32_t{a[i]} * a[i];
    return s;
}

// True when ea * eb < 2^60 for two energies (sums of squares). Then, by the
// Cauchy-Schwarz inequality, the sum of |a[i] b[i]| is below 2^30, so every
// partial sum of L_mult(a[i], b[i]) stays inside the 32-bit range and no
// product is the saturating -32768 * -32768.
inline bool MacSafe(int64_t ea, int64_t eb) {
    if (ea == 0 || eb == 0) return true;
    return ea <= ((int64_t{1} << 60) - 1) / eb;
}

inline int32_t AbsMax(const int16_t* a, int n) {
    int32_t m = 0;
    for (int i = 0; i < n; ++i) m = std::max(m, std::abs(int32_t{a[i]}));
    return m;
}

inline int32_t AbsSum(const int16_t* a, int n) {
    int32_t s = 0;
    for (int i = 0; i < n; ++i) s += std::abs(int32_t{a[i]});
    return s;
}

// The 170-entry pitch gain codebook prepared for the plain sums: each row
// padded with zeros to 24 values (a whole number of vector registers), and
// each row's sum of |g| for the bound that allows them.
struct GainRows {
    std::array<std::array<int16_t, 24>, 170> padded{};
    std::array<int32_t, 170> abs_sum{};
    int32_t max_abs_sum = 0;
};
const GainRows& PreparedGainRows() {
    static const GainRows rows = [] {
        GainRows r;
        for (int i = 0; i < 170; ++i) {
            const int16_t* g = kAdaptiveCodebookGain170 + 20 * i;
            std::copy(g, g + 20, r.padded[i].begin());
            r.abs_sum[i] = AbsSum(g, 20);
            r.max_abs_sum = std::max(r.max_abs_sum, r.abs_sum[i]);
        }
        return r;
    }();
    return rows;
}

// Scales v by 2^(norm_s(max |v|) - 3) so that its peak has about 12 bits; a
// right shift truncates toward minus infinity.
void NormalizeVector(int16_t* v, int len) {
    int16_t peak = 0;
    for (int i = 0; i < len; ++i) {
        const int16_t a = abs_s(v[i]);
        if (a > peak) peak = a;
    }
    const int16_t n = norm_s(peak);
    const int16_t factor = n == 15 ? kMax16 : static_cast<int16_t>(1 << n);
    for (int i = 0; i < len; ++i) v[i] = extract_l(L_shr(L_mult(factor, v[i]), 4));
}

// Ten-tap filter sums and the delay-line shift of the LPC-order filters.
inline int32_t Mac10(int32_t acc, const int16_t* a, const int16_t* x) {
    for (int j = 0; j < kLpcOrder; ++j) acc = L_mac(acc, a[j], x[j]);
    return acc;
}
// The same sum when `bound` (2 sum |a| times a bound on |x|) shows that no
// partial sum can saturate: then the plain dot product, free to reassociate.
inline int32_t Mac10(int32_t acc, const int16_t* a, const int16_t* x, int64_t bound) {
    if (std::abs(int64_t{acc}) + bound <= kMax32) return acc + 2 * Dot(a, x, kLpcOrder);
    return Mac10(acc, a, x);
}
// Twice the sums of |coefficient| of the three filters of a subframe; with
// the shortcuts off, values so large that every bound fails.
struct FilterSums {
    int64_t synthesis, zero, pole;
    FilterSums(const int16_t* qnt_lpc, const int16_t* per_lpc, bool fast)
        : synthesis(Twice(AbsSum(qnt_lpc, kLpcOrder), fast)),
          zero(Twice(AbsSum(per_lpc, kLpcOrder), fast)),
          pole(Twice(AbsSum(per_lpc + kLpcOrder, kLpcOrder), fast)) {}
    static int64_t Twice(int64_t v, bool fast) { return fast ? 2 * v : int64_t{1} << 40; }
};

inline void Push(int16_t* line, int16_t v) {
    for (int j = kLpcOrder - 1; j > 0; --j) line[j] = line[j - 1];
    line[0] = v;
}

// The filters of a subframe run as passes over all 60 samples, each pass
// continuing every sample's accumulator in the same order of operations as
// one sample-by-sample loop would (so saturation acts at the same points).
// Only the recursive parts need a sample-by-sample loop; the zero part
// works on values known in advance.

// Recursive part, a ten-tap all-pole filter: acc[i] += 2 sum a[j] line[j],
// then round(acc[i] << 2) enters the delay line and goes to out[i].
// `twice_abs` is 2 sum |a| (see FilterSums).
inline void PolePass(int32_t* acc, const int16_t* a, int16_t* line_io, int64_t twice_abs,
                     int16_t* out) {
    // A local delay line can stay in registers: stores to `out` cannot alias it.
    int16_t line[kLpcOrder];
    std::memcpy(line, line_io, sizeof(line));
    int64_t line_max = AbsMax(line, kLpcOrder);
    for (int i = 0; i < kSubFrame; ++i) {
        acc[i] = Mac10(acc[i], a, line, twice_abs * (line_max + 1));
        Push(line, round_l(L_shl(acc[i], 2)));
        line_max = std::max<int64_t>(line_max, std::abs(int32_t{line[0]}));
        out[i] = line[0];
    }
    std::memcpy(line_io, line, sizeof(line));
}

// Zero part: acc[i] -= 2 sum a[j] x[9 + i - j], where x holds the ten values
// before the subframe (oldest first) and then the subframe's 60.
inline void ZeroPass(int32_t* acc, const int16_t* a, const int16_t* x, int64_t twice_abs) {
    int64_t acc_max = 0;
    for (int i = 0; i < kSubFrame; ++i) acc_max = std::max(acc_max, std::abs(int64_t{acc[i]}));
    if (acc_max + twice_abs * (AbsMax(x, kLpcOrder + kSubFrame) + 1) <= kMax32) {
        for (int j = 0; j < kLpcOrder; ++j) {
            const int32_t c = 2 * int32_t{a[j]};
            for (int i = 0; i < kSubFrame; ++i) acc[i] -= c * x[kLpcOrder - 1 + i - j];
        }
        return;
    }
    for (int i = 0; i < kSubFrame; ++i)
        for (int j = 0; j < kLpcOrder; ++j) acc[i] = L_msu(acc[i], a[j], x[kLpcOrder - 1 + i - j]);
}

// The delay line `line` (newest first) as the head of a pass buffer (oldest first).
inline void LineToBuffer(const int16_t* line, int16_t* x) {
    for (int j = 0; j < kLpcOrder; ++j) x[kLpcOrder - 1 - j] = line[j];
}

// Splits the 60 + 4 sample pitch residual for `lag` out of the excitation history.
inline void GetResidual(int16_t* out, const int16_t* prev_exc, int lag) {
    for (int i = 0; i < kPitchOrder / 2; ++i) out[i] = prev_exc[kPitchMax - lag - 2 + i];
    // The last `lag` samples repeated.
    for (int i = 0, k = 0; i < kSubFrame + kPitchOrder / 2; ++i) {
        out[kPitchOrder / 2 + i] = prev_exc[kPitchMax - lag + k];
        if (++k == lag) k = 0;
    }
}

// Adaptive codebook contribution for lag olp - 1 + offset and gain entry `gid`.
void DecodeAdaptive(int16_t* out, const int16_t* prev_exc, int16_t olp, int16_t offset, int16_t gid,
                    bool fast) {
    int16_t rez[kSubFrame + kPitchOrder - 1];
    GetResidual(rez, prev_exc, olp - 1 + offset);
    const int16_t* g = kAdaptiveCodebookGain170 + gid * 20;
    if (fast && 2 * AbsMax(rez, kSubFrame + kPitchOrder - 1) * AbsSum(g, kPitchOrder) <= kMax32) {
        for (int i = 0; i < kSubFrame; ++i)
            out[i] = round_l(L_shl(2 * Dot(rez + i, g, kPitchOrder), 1));
        return;
    }
    for (int i = 0; i < kSubFrame; ++i) {
        int32_t acc = 0;
        for (int j = 0; j < kPitchOrder; ++j) acc = L_mac(acc, rez[i + j], g[j]);
        out[i] = round_l(L_shl(acc, 1));
    }
}

// Converts an LSP vector to LPC coefficients in place.
void LspToLpc(int16_t* lsp) {
    for (int i = 0; i < kLpcOrder; ++i) {
        int j = shr(lsp[i], 7);
        if (j < 0) j = 0;
        if (j > 255) j = 255;
        int32_t acc = L_deposit_h(kLspCosine[j]);
        int16_t tmp = sub(kLspCosine[j + 1], kLspCosine[j]);
        acc = L_mac(acc, tmp, add(shl(static_cast<int16_t>(lsp[i] & 0x7f), 8), 0x80));
        acc = L_shl(acc, 1);
        lsp[i] = negate(round_l(acc));
    }
    int32_t p[kLpcOrder / 2 + 1];
    int32_t q[kLpcOrder / 2 + 1];
    p[0] = 0x10000000;
    p[1] = L_mac(L_mult(lsp[0], 0x2000), lsp[2], 0x2000);
    p[2] = L_add(L_shr(L_mult(lsp[0], lsp[2]), 1), 0x20000000);
    q[0] = 0x10000000;
    q[1] = L_mac(L_mult(lsp[1], 0x2000), lsp[3], 0x2000);
    q[2] = L_add(L_shr(L_mult(lsp[1], lsp[3]), 1), 0x20000000);
    for (int i = 2; i < kLpcOrder / 2; ++i) {
        p[i + 1] = L_add(L_mls(p[i], lsp[2 * i]), p[i - 1]);
        q[i + 1] = L_add(L_mls(q[i], lsp[2 * i + 1]), q[i - 1]);
        for (int j = i; j >= 2; --j) {
            p[j] = L_add(L_add(L_mls(p[j - 1], lsp[2 * i]), L_shr(p[j], 1)), L_shr(p[j - 2], 1));
            q[j] =
                L_add(L_add(L_mls(q[j - 1], lsp[2 * i + 1]), L_shr(q[j], 1)), L_shr(q[j - 2], 1));
        }
        p[0] = L_shr(p[0], 1);
        q[0] = L_shr(q[0], 1);
        p[1] = L_shr(L_add(L_shr(L_deposit_h(lsp[2 * i]), static_cast<int16_t>(i)), p[1]), 1);
        q[1] = L_shr(L_add(L_shr(L_deposit_h(lsp[2 * i + 1]), static_cast<int16_t>(i)), q[1]), 1);
    }
    for (int i = 0; i < kLpcOrder / 2; ++i) {
        int32_t a = L_add(L_sub(L_add(p[i], p[i + 1]), q[i]), q[i + 1]);
        lsp[i] = negate(round_l(L_shl(a, 3)));
        int32_t b = L_sub(L_add(L_add(p[i], p[i + 1]), q[i]), q[i + 1]);
        lsp[kLpcOrder - 1 - i] = negate(round_l(L_shl(b, 3)));
    }
}

// Correlations of the impulse response needed by the pulse search: four
// 8-entry energy vectors followed by six 8 x 8 cross blocks (tracks 01, 02,
// 03, 12, 13, 23), for pulses on the even grid.
void CorrelateImpulse(const int16_t* imp, int16_t* rr) {
    int32_t cor = 0;
    for (int i = 0; i < kSubFrame; ++i) cor = L_mac(cor, imp[i], imp[i]);
    int16_t h[kLongSub];
    for (int i = 0; i < 4; ++i) h[i] = 0;
    if (extract_h(cor) > 32000) {
        for (int i = 0; i < kSubFrame; ++i) h[i + 4] = shr(imp[i], 1);
    } else {
        int16_t k = shr(norm_l(cor), 1);
        for (int i = 0; i < kSubFrame; ++i) h[i + 4] = shl(imp[i], k);
    }
    // Entry for pulses at padded positions a <= b: the sum over n of
    // 2 h[n] h[n + b - a] for n up to 63 - b, which is a prefix of the sum
    // along diagonal b - a. The sums cannot overflow (they are bounded by the
    // energy, below 2^31 after the scaling above), so plain running sums along
    // each diagonal give them all.
    // sums[n][d] holds the diagonal-d sum up to n.
    int32_t sums[kLongSub][kLongSub];
    for (int d = 0; d < kLongSub; ++d) sums[0][d] = 2 * int32_t{h[0]} * h[d];
    for (int n = 1; n < kLongSub; ++n) {
        const int32_t hn = 2 * int32_t{h[n]};
        for (int d = 0; d + n < kLongSub; ++d) sums[n][d] = sums[n - 1][d] + hn * h[n + d];
    }
    auto entry = [&](int a, int b) -> int16_t {
        if (a > b) std::swap(a, b);
        return extract_h(sums[kLongSub - 1 - b][b - a]);
    };
    for (int t = 0; t < 4; ++t)
        for (int j = 0; j < kPositions; ++j)
            rr[t * kPositions + j] = entry(8 * j + 2 * t, 8 * j + 2 * t);
    static constexpr int kPairs[6][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
    int16_t* block = rr + 4 * kPositions;
    for (const auto& pr : kPairs) {
        for (int a = 0; a < kPositions; ++a)
            for (int b = 0; b < kPositions; ++b)
                block[a * kPositions + b] = entry(8 * a + 2 * pr[0], 8 * b + 2 * pr[1]);
        block += kMatrix;
    }
}

// Backward-filtered target: correlation of the target with the impulse response,
// scaled so that the largest value has 13 bits.
void CorrelateTarget(const int16_t* h, const int16_t* x, int16_t* d, bool fast) {
    int32_t y32[kSubFrame];
    int32_t max = 0;
    const bool safe = fast && MacSafe(Energy(x, kSubFrame), Energy(h, kSubFrame));
    // Zero-padded copies make every sum one fixed-length dot product.
    int16_t xz[2 * kLongSub] = {};
    int16_t hz[kLongSub] = {};
    std::memcpy(xz, x, kSubFrame * sizeof(int16_t));
    std::memcpy(hz, h, kSubFrame * sizeof(int16_t));
    for (int i = 0; i < kSubFrame; ++i) {
        int32_t s = 0;
        if (safe) {
            s = 2 * Dot(xz + i, hz, kLongSub);
        } else {
            for (int j = i; j < kSubFrame; ++j) s = L_mac(s, x[j], h[j - i]);
        }
        y32[i] = s;
        s = L_abs(s);
        if (s > max) max = s;
    }
    int16_t j = norm_l(max);
    if (j > 16) j = 16;
    j = static_cast<int16_t>(18 - j);
    for (int i = 0; i < kSubFrame; ++i) d[i] = extract_l(L_shr(y32[i], j));
}

// Quantised gain of the fixed codebook vector whose filtered form is y.
int16_t FixedGain(const int16_t* x, int16_t* y, int16_t* gain_q, bool& fault) {
    for (int i = 0; i < kSubFrame; ++i) y[i] = shr(y[i], 3);
    int32_t lxy = 0;
    for (int i = 0; i < kSubFrame; ++i) lxy = L_mac(lxy, x[i], y[i]);
    int16_t exp_xy = norm_l(lxy);
    int16_t xy = extract_h(L_shl(lxy, exp_xy));
    if (xy <= 0) {
        *gain_q = kFixedCodebookGain[0];
        return 0;
    }
    int32_t lyy = 0;
    for (int i = 0; i < kSubFrame; ++i) lyy = L_mac(lyy, y[i], y[i]);
    int16_t exp_yy = norm_l(lyy);
    int16_t yy = extract_h(L_shl(lyy, exp_yy));
    xy = shr(xy, 1);
    int16_t gain_nq = div_s(xy, yy, fault);
    int16_t sh = sub(add(exp_xy, 5), exp_yy);
    gain_nq = shr(gain_nq, sh);
    int16_t best = 0;
    int16_t dist_min = abs_s(sub(gain_nq, kFixedCodebookGain[0]));
    for (int i = 1; i < kGainLevels; ++i) {
        int16_t dist = abs_s(sub(gain_nq, kFixedCodebookGain[i]));
        if (dist < dist_min) {
            dist_min = dist;
            best = static_cast<int16_t>(i);
        }
    }
    *gain_q = kFixedCodebookGain[best];
    return best;
}

// Writes `width` bits of `value`, least significant first, at bit `pos`.
inline void PutBits(uint8_t* out, int& pos, uint32_t value, int width) {
    for (int i = 0; i < width; ++i, ++pos)
        if ((value >> i) & 1u)
            out[pos >> 3] = static_cast<uint8_t>(out[pos >> 3] | (1u << (pos & 7)));
}

}  // namespace

void Encoder::Reset() {
    std::memcpy(prev_lsp_, kLspDcVector, sizeof(prev_lsp_));
    std::memset(prev_dat_, 0, sizeof(prev_dat_));
    std::memset(prev_wgt_, 0, sizeof(prev_wgt_));
    std::memset(prev_err_, 0, sizeof(prev_err_));
    std::memset(prev_exc_, 0, sizeof(prev_exc_));
    std::memset(wght_fir_, 0, sizeof(wght_fir_));
    std::memset(wght_iir_, 0, sizeof(wght_iir_));
    std::memset(ring_fir_, 0, sizeof(ring_fir_));
    std::memset(ring_iir_, 0, sizeof(ring_iir_));
    for (int32_t& e : taming_) e = kTamingFloor;
    sine_detect_ = 0;
    allowance_ = kSearchAllowance;
    fault_ = false;
}

int16_t Encoder::Durbin(int16_t* lpc, const int16_t* corr, int16_t err) {
    int16_t pk2 = 0;
    int16_t temp[kLpcOrder];
    for (int i = 0; i < kLpcOrder; ++i) lpc[i] = 0;
    for (int i = 0; i < kLpcOrder; ++i) {
        // Partial correlation: corr[i] minus the prediction from the lower lags.
        int32_t acc0 = L_shr(L_deposit_h(corr[i]), 2);
        for (int j = 0; j < i; ++j) acc0 = L_msu(acc0, lpc[j], corr[i - j - 1]);
        acc0 = L_shl(acc0, 2);
        const int32_t num = acc0;
        acc0 = L_abs(acc0);
        const int32_t acc2 = L_deposit_h(err);
        if (acc0 >= acc2) {  // reflection coefficient of magnitude one: stop here
            pk2 = kMax16;
            break;
        }
        // pk is minus the reflection coefficient.
        int16_t pk = div_l(acc0, err, fault_);
        if (num >= 0) pk = negate(pk);
        if (i == 1) pk2 = pk;
        lpc[i] = round_l(L_shr(L_deposit_h(negate(pk)), 2));
        err = round_l(L_add(L_mls(num, pk), acc2));
        for (int j = 0; j < i; ++j) temp[j] = lpc[j];
        for (int j = 0; j < i; ++j)
            lpc[j] = round_l(L_mac(L_deposit_h(lpc[j]), pk, temp[i - j - 1]));
    }
    return pk2;
}

void Encoder::ComputeLpc(const int16_t* data, int16_t* lpc) {
    int16_t buf[kHistory + kFrame];
    std::memcpy(buf, prev_dat_, sizeof(prev_dat_));
    std::memcpy(buf + kHistory, data, kFrame * sizeof(int16_t));
    for (int k = 0; k < kSubFrames; ++k) {
        // Scale the 180-sample window so that its peak has three bits of
        // headroom (the energy sum must not saturate), then apply the window.
        int16_t vect[kLpcFrame];
        int16_t peak = 0;
        for (int i = 0; i < kLpcFrame; ++i) {
            vect[i] = buf[k * kSubFrame + i];
            int16_t a = abs_s(vect[i]);
            if (a > peak) peak = a;
        }
        const int16_t scale = sub(norm_s(peak), 3);
        for (int i = 0; i < kLpcFrame; ++i)
            vect[i] = mult_r(shl(vect[i], scale), kLpcHammingWindow[i]);
        // The window keeps |vect| below 32767, so each half product is the
        // plain product; a saturating sum of squares is the plain sum capped,
        // and when that sum fits, every lag sum (bounded by it) is plain too.
        const int64_t energy = Energy(vect, kLpcFrame);
        const bool plain = fast_ && energy <= kMax32;
        int32_t acc = static_cast<int32_t>(energy);
        if (!plain) {
            acc = 0;
            for (int j = 0; j < kLpcFrame; ++j)
                acc = L_add(acc, L_shr(L_mult(vect[j], vect[j]), 1));
        }
        acc = L_add(acc, L_shr(acc, 10));  // white-noise correction 1025/1024
        const int16_t exp = norm_l(acc);
        int16_t acf[kLpcOrder + 1];
        acf[0] = round_l(L_shl(acc, exp));
        for (int i = 1; i <= kLpcOrder; ++i) {
            if (acf[0] == 0) {
                acf[i] = 0;
                continue;
            }
            int32_t s = 0;
            if (plain) {
                s = Dot(vect + i, vect, kLpcFrame - i);
            } else {
                for (int j = i; j < kLpcFrame; ++j)
                    s = L_add(s, L_shr(L_mult(vect[j], vect[j - i]), 1));
            }
            acf[i] = round_l(L_mls(L_shl(s, exp), kLpcBinomialWindow[i - 1]));
        }
        const int16_t pk2 = Durbin(lpc + k * kLpcOrder, acf + 1, acf[0]);
        // Sine detector: one bit per subframe, set when the second reflection
        // coefficient is close to one.
        sine_detect_ = static_cast<int16_t>(sine_detect_ << 1);
        if (pk2 > 0x799a) sine_detect_ = static_cast<int16_t>(sine_detect_ + 1);
    }
    sine_detect_ = static_cast<int16_t>(sine_detect_ & 0x7fff);
    int ones = 0;
    for (int i = 0; i < 15; ++i) ones += (sine_detect_ >> i) & 1;
    if (ones >= 14) sine_detect_ = static_cast<int16_t>(sine_detect_ | 0x8000);
}

void Encoder::LpcToLsp(int16_t* lsp, const int16_t* lpc) {
    for (int i = 0; i < kLpcOrder; ++i) lsp[i] = mult_r(lpc[i], kLpcBandwidthExpansion[i]);
    // Sum and difference polynomials, each divided by its trivial root.
    int32_t lpq[kLpcOrder + 2];
    lpq[0] = lpq[1] = 0x02000000;
    for (int i = 0; i < kLpcOrder / 2; ++i) {
        int32_t lo = L_shr(L_deposit_h(lsp[i]), 4);
        int32_t hi = L_shr(L_deposit_h(lsp[kLpcOrder - 1 - i]), 4);
        lpq[2 * i + 2] = L_sub(L_sub(L_negate(lpq[2 * i]), lo), hi);
        lpq[2 * i + 3] = L_add(L_sub(lpq[2 * i + 1], lo), hi);
    }
    lpq[kLpcOrder] = L_shr(lpq[kLpcOrder], 1);
    lpq[kLpcOrder + 1] = L_shr(lpq[kLpcOrder + 1], 1);
    int32_t max = 0;
    for (int i = 0; i < kLpcOrder + 2; ++i) {
        int32_t a = L_abs(lpq[i]);
        if (a > max) max = a;
    }
    int16_t exp = norm_l(max);
    int16_t spq[kLpcOrder + 2];
    for (int i = 0; i < kLpcOrder + 2; ++i) spq[i] = round_l(L_shl(lpq[i], exp));

    // Root search on the cosine grid, alternating between the polynomials.
    auto eval = [&](int point, int poly) {
        int32_t v = 0;
        for (int j = 0; j <= kLpcOrder / 2; ++j)
            v = L_mac(v, spq[kLpcOrder - 2 * j + poly], kLspCosine[(point * j) & 511]);
        return v;
    };
    int poly = 0;
    int count = 0;
    int32_t prev = eval(0, poly);
    for (int i = 1; i < 256; ++i) {
        int32_t cur = eval(i, poly);
        if ((cur ^ prev) < 0) {
            int32_t a0 = L_add(L_abs(cur), L_abs(prev));
            int16_t e = norm_l(a0);
            a0 = L_shl(a0, e);
            int32_t a1 = L_shr(L_shl(L_abs(prev), e), 8);
            int16_t frac = div_l(a1, extract_h(a0), fault_);
            lsp[count] = add(frac, static_cast<int16_t>((i - 1) << 7));
            if (++count == kLpcOrder) break;
            poly ^= 1;
            cur = eval(i, poly);
        }
        prev = cur;
    }
    if (count != kLpcOrder) std::memcpy(lsp, prev_lsp_, sizeof(prev_lsp_));
}

int32_t Encoder::QuantizeLsp(int16_t* lsp) {
    int16_t w[kLpcOrder];
    w[0] = sub(lsp[1], lsp[0]);
    w[kLpcOrder - 1] = sub(lsp[kLpcOrder - 1], lsp[kLpcOrder - 2]);
    for (int i = 1; i < kLpcOrder - 1; ++i) {
        int16_t t0 = sub(lsp[i + 1], lsp[i]);
        int16_t t1 = sub(lsp[i], lsp[i - 1]);
        w[i] = t0 > t1 ? t1 : t0;
    }
    for (int i = 0; i < kLpcOrder; ++i) w[i] = w[i] > 0x20 ? div_s(0x20, w[i], fault_) : kMax16;
    int16_t max = 0;
    for (int i = 0; i < kLpcOrder; ++i)
        if (w[i] > max) max = w[i];
    int16_t exp = norm_s(max);
    for (int i = 0; i < kLpcOrder; ++i) w[i] = shl(w[i], exp);
    // Target: the LSPs less their mean and the prediction from the last frame.
    for (int i = 0; i < kLpcOrder; ++i) {
        int16_t pred = mult_r(sub(prev_lsp_[i], kLspDcVector[i]), kLspPredictor);
        lsp[i] = sub(sub(lsp[i], kLspDcVector[i]), pred);
    }
    int32_t index = 0;
    for (int k = 0; k < 3; ++k) {
        const int first = kLspBandInfo[2 * k];
        const int len = kLspBandInfo[2 * k + 1];
        const int16_t* cb = kLspCodebooks[k];
        int32_t best = 0;
        int32_t best_i = 0;
        // The weights lie in [0, 32767], so |tmp| <= |code value|; with these
        // bounds on every partial sum the criterion needs no saturation.
        static const std::array<int32_t, 3> code_max = [] {
            std::array<int32_t, 3> m{};
            for (int b = 0; b < 3; ++b)
                m[b] = AbsMax(kLspCodebooks[b], kLspCodebookSize * kLspBandInfo[2 * b + 1]);
            return m;
        }();
        const int64_t cmax = code_max[k];
        const int64_t lmax = AbsMax(lsp + first, len);
        if (fast_ && 4 * len * lmax * cmax + 2 * len * cmax * cmax <= kMax32) {
            // Code values transposed (value j of every entry together), so the
            // criterion of all 256 entries is computed side by side.
            static const auto columns = [] {
                std::array<std::array<std::array<int16_t, kLspCodebookSize>, 4>, 3> t{};
                for (int b = 0; b < 3; ++b)
                    for (int i = 0; i < kLspCodebookSize; ++i)
                        for (int j = 0; j < kLspBandInfo[2 * b + 1]; ++j)
                            t[b][j][i] = kLspCodebooks[b][i * kLspBandInfo[2 * b + 1] + j];
                return t;
            }();
            int32_t crit[kLspCodebookSize] = {};
            for (int j = 0; j < len; ++j) {
                const int32_t wj = w[first + j];
                const int32_t lj = 4 * int32_t{lsp[first + j]};
                const int16_t* col = columns[k][j].data();
                for (int i = 0; i < kLspCodebookSize; ++i) {
                    const int32_t t = (wj * col[i] + 0x4000) >> 15;
                    crit[i] += lj * t - 2 * col[i] * t;
                }
            }
            for (int i = 0; i < kLspCodebookSize; ++i)
                if (crit[i] > best) {
                    best = crit[i];
                    best_i = i;
                }
            index = (index << 8) + best_i;
            continue;
        }
        for (int i = 0; i < kLspCodebookSize; ++i, cb += len) {
            int16_t tmp[4];
            for (int j = 0; j < len; ++j) tmp[j] = mult_r(w[first + j], cb[j]);
            int32_t acc = 0;
            for (int j = 0; j < len; ++j) acc = L_mac(acc, lsp[first + j], tmp[j]);
            acc = L_shl(acc, 1);
            for (int j = 0; j < len; ++j) acc = L_msu(acc, cb[j], tmp[j]);
            if (acc > best) {
                best = acc;
                best_i = i;
            }
        }
        index = (index << 8) + best_i;
    }
    return index;
}

void Encoder::DecodeLsp(int16_t* lsp, int32_t index) {
    for (int k = 2; k >= 0; --k) {
        const int first = kLspBandInfo[2 * k];
        const int len = kLspBandInfo[2 * k + 1];
        const int16_t* cb = kLspCodebooks[k] + (index & 0xff) * len;
        for (int j = 0; j < len; ++j) lsp[first + j] = cb[j];
        index >>= 8;
    }
    int16_t prev[kLpcOrder];
    for (int i = 0; i < kLpcOrder; ++i) {
        prev[i] = sub(prev_lsp_[i], kLspDcVector[i]);
        lsp[i] = add(lsp[i], mult_r(prev[i], kLspPredictor));
        lsp[i] = add(lsp[i], kLspDcVector[i]);
    }
    // Keep the frequencies ordered and apart by at least the minimum distance.
    const int16_t scon = 0x100;
    bool unstable = false;
    for (int pass = 0; pass < kLpcOrder; ++pass) {
        if (lsp[0] < 0x180) lsp[0] = 0x180;
        if (lsp[kLpcOrder - 1] > 0x7e00) lsp[kLpcOrder - 1] = 0x7e00;
        for (int i = 1; i < kLpcOrder; ++i) {
            int16_t t = sub(add(scon, lsp[i - 1]), lsp[i]);
            if (t > 0) {
                t = shr(t, 1);
                lsp[i - 1] = sub(lsp[i - 1], t);
                lsp[i] = add(lsp[i], t);
            }
        }
        unstable = false;
        for (int i = 1; i < kLpcOrder; ++i)
            if (sub(sub(add(lsp[i - 1], scon), 4), lsp[i]) > 0) unstable = true;
        if (!unstable) break;
    }
    if (unstable) std::memcpy(lsp, prev_lsp_, sizeof(prev_lsp_));
}

void Encoder::InterpolateLsp(int16_t* qnt_lpc, const int16_t* lsp) {
    int16_t fac = 0x1000;
    for (int i = 0; i < kSubFrames; ++i) {
        int16_t prv = sub(0x4000, fac);
        int16_t* d = qnt_lpc + i * kLpcOrder;
        for (int j = 0; j < kLpcOrder; ++j)
            d[j] = round_l(L_shl(L_mac(L_mult(lsp[j], fac), prev_lsp_[j], prv), 1));
        LspToLpc(d);
        fac = add(fac, 0x1000);
    }
}

void Encoder::ShiftHistory(int16_t* data) {
    int16_t buf[kHistory + kFrame];
    std::memcpy(buf, prev_dat_, sizeof(prev_dat_));
    std::memcpy(buf + kHistory, data, kFrame * sizeof(int16_t));
    std::memcpy(prev_dat_, buf + kFrame, sizeof(prev_dat_));
    std::memcpy(data, buf + kHistory / 2, kFrame * sizeof(int16_t));
}

void Encoder::WeightSpeech(int16_t* data, const int16_t* per_lpc) {
    for (int k = 0; k < kSubFrames; ++k, per_lpc += 2 * kLpcOrder) {
        int16_t* d = data + k * kSubFrame;
        int16_t x[kLpcOrder + kSubFrame];
        LineToBuffer(wght_fir_, x);
        std::memcpy(x + kLpcOrder, d, kSubFrame * sizeof(int16_t));
        for (int j = 0; j < kLpcOrder; ++j) wght_fir_[j] = x[kLpcOrder + kSubFrame - 1 - j];
        int32_t acc[kSubFrame];
        for (int i = 0; i < kSubFrame; ++i) acc[i] = L_shr(L_deposit_h(d[i]), 2);
        ZeroPass(acc, per_lpc, x, FilterSums::Twice(AbsSum(per_lpc, kLpcOrder), fast_));
        PolePass(acc, per_lpc + kLpcOrder, wght_iir_,
                 FilterSums::Twice(AbsSum(per_lpc + kLpcOrder, kLpcOrder), fast_), d);
    }
}

int16_t Encoder::EstimatePitch(const int16_t* buf, int start) {
    int16_t index = kPitchMin;
    int16_t mxp = 30;
    int16_t mcr = 0x4000;
    int16_t mnr = 0x7fff;
    int pr = start - kPitchMin + 1;
    int32_t energy = 0;
    for (int j = 0; j < 2 * kSubFrame; ++j) energy = L_mac(energy, buf[pr + j], buf[pr + j]);
    // Exact energies of the two segments bound the cross correlation.
    const int64_t cur_energy = Energy(buf + start, 2 * kSubFrame);
    int64_t lag_energy = Energy(buf + pr, 2 * kSubFrame);
    for (int i = kPitchMin; i <= kPitchMax - 3; ++i) {
        --pr;
        energy = L_msu(energy, buf[pr + 2 * kSubFrame], buf[pr + 2 * kSubFrame]);
        energy = L_mac(energy, buf[pr], buf[pr]);
        lag_energy +=
            int32_t{buf[pr]} * buf[pr] - int32_t{buf[pr + 2 * kSubFrame]} * buf[pr + 2 * kSubFrame];
        int32_t acc = 0;
        if (fast_ && MacSafe(cur_energy, lag_energy)) {
            acc = 2 * Dot(buf + start, buf + pr, 2 * kSubFrame);
        } else {
            for (int j = 0; j < 2 * kSubFrame; ++j) acc = L_mac(acc, buf[start + j], buf[pr + j]);
        }
        if (acc <= 0) continue;
        // Squared normalised cross correlation as mantissa ccr / enr and exponent.
        int16_t exp = norm_l(acc);
        acc = L_shl(acc, exp);
        exp = shl(exp, 1);
        int16_t ccr = round_l(acc);
        acc = L_mult(ccr, ccr);
        ccr = norm_l(acc);
        acc = L_shl(acc, ccr);
        exp = add(exp, ccr);
        ccr = extract_h(acc);
        int16_t enr = norm_l(energy);
        acc = L_shl(energy, enr);
        exp = sub(exp, enr);
        enr = round_l(acc);
        if (ccr >= enr) {
            exp = sub(exp, 1);
            ccr = shr(ccr, 1);
        }
        if (exp > mxp) continue;
        if (exp + 1 < mxp) {
            index = static_cast<int16_t>(i);
            mxp = exp;
            mcr = ccr;
            mnr = enr;
            continue;
        }
        int16_t tmp = (exp + 1 == mxp) ? shr(mcr, 1) : mcr;
        acc = L_msu(L_mult(ccr, mnr), enr, tmp);
        if (acc <= 0) continue;
        if (i - index < kPitchMin) {
            index = static_cast<int16_t>(i);
            mxp = exp;
            mcr = ccr;
            mnr = enr;
        } else {
            // A lag far from the current best must win by a margin.
            acc = L_negate(L_shr(L_mult(ccr, mnr), 2));
            acc = L_mac(acc, ccr, mnr);
            acc = L_msu(acc, enr, tmp);
            if (acc > 0) {
                index = static_cast<int16_t>(i);
                mxp = exp;
                mcr = ccr;
                mnr = enr;
            }
        }
    }
    return index;
}

HarmonicFilter Encoder::ComputeHarmonic(const int16_t* buf, int start, int16_t olp) {
    int32_t lcr[15];
    lcr[0] = 0;
    for (int i = 0; i < kSubFrame; ++i) lcr[0] = L_mac(lcr[0], buf[start + i], buf[start + i]);
    const int64_t cur_energy = Energy(buf + start, kSubFrame);
    for (int i = 0; i <= 2 * kHarmonicRange; ++i) {
        const int16_t* d = buf + start - (olp - kHarmonicRange + i);
        int32_t ccr = 0;
        int32_t enr = 0;
        // A saturating sum of squares is the plain sum capped; the cross sum
        // is plain when the energies bound it.
        const int64_t lag_energy = Energy(d, kSubFrame);
        if (fast_ && MacSafe(cur_energy, lag_energy)) {
            ccr = 2 * Dot(buf + start, d, kSubFrame);
            enr = lag_energy >= (int64_t{1} << 30) ? kMax32 : static_cast<int32_t>(2 * lag_energy);
        } else {
            for (int j = 0; j < kSubFrame; ++j) {
                ccr = L_mac(ccr, buf[start + j], d[j]);
                enr = L_mac(enr, d[j], d[j]);
            }
        }
        lcr[2 * i + 1] = enr;
        lcr[2 * i + 2] = ccr;
    }
    int32_t max = 0;
    for (int i = 0; i < 15; ++i) {
        int32_t a = L_abs(lcr[i]);
        if (a > max) max = a;
    }
    int16_t exp = norm_l(max);
    int16_t scr[15];
    for (int i = 0; i < 15; ++i) scr[i] = round_l(L_shl(lcr[i], exp));

    HarmonicFilter pw;
    int best = -1;
    int16_t mcr = 1;
    int16_t mnr = 0x7fff;
    for (int i = 0; i <= 2 * kHarmonicRange; ++i) {
        int16_t enr = scr[2 * i + 1];
        int16_t ccr = scr[2 * i + 2];
        if (ccr <= 0) continue;
        int16_t sq = mult_r(ccr, ccr);
        if (L_msu(L_mult(sq, mnr), enr, mcr) > 0) {
            mcr = sq;
            mnr = enr;
            best = i;
        }
    }
    if (best == -1) {
        pw.lag = olp;
        return pw;
    }
    // Use the filter only if the prediction gain is high enough.
    int32_t a0 = L_mult(scr[0], mnr);
    a0 = L_add(L_shr(a0, 2), L_shr(a0, 3));
    a0 = L_sub(a0, L_mult(scr[2 * best + 2], scr[2 * best + 2]));
    if (a0 < 0) {
        int16_t c = scr[2 * best + 2];
        if (c >= mnr) {
            pw.gain = kHarmonicGain;
        } else {
            pw.gain = mult_r(div_s(c, mnr, fault_), kHarmonicGain);
        }
    }
    pw.lag = static_cast<int16_t>(olp - kHarmonicRange + best);
    return pw;
}

namespace {

// Runs one subframe through the synthesis filter, the formant weighting filter
// and the harmonic weighting filter. With `impulse` the input is a unit
// impulse into filters at rest (the impulse response); otherwise the input is
// zero and the filters start from the given state (the ringing). out[i]
// receives the 32-bit output before rounding.
void Cascade(bool impulse, const int16_t* qnt_lpc, const int16_t* per_lpc, HarmonicFilter pw,
             int16_t* fir, int16_t* iir, int16_t* temp, int32_t* out, bool fast) {
    const FilterSums sums(qnt_lpc, per_lpc, fast);
    int32_t acc[kSubFrame] = {};
    if (impulse) acc[0] = 0x04000000;
    // The synthesis output, which both the synthesis and the zero part filter.
    int16_t syn[kLpcOrder + kSubFrame];
    LineToBuffer(fir, syn);
    PolePass(acc, qnt_lpc, fir, sums.synthesis, syn + kLpcOrder);
    ZeroPass(acc, per_lpc, syn, sums.zero);
    if (impulse)
        for (int i = 0; i < kSubFrame; ++i) acc[i] = L_shl(acc[i], 1);
    PolePass(acc, per_lpc + kLpcOrder, iir, sums.pole, temp + kPitchMax);
    for (int i = 0; i < kSubFrame; ++i)
        out[i] = L_msu(L_deposit_h(temp[kPitchMax + i]), pw.gain, temp[kPitchMax - pw.lag + i]);
}

void ImpulseResponse(int16_t* imp, const int16_t* qnt_lpc, const int16_t* per_lpc,
                     HarmonicFilter pw, bool fast) {
    int16_t fir[kLpcOrder] = {};
    int16_t iir[kLpcOrder] = {};
    int16_t temp[kPitchMax + kSubFrame] = {};
    int32_t out[kSubFrame];
    Cascade(true, qnt_lpc, per_lpc, pw, fir, iir, temp, out, fast);
    for (int i = 0; i < kSubFrame; ++i) imp[i] = round_l(out[i]);
}

}  // namespace

void Encoder::SubtractRinging(int16_t* target, const int16_t* qnt_lpc, const int16_t* per_lpc,
                              HarmonicFilter pw) {
    int16_t fir[kLpcOrder];
    int16_t iir[kLpcOrder];
    int16_t temp[kPitchMax + kSubFrame];
    std::memcpy(temp, prev_err_, sizeof(prev_err_));
    std::memcpy(fir, ring_fir_, sizeof(fir));
    std::memcpy(iir, ring_iir_, sizeof(iir));
    int32_t out[kSubFrame];
    Cascade(false, qnt_lpc, per_lpc, pw, fir, iir, temp, out, fast_);
    for (int i = 0; i < kSubFrame; ++i) target[i] = round_l(L_sub(L_deposit_h(target[i]), out[i]));
}

int16_t Encoder::TestError(int16_t lag1, int16_t lag2) const {
    int i2 = lag2 + kPitchOrder / 2;
    int zone2 = mult(static_cast<int16_t>(i2), 1092);
    int i1 = -kSubFrame + 1 + lag1 - kPitchOrder / 2;
    if (i1 <= 0) i1 = 1;
    int zone1 = mult(static_cast<int16_t>(i1), 1092);
    int32_t err_max = -1;
    for (int i = zone2; i >= zone1; --i)
        if (L_sub(taming_[i], err_max) > 0) err_max = taming_[i];
    int32_t acc = L_sub(err_max, kTamingThreshold);
    if (acc > 0 || sine_detect_ < 0) return 0;
    return extract_l(L_shr(L_negate(acc), kTamingShift));
}

namespace {

// The gain-codebook search over whole groups of four rows, for a vector v
// (padded to 24) that max |v| * sum |g| shows cannot make any partial sum
// saturate, so the modular SIMD sums are exact. Keeps the first row in order
// with the largest sum above `best`, as the row-by-row loop does, and returns
// how many rows it has searched (0 without SSE2).
int SearchGainGroups(const int16_t* v24, const GainRows& rows, int bound, int k, int32_t& best,
                     int16_t& gid, int16_t& lid) {
#if defined(__SSE2__)
    const __m128i v0 = Load8(v24), v1 = Load8(v24 + 8), v2 = Load8(v24 + 16);
    auto row = [&](int i) {
        const int16_t* g = rows.padded[i].data();
        return _mm_add_epi32(
            _mm_add_epi32(_mm_madd_epi16(v0, Load8(g)), _mm_madd_epi16(v1, Load8(g + 8))),
            _mm_madd_epi16(v2, Load8(g + 16)));
    };
    int i = 0;
    for (; i + 4 <= bound; i += 4) {
        const __m128i a0 = row(i), a1 = row(i + 1), a2 = row(i + 2), a3 = row(i + 3);
        // Transpose and add: lane r holds the sum of row i + r.
        const __m128i s01 = _mm_add_epi32(_mm_unpacklo_epi32(a0, a1), _mm_unpackhi_epi32(a0, a1));
        const __m128i s23 = _mm_add_epi32(_mm_unpacklo_epi32(a2, a3), _mm_unpackhi_epi32(a2, a3));
        const __m128i sums =
            _mm_add_epi32(_mm_unpacklo_epi64(s01, s23), _mm_unpackhi_epi64(s01, s23));
        if (_mm_movemask_epi8(_mm_cmpgt_epi32(sums, _mm_set1_epi32(best))) == 0) continue;
        int32_t acc[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(acc), sums);
        for (int r = 0; r < 4; ++r)
            if (acc[r] > best) {
                best = acc[r];
                gid = static_cast<int16_t>(i + r);
                lid = static_cast<int16_t>(k);
            }
    }
    return i;
#else
    (void)v24, (void)rows, (void)bound, (void)k, (void)best, (void)gid, (void)lid;
    return 0;
#endif
}

}  // namespace

void Encoder::FindAdaptive(int16_t* target, const int16_t* imp, int16_t* olp_io, int sfc,
                           Subframe& sf) {
    int16_t olp = *olp_io;
    const int hb = 3 + (sfc & 1);
    if ((sfc & 1) == 0) {
        if (olp == kPitchMin) olp = add(olp, 1);
        if (olp > kPitchMax - 5) olp = kPitchMax - 5;
    }
    // rev[63 - i + j] = imp[i - j], zero where i - j is outside the response,
    // so that each convolution sum is one fixed-length dot product; sum |imp|
    // bounds every convolution sum below.
    int16_t rev[2 * kLongSub] = {};
    for (int m = 0; m < kSubFrame; ++m) rev[kLongSub - 1 - m] = imp[m];
    const int64_t imp_abs = AbsSum(imp, kSubFrame);
    const int64_t imp_max = AbsMax(imp, kSubFrame);
    const int64_t target_energy = Energy(target, kSubFrame);

    int32_t cor[4 * 20];
    int32_t* lp = cor;
    for (int k = 0; k < hb; ++k) {
        int16_t rez[kSubFrame + kPitchOrder - 1];
        GetResidual(rez, prev_exc_, olp - 1 + k);
        int16_t flt[kPitchOrder][kSubFrame];
        const int16_t* r = rez + kPitchOrder - 1;
        int16_t r64[kLongSub] = {};
        std::memcpy(r64, r, kSubFrame * sizeof(int16_t));
        if (fast_ && 2 * AbsMax(r, kSubFrame) * imp_abs <= kMax32) {
            for (int i = 0; i < kSubFrame; ++i)
                flt[kPitchOrder - 1][i] = round_l(2 * Dot(r64, rev + kLongSub - 1 - i, kLongSub));
        } else {
            for (int i = 0; i < kSubFrame; ++i) {
                int32_t acc = 0;
                for (int j = 0; j <= i; ++j) acc = L_mac(acc, r[j], imp[i - j]);
                flt[kPitchOrder - 1][i] = round_l(acc);
            }
        }
        // Each further tap: the previous filtered vector delayed by one plus
        // rez[i] times the impulse response. When max |previous| * 2^16 +
        // 2 |rez[i]| max |imp| + 2^15 fits, neither the sum nor its rounding
        // saturates.
        for (int i = kPitchOrder - 2; i >= 0; --i) {
            flt[i][0] = mult_r(rez[i], 0x2000);
            const int16_t* prev = flt[i + 1];
            if (fast_ && AbsMax(prev, kSubFrame - 1) * 65536 +
                                 2 * std::abs(int32_t{rez[i]}) * imp_max + 0x8000 <=
                             kMax32) {
                const int32_t ri = 2 * int32_t{rez[i]};
                for (int j = 1; j < kSubFrame; ++j)
                    flt[i][j] =
                        static_cast<int16_t>((prev[j - 1] * 65536 + ri * imp[j] + 0x8000) >> 16);
                continue;
            }
            for (int j = 1; j < kSubFrame; ++j)
                flt[i][j] = round_l(L_mac(L_deposit_h(prev[j - 1]), rez[i], imp[j]));
        }
        int64_t energy[kPitchOrder];
        for (int i = 0; i < kPitchOrder; ++i) energy[i] = Energy(flt[i], kSubFrame);
        // Cross terms accumulate half products and double afterwards, so a
        // partial sum that would saturate can still come back into range.
        for (int i = 0; i < kPitchOrder; ++i) {
            if (fast_ && MacSafe(target_energy, energy[i])) {
                *lp++ = L_shl(Dot(target, flt[i], kSubFrame), 1);
                continue;
            }
            int32_t acc = 0;
            for (int j = 0; j < kSubFrame; ++j)
                acc = L_add(acc, L_shr(L_mult(target[j], flt[i][j]), 1));
            *lp++ = L_shl(acc, 1);
        }
        // A saturating sum of non-negative terms is the plain sum capped.
        for (int i = 0; i < kPitchOrder; ++i)
            *lp++ = energy[i] >= (int64_t{1} << 30) ? kMax32 : static_cast<int32_t>(2 * energy[i]);
        for (int i = 1; i < kPitchOrder; ++i)
            for (int j = 0; j < i; ++j) {
                if (fast_ && MacSafe(energy[i], energy[j])) {
                    *lp++ = L_shl(Dot(flt[i], flt[j], kSubFrame), 2);
                    continue;
                }
                int32_t acc = 0;
                for (int l = 0; l < kSubFrame; ++l)
                    acc = L_add(acc, L_shr(L_mult(flt[i][l], flt[j][l]), 1));
                *lp++ = L_shl(acc, 2);
            }
    }
    int32_t max = 0;
    for (int i = 0; i < hb * 20; ++i) {
        int32_t a = L_abs(cor[i]);
        if (a > max) max = a;
    }
    int16_t exp = norm_l(max);
    int16_t vct[4 * 20];
    for (int i = 0; i < hb * 20; ++i) vct[i] = round_l(L_shl(cor[i], exp));

    // The taming procedure limits the gains when the excitation error could grow.
    int16_t off = TestError(static_cast<int16_t>(olp - 1), static_cast<int16_t>(olp - 1 + hb - 1));
    int bound = kGainEntries170Min + shl(off, 3);
    if (bound > kGainEntries170) bound = kGainEntries170;

    // No table value is -32768, so each half product is the plain product;
    // max |v| * sum |g| bounds every partial sum.
    const GainRows& rows = PreparedGainRows();
    int32_t best = 0;
    int16_t lid = 1;
    int16_t gid = 0;
    for (int k = 0; k < hb; ++k) {
        const int16_t* g = kAdaptiveCodebookGain170;
        const int16_t* v = vct + k * 20;
        const int64_t vmax = AbsMax(v, 20);
        int16_t v24[24] = {};
        std::memcpy(v24, v, 20 * sizeof(int16_t));
        int i = 0;
        if (fast_ && vmax * rows.max_abs_sum <= kMax32) {
            i = SearchGainGroups(v24, rows, bound, k, best, gid, lid);
            g += 20 * i;
        }
        for (; i < bound; ++i, g += 20) {
            int32_t acc = 0;
            if (fast_ && vmax * rows.abs_sum[i] <= kMax32) {
                acc = Dot(v24, rows.padded[i].data(), 24);
            } else {
                for (int j = 0; j < 20; ++j) acc = L_add(acc, L_shr(L_mult(v[j], g[j]), 1));
            }
            if (acc > best) {
                best = acc;
                gid = static_cast<int16_t>(i);
                lid = static_cast<int16_t>(k);
            }
        }
    }
    if ((sfc & 1) == 0) {
        olp = static_cast<int16_t>(olp - 1 + lid);
        lid = 1;
    }
    sf.lag_offset = lid;
    sf.gain_index = gid;
    *olp_io = olp;

    int16_t rez[kLongSub] = {};
    DecodeAdaptive(rez, prev_exc_, olp, lid, gid, fast_);
    if (fast_ && (int64_t{1} << 30) + 2 * AbsMax(rez, kSubFrame) * imp_abs <= kMax32) {
        for (int i = 0; i < kSubFrame; ++i) {
            const int32_t acc = target[i] * 32768 - 2 * Dot(rez, rev + kLongSub - 1 - i, kLongSub);
            target[i] = round_l(L_shl(acc, 1));
        }
        return;
    }
    for (int i = 0; i < kSubFrame; ++i) {
        int32_t acc = L_shr(L_deposit_h(target[i]), 1);
        for (int j = 0; j <= i; ++j) acc = L_msu(acc, rez[j], imp[i - j]);
        target[i] = round_l(L_shl(acc, 1));
    }
}

namespace {

// The last pulse's eight candidates (criterion numerator c3 and energy a3)
// for the pulse search, with SSE2. Returns 1 when at least one of them beats
// the current best (c3 alpha > psc a3), 0 when none does and the caller has
// nothing to choose, and -1 without SSE2, where the caller computes them.
// Every value is in range: ps3^2 / 2^15 is capped at 32767 as in the plain
// loop, and the energy is 2 x (four diagonal entries) + 4 x (six cross
// entries), at most 32 x 32768 in magnitude, so after the shift by 5 it fits
// 16 bits and the saturating pack does not change it. Each product in the
// test is below 2^30 and psc >= 0, so the difference is exact in 32 bits.
inline int Candidates(int16_t ps2, const int16_t* d3, int32_t alp2, const int16_t* r33,
                      const int16_t* q03, const int16_t* q13, const int16_t* q23, int16_t psc,
                      int16_t alpha, int16_t* c3, int16_t* a3) {
#if defined(__SSE2__)
    const __m128i ps3 = _mm_adds_epi16(_mm_set1_epi16(ps2), Load8(d3));
    const __m128i hi = _mm_mulhi_epi16(ps3, ps3);
    const __m128i lo = _mm_mullo_epi16(ps3, ps3);
    const __m128i c = _mm_or_si128(_mm_adds_epi16(hi, hi), _mm_srli_epi16(lo, 15));
    const __m128i r = Load8(r33), x = Load8(q03), y = Load8(q13), z = Load8(q23);
    const __m128i w24 = _mm_set1_epi32(0x00040002);  // pairs (2, 4)
    const __m128i w44 = _mm_set1_epi32(0x00040004);  // pairs (4, 4)
    const __m128i base = _mm_set1_epi32(alp2);
    const __m128i e_lo = _mm_srai_epi32(
        _mm_add_epi32(base, _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(r, x), w24),
                                          _mm_madd_epi16(_mm_unpacklo_epi16(y, z), w44))),
        5);
    const __m128i e_hi = _mm_srai_epi32(
        _mm_add_epi32(base, _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(r, x), w24),
                                          _mm_madd_epi16(_mm_unpackhi_epi16(y, z), w44))),
        5);
    const __m128i a = _mm_packs_epi32(e_lo, e_hi);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(c3), c);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(a3), a);
    // c3 alpha - a3 psc for each candidate, from (c3, a3) . (alpha, -psc).
    const __m128i k = _mm_set1_epi32(static_cast<int32_t>(
        (static_cast<uint32_t>(static_cast<uint16_t>(-psc)) << 16) | static_cast<uint16_t>(alpha)));
    const __m128i t_lo = _mm_madd_epi16(_mm_unpacklo_epi16(c, a), k);
    const __m128i t_hi = _mm_madd_epi16(_mm_unpackhi_epi16(c, a), k);
    const __m128i zero = _mm_setzero_si128();
    const __m128i better =
        _mm_packs_epi32(_mm_cmpgt_epi32(t_lo, zero), _mm_cmpgt_epi32(t_hi, zero));
    return _mm_movemask_epi8(better) != 0 ? 1 : 0;
#else
    (void)ps2, (void)d3, (void)alp2, (void)r33, (void)q03, (void)q13, (void)q23, (void)psc,
        (void)alpha, (void)c3, (void)a3;
    return -1;
#endif
}

}  // namespace

int16_t Encoder::AcelpSearch(int16_t* dn, const int16_t* rr_in, const int16_t* h, int16_t* y,
                             int16_t* grid, int16_t* signs) {
    int16_t rr[4 * kPositions + 6 * kMatrix];
    std::memcpy(rr, rr_in, sizeof(rr));
    const int16_t* r00 = rr;
    const int16_t* r11 = rr + kPositions;
    const int16_t* r22 = rr + 2 * kPositions;
    const int16_t* r33 = rr + 3 * kPositions;
    int16_t* r01 = rr + 4 * kPositions;
    int16_t* r02 = r01 + kMatrix;
    int16_t* r03 = r02 + kMatrix;
    int16_t* r12 = r03 + kMatrix;
    int16_t* r13 = r12 + kMatrix;
    int16_t* r23 = r13 + kMatrix;

    for (int i = kSubFrame; i < kLongSub; ++i) dn[i] = 0;
    // One sign per pair of positions (the two grids), taken from their sum.
    int16_t sign[kLongSub / 2];
    for (int i = 0; i < kSubFrame; i += 2) {
        if (add(dn[i], dn[i + 1]) >= 0) {
            sign[i / 2] = 1;
        } else {
            sign[i / 2] = -1;
            dn[i] = negate(dn[i]);
            dn[i + 1] = negate(dn[i + 1]);
        }
    }
    sign[30] = sign[31] = 1;

    // Threshold for entering the last pulse's loop, from the first three tracks.
    int16_t thres = 0;
    for (int g = 0; g < 2; ++g) {
        int16_t m0 = dn[g], m1 = dn[g + 2], m2 = dn[g + 4];
        for (int i = 8 + g; i < kSubFrame; i += 8) {
            if (dn[i] > m0) m0 = dn[i];
            if (dn[i + 2] > m1) m1 = dn[i + 2];
            if (dn[i + 4] > m2) m2 = dn[i + 4];
        }
        m0 = add(add(m0, m1), m2);
        int32_t l32 = 0;
        for (int i = g; i < kSubFrame; i += 8) {
            l32 = L_mac(l32, dn[i], 1);
            l32 = L_mac(l32, dn[i + 2], 1);
            l32 = L_mac(l32, dn[i + 4], 1);
        }
        int16_t means = extract_l(L_shr(l32, 4));
        int16_t t = add(mult(sub(m0, means), kAcelpThreshold), means);
        if (g == 0 || t > thres) thres = t;
    }

    // Signs into the cross blocks: entry (a, b) of block tu times the signs
    // of position a of track t and position b of track u. A sign of -1 is a
    // mask of all ones: (r ^ m) - m with saturation is the saturating
    // negation, which is what multiplying by -1 gives.
    int16_t mask[4][kPositions];
    for (int t = 0; t < 4; ++t)
        for (int j = 0; j < kPositions; ++j) mask[t][j] = sign[4 * j + t] < 0 ? -1 : 0;
    auto apply = [&](int16_t* block, int t, int u) {
        for (int a = 0; a < kPositions; ++a) {
            int16_t* row = block + a * kPositions;
            for (int b = 0; b < kPositions; ++b) {
                const int16_t m = static_cast<int16_t>(mask[t][a] ^ mask[u][b]);
                row[b] = Saturate(int32_t{static_cast<int16_t>(row[b] ^ m)} - m);
            }
        }
    };
    apply(r01, 0, 1);
    apply(r02, 0, 2);
    apply(r03, 0, 3);
    apply(r12, 1, 2);
    apply(r13, 1, 3);
    apply(r23, 2, 3);

    // Correlations of the last two tracks' positions on each grid, side by side.
    int16_t dn2[2][kPositions];
    int16_t dn3[2][kPositions];
    for (int g = 0; g < 2; ++g)
        for (int j = 0; j < kPositions; ++j) {
            dn2[g][j] = dn[4 + g + 8 * j];
            dn3[g][j] = dn[6 + g + 8 * j];
        }

    int16_t time = add(kSearchAllowance, allowance_);
    int ip0 = 0, ip1 = 2, ip2 = 4, ip3 = 6;
    int16_t shif = 0;
    int16_t psc = 0;
    int16_t alpha = 32767;
    // Positions are searched on the even grid; for each set of the first three
    // pulses the grid (even or odd) with the larger correlation is kept, and the
    // energies of the even grid stand for both.
    for (int j0 = 0; j0 < kPositions; ++j0) {
        const int i0 = 8 * j0;
        const int16_t ps0 = dn[i0];
        const int16_t ps0a = dn[i0 + 1];
        const int16_t alp0 = r00[j0];
        for (int j1 = 0; j1 < kPositions; ++j1) {
            const int i1 = 2 + 8 * j1;
            const int16_t ps1 = add(ps0, dn[i1]);
            const int16_t ps1a = add(ps0a, dn[i1 + 1]);
            const int32_t alp1 = 2 * int32_t{alp0} + 2 * r11[j1] + 4 * r01[j0 * kPositions + j1];
            // The third pulse's eight positions at once: the better grid of
            // each, and which of them pass the threshold.
            int16_t p2[kPositions];
            int16_t s2[kPositions];
            unsigned pass = 0;
            for (int j2 = 0; j2 < kPositions; ++j2) {
                const int16_t even = add(ps1, dn2[0][j2]);
                const int16_t odd = add(ps1a, dn2[1][j2]);
                s2[j2] = odd > even;
                p2[j2] = odd > even ? odd : even;
                pass |= static_cast<unsigned>(p2[j2] > thres) << j2;
            }
            for (; pass != 0; pass &= pass - 1) {
                const int j2 = __builtin_ctz(pass);
                const int i2 = 4 + 8 * j2;
                const int16_t ps2 = p2[j2];
                const int16_t shift = s2[j2];
                // The energies are sums of at most ten 16-bit values with
                // weights 2 and 4, far inside the 32-bit range, so plain
                // arithmetic gives the saturating result. The criterion's sign
                // is that of the exact difference, which saturation keeps.
                const int32_t alp2 =
                    alp1 + 2 * r22[j2] +
                    4 * (int32_t{r02[j0 * kPositions + j2]} + r12[j1 * kPositions + j2]);
                const int16_t* q03 = r03 + j0 * kPositions;
                const int16_t* q13 = r13 + j1 * kPositions;
                const int16_t* q23 = r23 + j2 * kPositions;
                const int16_t* d3 = dn3[shift];
                // All eight candidates first, then the choice in order.
                int16_t c3[kPositions];
                int16_t a3[kPositions];
                const int found =
                    fast_ ? Candidates(ps2, d3, alp2, r33, q03, q13, q23, psc, alpha, c3, a3) : -1;
                if (found < 0) {
                    for (int j3 = 0; j3 < kPositions; ++j3) {
                        const int32_t ps3 =
                            std::clamp(int32_t{ps2} + d3[j3], int32_t{kMin16}, int32_t{kMax16});
                        c3[j3] = static_cast<int16_t>(std::min((ps3 * ps3) >> 15, int32_t{kMax16}));
                        a3[j3] =
                            static_cast<int16_t>((alp2 + 2 * int32_t{r33[j3]} +
                                                  4 * (int32_t{q03[j3]} + q13[j3] + q23[j3])) >>
                                                 5);
                    }
                }
                for (int j3 = 0; found != 0 && j3 < kPositions; ++j3) {
                    if (int64_t{c3[j3]} * alpha > int64_t{psc} * a3[j3]) {
                        psc = c3[j3];
                        alpha = a3[j3];
                        ip0 = i0;
                        ip1 = i1;
                        ip2 = i2;
                        ip3 = 6 + 8 * j3;
                        shif = shift;
                    }
                }
                time = static_cast<int16_t>(time - 1);
                if (time <= 0) goto end_search;
            }
        }
    }
end_search:
    allowance_ = time;
    ip0 += shif;
    ip1 += shif;
    ip2 += shif;
    ip3 += shif;

    const int16_t s0 = sign[ip0 >> 1], s1 = sign[ip1 >> 1], s2 = sign[ip2 >> 1],
                  s3 = sign[ip3 >> 1];
    for (int i = 0; i < kSubFrame; ++i) y[i] = 0;
    auto add_pulse = [&](int pos, int16_t s) {
        if (pos >= kSubFrame) return;
        for (int i = pos, j = 0; i < kSubFrame; ++i, ++j)
            y[i] = s > 0 ? add(y[i], h[j]) : sub(y[i], h[j]);
    };
    add_pulse(ip0, s0);
    add_pulse(ip1, s1);
    add_pulse(ip2, s2);
    add_pulse(ip3, s3);
    *grid = shif;
    *signs = static_cast<int16_t>((s0 > 0 ? 1 : 0) + (s1 > 0 ? 2 : 0) + (s2 > 0 ? 4 : 0) +
                                  (s3 > 0 ? 8 : 0));
    // Pulse codeword for the caller: positions and signs packed in dn[].
    for (int i = 0; i < kLongSub; ++i) dn[i] = 0;
    dn[ip0] = s0;
    dn[ip1] = s1;
    if (ip2 < kSubFrame) dn[ip2] = s2;
    if (ip3 < kSubFrame) dn[ip3] = s3;
    return static_cast<int16_t>((ip0 >> 3) + ((ip1 >> 3) << 3) + ((ip2 >> 3) << 6) +
                                ((ip3 >> 3) << 9));
}

void Encoder::FindFixed(int16_t* target, int16_t* imp, int16_t olp, Subframe& sf) {
    const int gid = sf.gain_index;
    const int t0 = olp - 1 + sf.lag_offset + kAcelpPitchLagOffset170[gid];
    const int16_t gain_t0 = kAcelpPitchGain170[gid];
    // The pulse search works on the impulse response at half scale (the gain
    // quantiser's denormalisation expects it); the lowest bit is dropped.
    for (int i = 0; i < kSubFrame; ++i) imp[i] = shr(imp[i], 1);
    // Fold the pitch contribution into the impulse response.
    if (t0 < kSubFrame - 2)
        for (int i = t0; i < kSubFrame; ++i) imp[i] = add(imp[i], mult(imp[i - t0], gain_t0));
    int16_t rr[4 * kPositions + 6 * kMatrix];
    CorrelateImpulse(imp, rr);
    int16_t dn[kLongSub];
    CorrelateTarget(imp, target, dn, fast_);
    int16_t y[kSubFrame];
    sf.positions = AcelpSearch(dn, rr, imp, y, &sf.grid, &sf.signs);
    int16_t gain_q;
    sf.fixed_gain = FixedGain(target, y, &gain_q, fault_);
    for (int i = 0; i < kSubFrame; ++i) target[i] = i_mult(dn[i], gain_q);
    if (t0 < kSubFrame - 2)
        for (int i = t0; i < kSubFrame; ++i)
            target[i] = add(target[i], mult(target[i - t0], gain_t0));
}

void Encoder::UpdateError(int16_t olp, int16_t lag_offset, int16_t gain_index) {
    const int16_t lag = static_cast<int16_t>(olp - 1 + lag_offset);
    const int16_t beta = kTamingGain170[gain_index];
    auto grow = [&](int32_t e) { return L_add(kTamingFloor, L_shl(L_mls(e, beta), 2)); };
    // taming_[k] holds the error of the 30-sample block k blocks back; the
    // second half of the new subframe becomes block 0, the first half block 1.
    int32_t second, first;
    if (lag <= kSubFrame / 2) {
        second = grow(taming_[0]);
        first = second;
    } else {
        // mult() by 1092 gives lag / 30, one short when the lag is a multiple of 30.
        const int iz = mult(lag, 1092);
        if (30 * (iz + 1) == lag) {
            // Each half repeats exactly one earlier block.
            second = grow(taming_[iz - 1]);
            first = grow(taming_[iz]);
        } else {
            // Each half straddles two blocks; keep the worse one.
            const int32_t mid = grow(taming_[iz - 1]);
            first = std::max(mid, grow(taming_[iz]));
            second = iz >= 2 ? std::max(mid, grow(taming_[iz - 2])) : first;
        }
    }
    for (int i = 4; i >= 2; --i) taming_[i] = taming_[i - 2];
    taming_[0] = second;
    taming_[1] = first;
}

void Encoder::UpdateRinging(int16_t* exc, const int16_t* qnt_lpc, const int16_t* per_lpc) {
    std::memmove(prev_err_, prev_err_ + kSubFrame, (kPitchMax - kSubFrame) * sizeof(int16_t));
    const FilterSums sums(qnt_lpc, per_lpc, fast_);
    int32_t acc[kSubFrame];
    for (int i = 0; i < kSubFrame; ++i) acc[i] = L_shr(L_deposit_h(exc[i]), 3);
    int16_t syn[kLpcOrder + kSubFrame];
    LineToBuffer(ring_fir_, syn);
    PolePass(acc, qnt_lpc, ring_fir_, sums.synthesis, syn + kLpcOrder);
    for (int i = 0; i < kSubFrame; ++i) exc[i] = shl(syn[kLpcOrder + i], 1);
    ZeroPass(acc, per_lpc, syn, sums.zero);
    PolePass(acc, per_lpc + kLpcOrder, ring_iir_, sums.pole, prev_err_ + kPitchMax - kSubFrame);
}

void Encoder::EncodeFrame(const int16_t* samples, uint8_t* out, FrameTrace* trace) {
    allowance_ = kSearchAllowance;
    int16_t data[kFrame];
    // Input conditioning: halve every sample (the DC-removing filter is off).
    for (int i = 0; i < kFrame; ++i) data[i] = shr(samples[i], 1);
    if (trace) std::memcpy(trace->conditioned_input, data, sizeof(data));

    int16_t unq_lpc[kSubFrames * kLpcOrder];
    ComputeLpc(data, unq_lpc);
    int16_t lsp[kLpcOrder];
    LpcToLsp(lsp, unq_lpc + (kSubFrames - 1) * kLpcOrder);
    if (trace) {
        std::memcpy(trace->unquantized_lpc, unq_lpc, sizeof(unq_lpc));
        std::memcpy(trace->unquantized_lsp, lsp, sizeof(lsp));
    }
    const int32_t lsp_index = QuantizeLsp(lsp);
    ShiftHistory(data);

    int16_t per_lpc[2 * kSubFrames * kLpcOrder];
    for (int i = 0; i < kSubFrames; ++i)
        for (int j = 0; j < kLpcOrder; ++j) {
            per_lpc[2 * kLpcOrder * i + j] =
                mult_r(unq_lpc[i * kLpcOrder + j], kWeightingFilterZero[j]);
            per_lpc[2 * kLpcOrder * i + kLpcOrder + j] =
                mult_r(unq_lpc[i * kLpcOrder + j], kWeightingFilterPole[j]);
        }
    WeightSpeech(data, per_lpc);

    int16_t buf[kPitchMax + kFrame];
    std::memcpy(buf, prev_wgt_, sizeof(prev_wgt_));
    std::memcpy(buf + kPitchMax, data, sizeof(data));
    // The pitch and harmonic-weighting estimates work on a copy scaled so that
    // its largest magnitude has about 12 bits; the filtering uses the original.
    int16_t nbuf[kPitchMax + kFrame];
    std::memcpy(nbuf, buf, sizeof(buf));
    NormalizeVector(nbuf, kPitchMax + kFrame);
    int16_t olp[2];
    olp[0] = EstimatePitch(nbuf, kPitchMax);
    olp[1] = EstimatePitch(nbuf, kPitchMax + 2 * kSubFrame);
    HarmonicFilter pw[kSubFrames];
    for (int i = 0; i < kSubFrames; ++i)
        pw[i] = ComputeHarmonic(nbuf, kPitchMax + i * kSubFrame, olp[i >> 1]);
    std::memcpy(prev_wgt_, data + kFrame - kPitchMax, sizeof(prev_wgt_));
    if (trace) {
        trace->lsp_index = lsp_index;
        std::memcpy(trace->weighting_lpc, per_lpc, sizeof(per_lpc));
        std::memcpy(trace->weighted_speech, data, sizeof(data));
        std::memcpy(trace->open_loop_lag, olp, sizeof(olp));
        for (int i = 0; i < kSubFrames; ++i) trace->harmonic[i] = pw[i];
    }
    for (int s = 0; s < kSubFrames; ++s)
        for (int i = 0; i < kSubFrame; ++i) {
            const int n = kPitchMax + s * kSubFrame + i;
            data[s * kSubFrame + i] =
                round_l(L_msu(L_deposit_h(buf[n]), pw[s].gain, buf[n - pw[s].lag]));
        }
    if (trace) std::memcpy(trace->harmonic_weighted_speech, data, sizeof(data));

    DecodeLsp(lsp, lsp_index);
    int16_t qnt_lpc[kSubFrames * kLpcOrder];
    InterpolateLsp(qnt_lpc, lsp);
    std::memcpy(prev_lsp_, lsp, sizeof(lsp));
    if (trace) std::memcpy(trace->quantized_lpc, qnt_lpc, sizeof(qnt_lpc));

    Subframe sf[kSubFrames];
    for (int i = 0; i < kSubFrames; ++i) {
        int16_t* d = data + i * kSubFrame;
        const int16_t* q = qnt_lpc + i * kLpcOrder;
        const int16_t* p = per_lpc + i * 2 * kLpcOrder;
        int16_t imp[kSubFrame];
        ImpulseResponse(imp, q, p, pw[i], fast_);
        SubframeTrace* st = trace ? &trace->subframes[i] : nullptr;
        if (st) std::memcpy(st->impulse_response, imp, sizeof(imp));
        SubtractRinging(d, q, p, pw[i]);
        if (st) std::memcpy(st->target, d, sizeof(imp));
        FindAdaptive(d, imp, &olp[i >> 1], i, sf[i]);
        FindFixed(d, imp, olp[i >> 1], sf[i]);
        // Excitation: the fixed contribution (at half scale) plus the adaptive one.
        DecodeAdaptive(imp, prev_exc_, olp[i >> 1], sf[i].lag_offset, sf[i].gain_index, fast_);
        std::memmove(prev_exc_, prev_exc_ + kSubFrame, (kPitchMax - kSubFrame) * sizeof(int16_t));
        for (int j = 0; j < kSubFrame; ++j) {
            d[j] = add(shl(d[j], 1), imp[j]);
            prev_exc_[kPitchMax - kSubFrame + j] = d[j];
        }
        UpdateError(olp[i >> 1], sf[i].lag_offset, sf[i].gain_index);
        if (st) {
            std::memcpy(st->excitation, d, sizeof(imp));
            st->adaptive_lag_offset = sf[i].lag_offset;
            st->adaptive_gain_index = sf[i].gain_index;
            st->fixed_gain_index = sf[i].fixed_gain;
            st->grid = sf[i].grid;
            st->pulse_signs = sf[i].signs;
            st->pulse_positions = sf[i].positions;
            std::memcpy(st->taming_errors, taming_, sizeof(taming_));
        }
        UpdateRinging(d, q, p);
    }

    uint8_t packed[24] = {};
    int pos = 0;
    PutBits(packed, pos, 1, 2);
    PutBits(packed, pos, static_cast<uint32_t>(lsp_index), 24);
    PutBits(packed, pos, static_cast<uint32_t>(olp[0] - kPitchMin), 7);
    PutBits(packed, pos, static_cast<uint32_t>(sf[1].lag_offset), 2);
    PutBits(packed, pos, static_cast<uint32_t>(olp[1] - kPitchMin), 7);
    PutBits(packed, pos, static_cast<uint32_t>(sf[3].lag_offset), 2);
    for (const Subframe& s : sf)
        PutBits(packed, pos, static_cast<uint32_t>(s.gain_index * kGainLevels + s.fixed_gain), 12);
    for (const Subframe& s : sf) PutBits(packed, pos, static_cast<uint32_t>(s.grid), 1);
    for (const Subframe& s : sf) PutBits(packed, pos, static_cast<uint32_t>(s.positions), 12);
    for (const Subframe& s : sf) PutBits(packed, pos, static_cast<uint32_t>(s.signs), 4);
    std::memcpy(out, packed, kFrameBytes);
    if (trace) {
        std::memcpy(trace->closed_loop_lag, olp, sizeof(olp));
        std::memcpy(trace->frame_bytes, packed, kFrameBytes);
    }
}

}  // namespace qm::g7231
