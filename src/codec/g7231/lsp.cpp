#include "codec/g7231/lsp.h"

#include <array>
#include <cstring>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/isa.h"
#include "codec/g7231/sums.h"
#include "codec/g7231/tables.h"

#if QM_G7231_HAS_AVX2
#include <immintrin.h>
#endif

namespace qm::g7231 {
namespace {

constexpr int kLspCodebookSize = 256;
const int16_t* const kLspCodebooks[3] = {kLspBand0Codebook, kLspBand1Codebook, kLspBand2Codebook};

// Value j of every entry of band b together (columns[b][j][i]), so that the
// criterion of all 256 entries is computed side by side.
using LspColumns = std::array<std::array<std::array<int16_t, kLspCodebookSize>, 4>, 3>;
const LspColumns& CodebookColumns() {
    static const LspColumns columns = [] {
        LspColumns t{};
        for (int b = 0; b < 3; ++b)
            for (int i = 0; i < kLspCodebookSize; ++i)
                for (int j = 0; j < kLspBandInfo[2 * b + 1]; ++j)
                    t[b][j][i] = kLspCodebooks[b][i * kLspBandInfo[2 * b + 1] + j];
        return t;
    }();
    return columns;
}

#if QM_G7231_HAS_AVX2
// The plain criterion of the fast path below with AVX2, sixteen entries per
// register: t = mult_r(w, code) is the rounding high product (the weights
// are never negative, so no product is -32768 squared), and
// 4 lsp t - 2 code t = 2 t u with u = 2 lsp - code, which the caller has
// bounded to 16 bits. The sums are modular, and inside 32 bits by the
// caller's bound, so they are those of the plain loop. Returns the first
// entry with the largest criterion above zero, or entry 0.
QM_G7231_AVX2 inline int32_t BestEntryAvx2(const LspColumns::value_type& columns, const int16_t* w,
                                           const int16_t* lsp, int len) {
    __m256i wj[4], l2[4];
    for (int j = 0; j < len; ++j) {
        wj[j] = _mm256_set1_epi16(w[j]);
        l2[j] = _mm256_set1_epi16(static_cast<int16_t>(2 * lsp[j]));
    }
    alignas(32) int32_t crit[kLspCodebookSize];
    __m256i top = _mm256_setzero_si256();
    for (int b = 0; b < kLspCodebookSize; b += 16) {
        // Products t u as 32 bits: entries 0-3 and 8-11 of the sixteen in lo,
        // 4-7 and 12-15 in hi (the lanes of the 16-bit unpacks).
        __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
        for (int j = 0; j < len; ++j) {
            const __m256i c =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns[j].data() + b));
            const __m256i t = _mm256_mulhrs_epi16(wj[j], c);
            const __m256i u = _mm256_sub_epi16(l2[j], c);
            const __m256i pl = _mm256_mullo_epi16(t, u), ph = _mm256_mulhi_epi16(t, u);
            lo = _mm256_add_epi32(lo, _mm256_unpacklo_epi16(pl, ph));
            hi = _mm256_add_epi32(hi, _mm256_unpackhi_epi16(pl, ph));
        }
        const __m256i first = _mm256_slli_epi32(_mm256_permute2x128_si256(lo, hi, 0x20), 1);
        const __m256i second = _mm256_slli_epi32(_mm256_permute2x128_si256(lo, hi, 0x31), 1);
        _mm256_store_si256(reinterpret_cast<__m256i*>(crit + b), first);
        _mm256_store_si256(reinterpret_cast<__m256i*>(crit + b + 8), second);
        top = _mm256_max_epi32(top, _mm256_max_epi32(first, second));
    }
    __m128i m = _mm_max_epi32(_mm256_castsi256_si128(top), _mm256_extracti128_si256(top, 1));
    m = _mm_max_epi32(m, _mm_shuffle_epi32(m, 0x4e));
    m = _mm_max_epi32(m, _mm_shuffle_epi32(m, 0xb1));
    const int32_t best = _mm_cvtsi128_si32(m);
    if (best <= 0) return 0;
    int32_t i = 0;
    while (crit[i] != best) ++i;
    return i;
}
#endif

}  // namespace

void LpcToLsp(const int16_t* a_Q13, const int16_t* prev_lsp, int16_t* lsp, bool& fault) {
    int16_t a[kLpcOrder];  // bandwidth-expanded, Q13
    for (int i = 0; i < kLpcOrder; ++i) a[i] = mult_r(a_Q13[i], kLpcBandwidthExpansion[i]);
    // Sum and difference polynomials, each divided by its trivial root (Q25).
    int32_t lpq[kLpcOrder + 2];
    lpq[0] = lpq[1] = 0x02000000;
    for (int i = 0; i < kLpcOrder / 2; ++i) {
        int32_t lo = L_shr(L_deposit_h(a[i]), 4);
        int32_t hi = L_shr(L_deposit_h(a[kLpcOrder - 1 - i]), 4);
        lpq[2 * i + 2] = L_sub(L_sub(L_negate(lpq[2 * i]), lo), hi);
        lpq[2 * i + 3] = L_add(L_sub(lpq[2 * i + 1], lo), hi);
    }
    lpq[kLpcOrder] = L_shr(lpq[kLpcOrder], 1);
    lpq[kLpcOrder + 1] = L_shr(lpq[kLpcOrder + 1], 1);
    int32_t max = 0;
    for (int i = 0; i < kLpcOrder + 2; ++i) {
        int32_t v = L_abs(lpq[i]);
        if (v > max) max = v;
    }
    int16_t exp = norm_l(max);
    int16_t spq[kLpcOrder + 2];  // the same, normalised to 16 bits (block-floating)
    for (int i = 0; i < kLpcOrder + 2; ++i) spq[i] = round_l(L_shl(lpq[i], exp));

    // Root search on the cosine grid (Q14), alternating between the polynomials.
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
            int16_t frac = div_l(a1, extract_h(a0), fault);  // Q7 step between grid points
            lsp[count] = add(frac, static_cast<int16_t>((i - 1) << 7));
            if (++count == kLpcOrder) break;
            poly ^= 1;
            cur = eval(i, poly);
        }
        prev = cur;
    }
    if (count != kLpcOrder) std::memcpy(lsp, prev_lsp, kLpcOrder * sizeof(int16_t));
}

namespace {

template <bool kWide>
QM_G7231_BODY int32_t QuantizeLspBody(const int16_t* lsp_in, const int16_t* prev_lsp, bool fast,
                                      bool& fault) {
    int16_t lsp[kLpcOrder];
    std::memcpy(lsp, lsp_in, sizeof(lsp));
    // Weights (block-floating Q15): the inverse of the distance to the
    // nearer neighbour.
    int16_t w[kLpcOrder];
    w[0] = sub(lsp[1], lsp[0]);
    w[kLpcOrder - 1] = sub(lsp[kLpcOrder - 1], lsp[kLpcOrder - 2]);
    for (int i = 1; i < kLpcOrder - 1; ++i) {
        int16_t t0 = sub(lsp[i + 1], lsp[i]);
        int16_t t1 = sub(lsp[i], lsp[i - 1]);
        w[i] = t0 > t1 ? t1 : t0;
    }
    for (int i = 0; i < kLpcOrder; ++i) w[i] = w[i] > 0x20 ? div_s(0x20, w[i], fault) : kMax16;
    int16_t max = 0;
    for (int i = 0; i < kLpcOrder; ++i)
        if (w[i] > max) max = w[i];
    int16_t exp = norm_s(max);
    for (int i = 0; i < kLpcOrder; ++i) w[i] = shl(w[i], exp);
    // Target: the LSPs less their mean and the prediction from the last frame.
    for (int i = 0; i < kLpcOrder; ++i) {
        int16_t pred = mult_r(sub(prev_lsp[i], kLspDcVector[i]), kLspPredictor);
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
        if (fast && 4 * len * lmax * cmax + 2 * len * cmax * cmax <= kMax32) {
            const auto& columns = CodebookColumns();
#if QM_G7231_HAS_AVX2
            if constexpr (kWide) {
                if (2 * lmax + cmax <= kMax16) {
                    index = (index << 8) + BestEntryAvx2(columns[k], w + first, lsp + first, len);
                    continue;
                }
            }
#endif
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

#if QM_G7231_HAS_AVX2
QM_G7231_AVX2 int32_t QuantizeLspAvx2(const int16_t* lsp_in, const int16_t* prev_lsp, bool fast,
                                      bool& fault) {
    return QuantizeLspBody<true>(lsp_in, prev_lsp, fast, fault);
}
#endif

}  // namespace

int32_t QuantizeLsp(const int16_t* lsp_in, const int16_t* prev_lsp, bool fast, bool& fault) {
#if QM_G7231_HAS_AVX2
    if (UseAvx2()) return QuantizeLspAvx2(lsp_in, prev_lsp, fast, fault);
#endif
    return QuantizeLspBody<false>(lsp_in, prev_lsp, fast, fault);
}

void DecodeLsp(int32_t index, const int16_t* prev_lsp, int16_t* lsp, int16_t predictor,
               int16_t min_gap) {
    for (int k = 2; k >= 0; --k) {
        const int first = kLspBandInfo[2 * k];
        const int len = kLspBandInfo[2 * k + 1];
        const int16_t* cb = kLspCodebooks[k] + (index & 0xff) * len;
        for (int j = 0; j < len; ++j) lsp[first + j] = cb[j];
        index >>= 8;
    }
    for (int i = 0; i < kLpcOrder; ++i) {
        const int16_t prev = sub(prev_lsp[i], kLspDcVector[i]);
        lsp[i] = add(lsp[i], mult_r(prev, predictor));
        lsp[i] = add(lsp[i], kLspDcVector[i]);
    }
    // Keep the frequencies ordered and apart by at least the minimum distance.
    bool unstable = false;
    for (int pass = 0; pass < kLpcOrder; ++pass) {
        if (lsp[0] < kLspLowest) lsp[0] = kLspLowest;
        if (lsp[kLpcOrder - 1] > kLspHighest) lsp[kLpcOrder - 1] = kLspHighest;
        for (int i = 1; i < kLpcOrder; ++i) {
            int16_t t = sub(add(min_gap, lsp[i - 1]), lsp[i]);
            if (t > 0) {
                t = shr(t, 1);
                lsp[i - 1] = sub(lsp[i - 1], t);
                lsp[i] = add(lsp[i], t);
            }
        }
        unstable = false;
        for (int i = 1; i < kLpcOrder; ++i)
            if (sub(sub(add(lsp[i - 1], min_gap), 4), lsp[i]) > 0) unstable = true;
        if (!unstable) break;
    }
    if (unstable) std::memcpy(lsp, prev_lsp, kLpcOrder * sizeof(int16_t));
}

void InterpolateLsp(const int16_t* lsp, const int16_t* prev_lsp, int16_t* a_Q13) {
    int16_t fac = 0x1000;  // weight of this frame's vector, Q14: 1/4, 2/4, 3/4, 1
    for (int i = 0; i < kSubFrames; ++i) {
        int16_t prv = sub(0x4000, fac);
        int16_t* d = a_Q13 + i * kLpcOrder;
        for (int j = 0; j < kLpcOrder; ++j)
            d[j] = round_l(L_shl(L_mac(L_mult(lsp[j], fac), prev_lsp[j], prv), 1));
        LspToLpc(d);
        fac = add(fac, 0x1000);
    }
}

void LspToLpc(int16_t* lsp_to_a) {
    int16_t* x = lsp_to_a;
    // Minus the cosine of each frequency, Q15, interpolated on the grid (Q14).
    for (int i = 0; i < kLpcOrder; ++i) {
        int j = shr(x[i], 7);
        if (j < 0) j = 0;
        if (j > 255) j = 255;
        int32_t acc = L_deposit_h(kLspCosine[j]);
        int16_t tmp = sub(kLspCosine[j + 1], kLspCosine[j]);
        acc = L_mac(acc, tmp, add(shl(static_cast<int16_t>(x[i] & 0x7f), 8), 0x80));
        acc = L_shl(acc, 1);
        x[i] = negate(round_l(acc));
    }
    // Products of the second-order sections of the sum and difference
    // polynomials (p from the even, q from the odd frequencies), Q28 at first
    // and halved at every step.
    int32_t p[kLpcOrder / 2 + 1];
    int32_t q[kLpcOrder / 2 + 1];
    p[0] = 0x10000000;
    p[1] = L_mac(L_mult(x[0], 0x2000), x[2], 0x2000);
    p[2] = L_add(L_shr(L_mult(x[0], x[2]), 1), 0x20000000);
    q[0] = 0x10000000;
    q[1] = L_mac(L_mult(x[1], 0x2000), x[3], 0x2000);
    q[2] = L_add(L_shr(L_mult(x[1], x[3]), 1), 0x20000000);
    for (int i = 2; i < kLpcOrder / 2; ++i) {
        p[i + 1] = L_add(L_mls(p[i], x[2 * i]), p[i - 1]);
        q[i + 1] = L_add(L_mls(q[i], x[2 * i + 1]), q[i - 1]);
        for (int j = i; j >= 2; --j) {
            p[j] = L_add(L_add(L_mls(p[j - 1], x[2 * i]), L_shr(p[j], 1)), L_shr(p[j - 2], 1));
            q[j] = L_add(L_add(L_mls(q[j - 1], x[2 * i + 1]), L_shr(q[j], 1)), L_shr(q[j - 2], 1));
        }
        p[0] = L_shr(p[0], 1);
        q[0] = L_shr(q[0], 1);
        p[1] = L_shr(L_add(L_shr(L_deposit_h(x[2 * i]), static_cast<int16_t>(i)), p[1]), 1);
        q[1] = L_shr(L_add(L_shr(L_deposit_h(x[2 * i + 1]), static_cast<int16_t>(i)), q[1]), 1);
    }
    for (int i = 0; i < kLpcOrder / 2; ++i) {
        int32_t a = L_add(L_sub(L_add(p[i], p[i + 1]), q[i]), q[i + 1]);
        x[i] = negate(round_l(L_shl(a, 3)));
        int32_t b = L_sub(L_add(L_add(p[i], p[i + 1]), q[i]), q[i + 1]);
        x[kLpcOrder - 1 - i] = negate(round_l(L_shl(b, 3)));
    }
}

}  // namespace qm::g7231
