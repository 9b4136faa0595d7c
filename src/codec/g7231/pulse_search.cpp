#include "codec/g7231/pulse_search.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/excitation.h"
#include "codec/g7231/gain.h"
#include "codec/g7231/isa.h"
#include "codec/g7231/sums.h"
#include "codec/g7231/tables.h"

#if QM_G7231_HAS_AVX2
#include <immintrin.h>
#endif

namespace qm::g7231 {
namespace {

constexpr int16_t kAcelpThreshold = 16384;  // Q15
constexpr int kPositions = 8;               // pulse positions per track
constexpr int kMatrix = 64;                 // one cross-correlation block (8 x 8)

constexpr int kCorrelations = 4 * kPositions + 6 * kMatrix;

// For each entry of the correlations below, the index of its running sum in
// the (kLongSub / 2) x kLongSub table: for padded positions a <= b, row
// (kLongSub - 2 - b) / 2 and diagonal b - a.
constexpr std::array<uint16_t, kCorrelations> EntrySources() {
    std::array<uint16_t, kCorrelations> out{};
    auto source = [](int a, int b) {
        if (a > b) std::swap(a, b);
        return static_cast<uint16_t>((kLongSub - 2 - b) / 2 * kLongSub + (b - a));
    };
    int k = 0;
    for (int t = 0; t < 4; ++t)
        for (int j = 0; j < kPositions; ++j) out[k++] = source(8 * j + 2 * t, 8 * j + 2 * t);
    constexpr int kPairs[6][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
    for (const auto& pr : kPairs)
        for (int a = 0; a < kPositions; ++a)
            for (int b = 0; b < kPositions; ++b)
                out[k++] = source(8 * a + 2 * pr[0], 8 * b + 2 * pr[1]);
    return out;
}
constexpr std::array<uint16_t, kCorrelations> kEntrySource = EntrySources();

#if QM_G7231_HAS_AVX2
// The running diagonal sums of CorrelateImpulse with AVX2: each step's two
// products per diagonal, h0 x0[d] + h1 x1[d], are one multiply-add on the
// pairs (hp[k], hp[k + 1]); the sums are modular as in the plain loop, so
// they are the same bits.
QM_G7231_AVX2 inline void DiagonalSums(const int16_t* hp, int32_t (*sums)[kLongSub]) {
    int16_t padded[2 * kLongSub + 16] = {};
    std::memcpy(padded, hp, 2 * kLongSub * sizeof(int16_t));
    int16_t pairs[4 * kLongSub];  // pairs[2k], pairs[2k + 1]: hp[k], hp[k + 1]
    for (int k = 0; k < 2 * kLongSub; k += 8) {
        const __m128i a = Load8(padded + k), b = Load8(padded + k + 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pairs + 2 * k), _mm_unpacklo_epi16(a, b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pairs + 2 * k + 8), _mm_unpackhi_epi16(a, b));
    }
    __m256i run[kLongSub / 8];
    for (auto& r : run) r = _mm256_setzero_si256();
    for (int m = 0; m < kLongSub / 2; ++m) {
        const __m256i coef = _mm256_set1_epi32(static_cast<int32_t>(
            static_cast<uint16_t>(hp[2 * m]) |
            (static_cast<uint32_t>(static_cast<uint16_t>(hp[2 * m + 1])) << 16)));
        for (int q = 0; q < kLongSub / 8; ++q) {
            const __m256i v =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pairs + 2 * (2 * m + 8 * q)));
            run[q] = _mm256_add_epi32(run[q], _mm256_slli_epi32(_mm256_madd_epi16(v, coef), 1));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums[m] + 8 * q), run[q]);
        }
    }
}
#endif

// Correlations of the impulse response needed by the pulse search: four
// 8-entry energy vectors followed by six 8 x 8 cross blocks (tracks 01, 02,
// 03, 12, 13, 23), for pulses on the even grid.
template <bool kWide>
QM_G7231_BODY void CorrelateImpulse(const int16_t* imp, int16_t* rr) {
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
    // energy, below 2^31 after the scaling above), so running sums along
    // every diagonal at once give them all. Pulses sit at even b, so only
    // the prefixes up to odd n are read: the sums advance two terms at a
    // time and are kept after each pair, in row (n - 1) / 2. h is padded
    // with zeros so that every diagonal runs the full length (the terms past
    // the response add nothing); the arithmetic is modular, and the kept
    // sums, being in range, are exact.
    int16_t hp[2 * kLongSub] = {};
    std::memcpy(hp, h, sizeof(h));
    uint32_t run[kLongSub] = {};
    int32_t sums[kLongSub / 2][kLongSub];
#if QM_G7231_HAS_AVX2
    if constexpr (kWide) DiagonalSums(hp, sums);
#endif
    for (int m = 0; m < kLongSub / 2 && !kWide; ++m) {
        const int32_t h0 = hp[2 * m], h1 = hp[2 * m + 1];
        const int16_t* x0 = hp + 2 * m;
        const int16_t* x1 = hp + 2 * m + 1;
        for (int d = 0; d < kLongSub; ++d) {
            run[d] += 2 * (static_cast<uint32_t>(h0 * x0[d]) + static_cast<uint32_t>(h1 * x1[d]));
            sums[m][d] = static_cast<int32_t>(run[d]);
        }
    }
    // Which running sum each output entry reads: fixed by the layout, so
    // worked out once at compile time and read as a plain gather.
    const int32_t* flat = &sums[0][0];
    for (int k = 0; k < kCorrelations; ++k) rr[k] = extract_h(flat[kEntrySource[k]]);
}

// Backward-filtered target: correlation of the target with the impulse response,
// scaled so that the largest value has 13 bits.
QM_G7231_BODY void CorrelateTarget(const int16_t* h, const int16_t* x, int16_t* d, bool fast) {
    int32_t y32[kSubFrame];
    int32_t max = 0;
    const bool safe = fast && MacSafe(LoopEnergy(x, kSubFrame), LoopEnergy(h, kSubFrame));
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

// The third pulse's eight positions with SSE2, as the plain loop in
// AcelpSearch: each position's larger saturated sum of the two grids (the
// even one on ties) and its grid, and a mask of those above the threshold.
QM_G7231_BODY unsigned ThirdPulse(int16_t ps1, int16_t ps1a, const int16_t (*dn2)[kPositions],
                                  int16_t thres, int16_t* p2, int16_t* s2) {
#if defined(__SSE2__)
    const __m128i even = _mm_adds_epi16(_mm_set1_epi16(ps1), Load8(dn2[0]));
    const __m128i odd = _mm_adds_epi16(_mm_set1_epi16(ps1a), Load8(dn2[1]));
    const __m128i p = _mm_max_epi16(odd, even);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p2), p);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(s2),
                     _mm_srli_epi16(_mm_cmpgt_epi16(odd, even), 15));
    const __m128i above = _mm_cmpgt_epi16(p, _mm_set1_epi16(thres));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(above, _mm_setzero_si128())));
#else
    (void)ps1, (void)ps1a, (void)dn2, (void)thres, (void)p2, (void)s2;
    return 0;
#endif
}

// Depth-first search of the four pulses on dn (the target correlated with
// the impulse response h, 13 bits; the signs are folded into it in place) and
// the impulse correlations rr. y receives the filtered pulse vector, *grid and
// *signs their fields; returns the position field. `allowance` is the budget
// of candidate sets left over from earlier subframes, and what is left after
// this one.
QM_G7231_BODY int16_t AcelpSearch(int16_t* dn, const int16_t* rr_in, const int16_t* h, int16_t* y,
                                  int16_t* grid, int16_t* signs, int16_t& allowance, bool fast) {
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
    const bool vector = fast && ActiveIsa() != G7231Isa::Portable;
    auto apply = [&](int16_t* block, int t, int u) {
#if defined(__SSE2__)
        // A row at once: the saturating subtraction is that of Saturate.
        if (vector) {
            const __m128i mu = Load8(mask[u]);
            for (int a = 0; a < kPositions; ++a) {
                const __m128i m = _mm_xor_si128(_mm_set1_epi16(mask[t][a]), mu);
                __m128i* row = reinterpret_cast<__m128i*>(block + a * kPositions);
                _mm_storeu_si128(row, _mm_subs_epi16(_mm_xor_si128(_mm_loadu_si128(row), m), m));
            }
            return;
        }
#endif
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

    int16_t time = add(kSearchAllowance, allowance);
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
            unsigned pass = vector ? ThirdPulse(ps1, ps1a, dn2, thres, p2, s2) : 0;
            for (int j2 = 0; !vector && j2 < kPositions; ++j2) {
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
                    vector ? Candidates(ps2, d3, alp2, r33, q03, q13, q23, psc, alpha, c3, a3) : -1;
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
    allowance = time;
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
    return static_cast<int16_t>((ip0 >> 3) + ((ip1 >> 3) << 3) + ((ip2 >> 3) << 6) +
                                ((ip3 >> 3) << 9));
}

}  // namespace

namespace {

template <bool kWide>
QM_G7231_BODY void PulseSearchBody(int16_t* target, int16_t* imp_Q13, int lag, SubframeFields& sf,
                                   int16_t& allowance, bool fast, bool& fault) {
    const int gid = sf.gain_index;
    const int t0 = lag + kAcelpPitchLagOffset170[gid];
    const int16_t gain_t0_Q15 = kAcelpPitchGain170[gid];
    // The pulse search works on the impulse response at half scale (Q12, the
    // gain quantiser's denormalisation expects it); the lowest bit is dropped.
    int16_t* imp = imp_Q13;
    for (int i = 0; i < kSubFrame; ++i) imp[i] = shr(imp[i], 1);
    // Fold the pitch contribution into the impulse response.
    if (t0 < kSubFrame - 2)
        for (int i = t0; i < kSubFrame; ++i) imp[i] = add(imp[i], mult(imp[i - t0], gain_t0_Q15));
    // rr: the impulse response's correlations, normalised to 16 bits; dn:
    // the target correlated with it, its peak at 13 bits; y: the chosen pulses
    // filtered by it (Q0 at half scale).
    int16_t rr[4 * kPositions + 6 * kMatrix];
    CorrelateImpulse<kWide>(imp, rr);
    int16_t dn[kLongSub];
    CorrelateTarget(imp, target, dn, fast);
    int16_t y[kSubFrame];
    sf.positions = AcelpSearch(dn, rr, imp, y, &sf.grid, &sf.signs, allowance, fast);
    sf.fixed_gain = QuantizeFixedGain(target, y, fast, fault);
    FixedExcitation(sf, lag, target);
}

#if QM_G7231_HAS_AVX2
QM_G7231_AVX2 void PulseSearchAvx2(int16_t* target, int16_t* imp_Q13, int lag, SubframeFields& sf,
                                   int16_t& allowance, bool fast, bool& fault) {
    PulseSearchBody<true>(target, imp_Q13, lag, sf, allowance, fast, fault);
}
#endif

}  // namespace

void PulseSearch(int16_t* target, int16_t* imp_Q13, int lag, SubframeFields& sf, int16_t& allowance,
                 bool fast, bool& fault) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) {
        PulseSearchAvx2(target, imp_Q13, lag, sf, allowance, fast, fault);
        return;
    }
#endif
    PulseSearchBody<false>(target, imp_Q13, lag, sf, allowance, fast, fault);
}

}  // namespace qm::g7231
