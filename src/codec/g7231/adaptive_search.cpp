#include "codec/g7231/adaptive_search.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/excitation.h"
#include "codec/g7231/isa.h"
#include "codec/g7231/sums.h"
#include "codec/g7231/tables.h"

#if QM_G7231_HAS_AVX2
#include <immintrin.h>
#endif

namespace qm::g7231 {
namespace {

constexpr int kGainEntries170Min = 93;
constexpr int32_t kTamingThreshold = 0x40000000;
constexpr int kTamingShift = 23;

// The 170-entry pitch gain codebook prepared for the plain sums: each row
// padded with zeros to 24 values (a whole number of vector registers), and
// each row's sum of |g| for the bound that allows them.
struct GainRows {
    std::array<std::array<int16_t, 24>, kGainEntries170> padded{};
    std::array<int32_t, kGainEntries170> abs_sum{};
    std::array<int32_t, (kGainEntries170 + 3) / 4> group_max{};  // largest abs_sum of rows 4g..4g+3
    // Rows 2p and 2p + 1 interleaved by eight values (r0[0..7], r1[0..7],
    // r0[8..15], ...), so that AVX2 reads both rows' eights in one load.
    alignas(32) std::array<std::array<int16_t, 48>, kGainEntries170 / 2> paired{};
};
const GainRows& PreparedGainRows() {
    static const GainRows rows = [] {
        GainRows r;
        for (int i = 0; i < kGainEntries170; ++i) {
            const int16_t* g = kAdaptiveCodebookGain170 + 20 * i;
            std::copy(g, g + 20, r.padded[i].begin());
            r.abs_sum[i] = AbsSum(g, 20);
            r.group_max[i / 4] = std::max(r.group_max[i / 4], r.abs_sum[i]);
            for (int c = 0; c < 3; ++c)
                std::copy(g + 8 * c, g + std::min(8 * c + 8, 20),
                          r.paired[i / 2].begin() + 16 * c + 8 * (i & 1));
        }
        return r;
    }();
    return rows;
}

// How far the gain search may go for lags lag1..lag2: 0 when the excitation
// error of the history they repeat could grow too much (or a sine is
// detected), otherwise a count of extra entries in steps of eight.
QM_G7231_BODY int16_t TestError(const int32_t* taming, int16_t sine_detect, int16_t lag1,
                                int16_t lag2) {
    int i2 = lag2 + kPitchOrder / 2;
    int zone2 = mult(static_cast<int16_t>(i2), 1092);
    int i1 = -kSubFrame + 1 + lag1 - kPitchOrder / 2;
    if (i1 <= 0) i1 = 1;
    int zone1 = mult(static_cast<int16_t>(i1), 1092);
    int32_t err_max = -1;
    for (int i = zone2; i >= zone1; --i)
        if (L_sub(taming[i], err_max) > 0) err_max = taming[i];
    int32_t acc = L_sub(err_max, kTamingThreshold);
    if (acc > 0 || sine_detect < 0) return 0;
    return extract_l(L_shr(L_negate(acc), kTamingShift));
}

#if QM_G7231_HAS_AVX2
// The impulse response as pairs for Convolve: q[2 (m + 8)], q[2 (m + 8) + 1]
// hold imp[m], imp[m - 1] for m = -8..63, zero outside the response. The
// same for every lag of a subframe, so made once.
struct ImpulsePairs {
    alignas(32) int16_t q[2 * (kLongSub + 8)];
    explicit ImpulsePairs(const int16_t* imp) {
        int16_t padded[kLongSub + 8] = {};
        std::memcpy(padded + 8, imp, kSubFrame * sizeof(int16_t));
        q[0] = q[1] = 0;
        for (int m = 1; m < kLongSub + 8; ++m) {
            q[2 * m] = padded[m];
            q[2 * m + 1] = padded[m - 1];
        }
    }
};

// c[i] = sum over j <= i of r[j] imp[i - j] for i < 60 with AVX2, as plain
// (modular) sums: the caller has bounded every partial sum, so they are the
// sums the scalar dot products give. Eight outputs per register and two
// terms per lane and step: one multiply-add of the pair (r[j], r[j + 1])
// with the pairs of imp at i - j adds both terms for eight i at once; terms
// past i meet the zeros. Block b (outputs 8b..8b + 7) needs the pairs up to
// j = 8b + 6.
QM_G7231_AVX2 inline void Convolve(const int16_t* r, const ImpulsePairs& imp, int32_t* c) {
    const int16_t* q = imp.q;
    int32_t rp[kSubFrame / 2];
    std::memcpy(rp, r, sizeof(rp));
    int32_t out[kLongSub];
    for (int b = 0; b < kLongSub / 8; ++b) {
        __m256i acc0 = _mm256_setzero_si256(), acc1 = _mm256_setzero_si256();
        const int pairs = std::min(4 * b + 4, kSubFrame / 2);
        int p = 0;
        for (; p + 1 < pairs; p += 2) {
            const __m256i* d0 = reinterpret_cast<const __m256i*>(q + 2 * (8 + 8 * b - 2 * p));
            const __m256i* d1 = reinterpret_cast<const __m256i*>(q + 2 * (8 + 8 * b - 2 * p - 2));
            acc0 = _mm256_add_epi32(
                acc0, _mm256_madd_epi16(_mm256_loadu_si256(d0), _mm256_set1_epi32(rp[p])));
            acc1 = _mm256_add_epi32(
                acc1, _mm256_madd_epi16(_mm256_loadu_si256(d1), _mm256_set1_epi32(rp[p + 1])));
        }
        if (p < pairs) {
            const __m256i* d0 = reinterpret_cast<const __m256i*>(q + 2 * (8 + 8 * b - 2 * p));
            acc0 = _mm256_add_epi32(
                acc0, _mm256_madd_epi16(_mm256_loadu_si256(d0), _mm256_set1_epi32(rp[p])));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8 * b), _mm256_add_epi32(acc0, acc1));
    }
    std::memcpy(c, out, kSubFrame * sizeof(int32_t));
}
#endif

#if QM_G7231_HAS_AVX2
// Sums of eight consecutive rows g (four interleaved pairs) against v24 with
// AVX2, rows 2r and 2r + 1 side by side in the two 128-bit halves (each half
// does what the SSE2 block does for one row). acc receives rows 0, 2, 4, 6,
// 1, 3, 5, 7 in that order (always); returns whether one of them is above
// `best`.
QM_G7231_AVX2 inline bool GainRowsOf8(const int16_t* v24, const int16_t* g, int32_t best,
                                      int32_t* acc) {
    const __m256i v0 = _mm256_broadcastsi128_si256(Load8(v24));
    const __m256i v1 = _mm256_broadcastsi128_si256(Load8(v24 + 8));
    const __m256i v2 = _mm256_broadcastsi128_si256(Load8(v24 + 16));
    __m256i pairs[4];
    for (int p = 0; p < 4; ++p) {
        const __m256i* a = reinterpret_cast<const __m256i*>(g + 48 * p);
        pairs[p] =
            _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(v0, _mm256_load_si256(a)),
                                              _mm256_madd_epi16(v1, _mm256_load_si256(a + 1))),
                             _mm256_madd_epi16(v2, _mm256_load_si256(a + 2)));
    }
    const __m256i s01 = _mm256_add_epi32(_mm256_unpacklo_epi32(pairs[0], pairs[1]),
                                         _mm256_unpackhi_epi32(pairs[0], pairs[1]));
    const __m256i s23 = _mm256_add_epi32(_mm256_unpacklo_epi32(pairs[2], pairs[3]),
                                         _mm256_unpackhi_epi32(pairs[2], pairs[3]));
    const __m256i sums =
        _mm256_add_epi32(_mm256_unpacklo_epi64(s01, s23), _mm256_unpackhi_epi64(s01, s23));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc), sums);
    return _mm256_movemask_epi8(_mm256_cmpgt_epi32(sums, _mm256_set1_epi32(best))) != 0;
}
#endif

// The gain-codebook search, the rows in order, keeping the first row with
// the largest sum above `best`. `one` searches a single row; groups of four
// rows go through SSE2 together (eight with AVX2 when kWide) when max |v|
// times the group's largest sum |g| shows that no partial sum can saturate,
// so that the modular vector sums are exact (a few rows of the table have
// sum |g| above 65536, so a bound for the whole table would fail for every
// full-scale v). With AVX2, a group of eight that fails its bound still
// takes the vector sums of the rows whose own bound (max |v| times their sum
// |g|) holds, and only the others go through `one`. Returns how many rows
// it has searched (0 on the portable path).
template <bool kWide, typename One>
QM_G7231_BODY int SearchGainGroups(const int16_t* v24, int64_t vmax, const GainRows& rows,
                                   int bound, int k, int32_t& best, int16_t& gid, int16_t& lid,
                                   One one) {
#if defined(__SSE2__)
    if (ActiveIsa() == G7231Isa::Portable) return 0;
    const __m128i v0 = Load8(v24), v1 = Load8(v24 + 8), v2 = Load8(v24 + 16);
    auto row = [&](int i) {
        const int16_t* g = rows.padded[i].data();
        return _mm_add_epi32(
            _mm_add_epi32(_mm_madd_epi16(v0, Load8(g)), _mm_madd_epi16(v1, Load8(g + 8))),
            _mm_madd_epi16(v2, Load8(g + 16)));
    };
    auto keep = [&](int i, int32_t acc) {
        if (acc > best) {
            best = acc;
            gid = static_cast<int16_t>(i);
            lid = static_cast<int16_t>(k);
        }
    };
    auto group = [&](int i) {
        if (vmax * rows.group_max[i / 4] > kMax32) {
            for (int r = 0; r < 4; ++r) one(i + r);
            return;
        }
        const __m128i a0 = row(i), a1 = row(i + 1), a2 = row(i + 2), a3 = row(i + 3);
        // Transpose and add: lane r holds the sum of row i + r.
        const __m128i s01 = _mm_add_epi32(_mm_unpacklo_epi32(a0, a1), _mm_unpackhi_epi32(a0, a1));
        const __m128i s23 = _mm_add_epi32(_mm_unpacklo_epi32(a2, a3), _mm_unpackhi_epi32(a2, a3));
        const __m128i sums =
            _mm_add_epi32(_mm_unpacklo_epi64(s01, s23), _mm_unpackhi_epi64(s01, s23));
        if (_mm_movemask_epi8(_mm_cmpgt_epi32(sums, _mm_set1_epi32(best))) == 0) return;
        int32_t acc[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(acc), sums);
        for (int r = 0; r < 4; ++r) keep(i + r, acc[r]);
    };
    int i = 0;
#if QM_G7231_HAS_AVX2
    if constexpr (kWide) {
        for (; i + 8 <= bound; i += 8) {
            int32_t acc[8];
            const bool above = GainRowsOf8(v24, rows.paired[i / 2].data(), best, acc);
            if (vmax * std::max(rows.group_max[i / 4], rows.group_max[i / 4 + 1]) > kMax32) {
                for (int r = 0; r < 8; ++r) {
                    if (vmax * rows.abs_sum[i + r] <= kMax32)
                        keep(i + r, acc[(r & 1) * 4 + r / 2]);
                    else
                        one(i + r);
                }
                continue;
            }
            if (!above) continue;
            for (int r = 0; r < 8; ++r) keep(i + r, acc[(r & 1) * 4 + r / 2]);
        }
    }
#endif
    for (; i + 4 <= bound; i += 4) group(i);
    return i;
#else
    (void)v24, (void)vmax, (void)rows, (void)bound, (void)k, (void)best, (void)gid, (void)lid,
        (void)one;
    return 0;
#endif
}

}  // namespace

namespace {

// The pitch gain codebook search over hb lags (20 normalised correlations
// each in vct) and the first `bound` rows: the first (lag, row) in order
// with the largest criterion above zero.
template <bool kWide>
QM_G7231_BODY void SearchGainBody(const int16_t* vct, int hb, int bound, bool fast, int16_t& gid,
                                  int16_t& lid) {
    // No table value is -32768, so each half product is the plain product;
    // max |v| * sum |g| bounds every partial sum.
    const GainRows& rows = PreparedGainRows();
    int32_t best = 0;
    for (int k = 0; k < hb; ++k) {
        const int16_t* v = vct + k * 20;
        const int64_t vmax = AbsMax(v, 20);
        int16_t v24[24] = {};
        std::memcpy(v24, v, 20 * sizeof(int16_t));
        auto one = [&](int i) {
            int32_t acc = 0;
            if (fast && vmax * rows.abs_sum[i] <= kMax32) {
                acc = Dot(v24, rows.padded[i].data(), 24);
            } else {
                const int16_t* g = kAdaptiveCodebookGain170 + 20 * i;
                for (int j = 0; j < 20; ++j) acc = L_add(acc, L_shr(L_mult(v[j], g[j]), 1));
            }
            if (acc > best) {
                best = acc;
                gid = static_cast<int16_t>(i);
                lid = static_cast<int16_t>(k);
            }
        };
        int i = fast ? SearchGainGroups<kWide>(v24, vmax, rows, bound, k, best, gid, lid, one) : 0;
        for (; i < bound; ++i) one(i);
    }
}

template <bool kWide>
QM_G7231_BODY void AdaptiveSearchBody(int16_t* target, const int16_t* imp_Q13,
                                      const int16_t* hist_end, const int32_t* taming,
                                      int16_t sine_detect, int16_t* olp_io, int sfc,
                                      SubframeFields& sf, int16_t* adaptive, bool fast) {
    const int16_t* imp = imp_Q13;
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
#if QM_G7231_HAS_AVX2
    const ImpulsePairs pairs(imp);
#endif

    // Per candidate lag, 20 correlations (32-bit): the target with each of
    // the five filtered residual taps, the taps' energies, and the ten cross
    // terms between taps.
    int32_t cor[4 * 20];
    int32_t* lp = cor;
    for (int k = 0; k < hb; ++k) {
        int16_t rez[kSubFrame + kPitchOrder - 1];
        PitchResidual(hist_end, olp - 1 + k, rez);
        // flt[i]: the residual delayed by 4 - i samples, filtered by imp (Q0).
        int16_t flt[kPitchOrder][kSubFrame];
        const int16_t* r = rez + kPitchOrder - 1;
        int16_t r64[kLongSub] = {};
        std::memcpy(r64, r, kSubFrame * sizeof(int16_t));
        if (fast && 2 * AbsMax(r, kSubFrame) * imp_abs <= kMax32) {
#if QM_G7231_HAS_AVX2
            if constexpr (kWide) {
                int32_t c[kSubFrame];
                Convolve(r, pairs, c);
                for (int i = 0; i < kSubFrame; ++i) flt[kPitchOrder - 1][i] = round_l(2 * c[i]);
            }
#endif
            for (int i = 0; i < kSubFrame && !kWide; ++i)
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
            if (fast && int64_t{AbsMax(prev, kSubFrame - 1)} * 65536 +
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
        for (int i = 0; i < kPitchOrder; ++i) {
#if QM_G7231_HAS_AVX2
            // The wide path is a vector path: no need to ask which.
            if constexpr (kWide) {
                energy[i] = PairEnergy(flt[i], kSubFrame);
                continue;
            }
#endif
            energy[i] = Energy(flt[i], kSubFrame);
        }
        // Cross terms accumulate half products and double afterwards, so a
        // partial sum that would saturate can still come back into range.
        for (int i = 0; i < kPitchOrder; ++i) {
            if (fast && MacSafe(target_energy, energy[i])) {
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
                if (fast && MacSafe(energy[i], energy[j])) {
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
    int16_t vct[4 * 20];  // the correlations normalised together to 16 bits
    for (int i = 0; i < hb * 20; ++i) vct[i] = round_l(L_shl(cor[i], exp));

    // The taming procedure limits the gains when the excitation error could grow.
    int16_t off = TestError(taming, sine_detect, static_cast<int16_t>(olp - 1),
                            static_cast<int16_t>(olp - 1 + hb - 1));
    int bound = kGainEntries170Min + shl(off, 3);
    if (bound > kGainEntries170) bound = kGainEntries170;

    int16_t lid = 1;
    int16_t gid = 0;
    SearchGainBody<kWide>(vct, hb, bound, fast, gid, lid);
    if ((sfc & 1) == 0) {
        olp = static_cast<int16_t>(olp - 1 + lid);
        lid = 1;
    }
    sf.lag_offset = lid;
    sf.gain_index = gid;
    *olp_io = olp;

    // Take the chosen contribution, filtered, off the target.
    int16_t rez[kLongSub] = {};
    AdaptiveExcitation(hist_end, olp - 1 + lid, gid, rez, fast);
    std::memcpy(adaptive, rez, kSubFrame * sizeof(int16_t));
    if (fast && (int64_t{1} << 30) + 2 * AbsMax(rez, kSubFrame) * imp_abs <= kMax32) {
#if QM_G7231_HAS_AVX2
        if constexpr (kWide) {
            int32_t c[kSubFrame];
            Convolve(rez, pairs, c);
            for (int i = 0; i < kSubFrame; ++i)
                target[i] = round_l(L_shl(target[i] * 32768 - 2 * c[i], 1));
            return;
        }
#endif
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

#if QM_G7231_HAS_AVX2
QM_G7231_AVX2 void AdaptiveSearchAvx2(int16_t* target, const int16_t* imp_Q13,
                                      const int16_t* hist_end, const int32_t* taming,
                                      int16_t sine_detect, int16_t* olp_io, int sfc,
                                      SubframeFields& sf, int16_t* adaptive, bool fast) {
    AdaptiveSearchBody<true>(target, imp_Q13, hist_end, taming, sine_detect, olp_io, sfc, sf,
                             adaptive, fast);
}
#endif

}  // namespace

void AdaptiveSearch(int16_t* target, const int16_t* imp_Q13, const int16_t* hist_end,
                    const int32_t* taming, int16_t sine_detect, int16_t* olp_io, int sfc,
                    SubframeFields& sf, int16_t* adaptive, bool fast) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) {
        AdaptiveSearchAvx2(target, imp_Q13, hist_end, taming, sine_detect, olp_io, sfc, sf,
                           adaptive, fast);
        return;
    }
#endif
    AdaptiveSearchBody<false>(target, imp_Q13, hist_end, taming, sine_detect, olp_io, sfc, sf,
                              adaptive, fast);
}

#if QM_G7231_HAS_AVX2
namespace {
QM_G7231_AVX2 void SearchGainAvx2(const int16_t* vct, int hb, int bound, bool fast, int16_t& gid,
                                  int16_t& lid) {
    SearchGainBody<true>(vct, hb, bound, fast, gid, lid);
}
}  // namespace
#endif

void SearchGain(const int16_t* vct, int hb, int bound, bool fast, int16_t& gid, int16_t& lid) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) return SearchGainAvx2(vct, hb, bound, fast, gid, lid);
#endif
    SearchGainBody<false>(vct, hb, bound, fast, gid, lid);
}

}  // namespace qm::g7231
