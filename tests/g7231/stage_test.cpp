// Stage functions of the encoder, driven directly with extreme inputs that
// whole clips rarely reach: their fast paths against the saturating
// operators.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/g7231/adaptive_search.h"
#include "codec/g7231/basic_ops.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/filters.h"
#include "codec/g7231/g7231.h"
#include "codec/g7231/lsp.h"
#include "codec/g7231/tables.h"
#include "codec/g7231/weighting.h"

namespace {

using namespace qm::g7231;

// Closed-loop pitch search on full-scale histories, impulse responses up to
// full scale and full-scale targets: the bounds on the filtered residual and
// on the target update must hold wherever the extremes sit.
TEST(G7231Stages, AdaptiveSearchFastPathsOnExtremes) {
    std::vector<std::vector<int16_t>> impulses;
    for (int16_t peak : {int16_t{8192}, kMax16, kMin16}) {
        std::vector<int16_t> imp(kSubFrame, 0);
        for (int i = 0; i < kSubFrame; ++i) imp[i] = static_cast<int16_t>(peak / (1 + i / 4));
        impulses.push_back(imp);
    }
    const int32_t taming[5] = {4, 4, 4, 4, 4};
    int cases = 0;
    for (const auto& imp : impulses)
        for (int16_t value : {kMax16, kMin16})
            for (int start = 0; start < kPitchMax; start += 16)
                for (int16_t olp : {int16_t{kPitchMin}, int16_t{60}, int16_t{kPitchMax - 5}})
                    for (int sfc : {0, 1}) {
                        int16_t history[kPitchMax] = {};
                        for (int i = start; i < std::min(start + 16, kPitchMax); ++i)
                            history[i] = i % 3 ? value : static_cast<int16_t>(-value - 1);
                        int16_t target[2][kSubFrame];
                        SubframeFields sf[2];
                        int16_t adaptive[2][kSubFrame];
                        int16_t lag[2] = {olp, olp};
                        for (int k = 0; k < 2; ++k) {
                            for (int i = 0; i < kSubFrame; ++i)
                                target[k][i] = i % 2 ? value : int16_t{0};
                            AdaptiveSearch(target[k], imp.data(), history + kPitchMax, taming, 0,
                                           &lag[k], sfc, sf[k], adaptive[k], k == 0);
                        }
                        ASSERT_TRUE(std::equal(target[0], target[0] + kSubFrame, target[1]))
                            << "block at " << start << " lag " << olp << " subframe " << sfc;
                        ASSERT_TRUE(std::equal(adaptive[0], adaptive[0] + kSubFrame, adaptive[1]));
                        ASSERT_EQ(lag[0], lag[1]);
                        ASSERT_EQ(sf[0].gain_index, sf[1].gain_index);
                        ASSERT_EQ(sf[0].lag_offset, sf[1].lag_offset);
                        ++cases;
                    }
    EXPECT_GT(cases, 300);
}

// The gain codebook search where its bounds are tight: correlations at full
// scale with the signs of one row give that row's largest criterion,
// 32767 sum |g|, which passes 2^31 for the rows with sum |g| above 65537,
// so only the saturating sum gives it; with the signs reversed the smallest.
// Every vector path must choose as the saturating operators do.
TEST(G7231Stages, GainSearchAtFullScale) {
    int cases = 0, beyond = 0;
    for (int row = 0; row < kGainEntries170; ++row) {
        const int16_t* g = kAdaptiveCodebookGain170 + 20 * row;
        int32_t abs_sum = 0;
        for (int j = 0; j < 20; ++j) abs_sum += std::abs(int32_t{g[j]});
        beyond += int64_t{32767} * abs_sum > kMax32;
        for (const int sign : {1, -1})
            for (const int hb : {1, 3, 4}) {
                // Lag 0 holds the row's extreme; the other lags a milder copy.
                int16_t vct[4 * 20];
                for (int k = 0; k < hb; ++k)
                    for (int j = 0; j < 20; ++j) {
                        const int16_t v = (g[j] < 0) == (sign > 0) ? kMin16 : kMax16;
                        vct[k * 20 + j] = k == 0 ? v : static_cast<int16_t>(v / (k + 1));
                    }
                int16_t want_g = -1, want_l = -1;
                SearchGain(vct, hb, kGainEntries170, false, want_g, want_l);
                for (qm::G7231Isa isa :
                     {qm::G7231Isa::Portable, qm::G7231Isa::Sse2, qm::G7231Isa::Avx2}) {
                    if (!qm::G7231IsaSupported(isa)) continue;
                    qm::SetG7231Isa(isa);
                    int16_t gid = -1, lid = -1;
                    SearchGain(vct, hb, kGainEntries170, true, gid, lid);
                    ASSERT_EQ(gid, want_g) << "row " << row << " sign " << sign << " lags " << hb;
                    ASSERT_EQ(lid, want_l) << "row " << row << " sign " << sign << " lags " << hb;
                }
                ++cases;
            }
    }
    qm::SetG7231Isa(qm::G7231Isa::Best);
    EXPECT_GT(beyond, 0);
    EXPECT_EQ(cases, 6 * kGainEntries170);
}

// The all-pole pass where its bounds are tight: a delay line (full-scale or
// small) whose signs follow the coefficients', and accumulators at, just
// past and far past the room the bound asks for (|acc| + 2 sum |a| (M + 1)
// up to 2^31 - 1, M the line's magnitude), positive and negative. The plain
// sums must give what the saturating operators give.
TEST(G7231Stages, PolePassAtItsBounds) {
    int cases = 0;
    for (const int16_t scale : {int16_t{100}, int16_t{4096}, int16_t{20000}}) {
        for (const int pattern : {0, 1}) {
            int16_t a[kLpcOrder];
            for (int j = 0; j < kLpcOrder; ++j)
                a[j] = static_cast<int16_t>(pattern == 0 || j % 2 == 0 ? scale : -scale);
            const int64_t twice_abs = TwiceAbsSum(a, true);
            for (const int16_t mag : {kMax16, int16_t{300}})
                for (const int sign : {1, -1}) {
                    const int64_t room = kMax32 - twice_abs * (mag == kMax16 ? 32769 : mag + 1);
                    for (const int64_t level : {room, room + 1, room + twice_abs * 16384,
                                                int64_t{kMax32} - 1000, int64_t{0}}) {
                        if (level < 0 || level > kMax32) continue;
                        int32_t acc[2][kSubFrame];
                        int16_t line[2][kLpcOrder];
                        int16_t out[2][kSubFrame];
                        for (int v = 0; v < 2; ++v) {
                            for (int i = 0; i < kSubFrame; ++i)
                                acc[v][i] = static_cast<int32_t>(i % 7 == 0 ? sign * level
                                                                            : sign * level / 2);
                            for (int j = 0; j < kLpcOrder; ++j)
                                line[v][j] = static_cast<int16_t>(
                                    (a[j] > 0) == (sign > 0) ? mag : -mag - (mag == kMax16));
                            PolePass(acc[v], a, line[v], TwiceAbsSum(a, v == 0), out[v]);
                        }
                        const std::string where = "line " + std::to_string(mag) + " scale " +
                                                  std::to_string(scale) + " pattern " +
                                                  std::to_string(pattern) + " level " +
                                                  std::to_string(sign * level);
                        ASSERT_TRUE(std::equal(acc[0], acc[0] + kSubFrame, acc[1])) << where;
                        ASSERT_TRUE(std::equal(out[0], out[0] + kSubFrame, out[1])) << where;
                        ASSERT_TRUE(std::equal(line[0], line[0] + kLpcOrder, line[1])) << where;
                        ++cases;
                    }
                }
        }
    }
    EXPECT_GE(cases, 80);
    // A sharp filter that passes the check on entry (an empty line) and then
    // meets its own large outputs: accumulators set so that the plain sums
    // give 30000, 30000, 32000 and then zeros, while the saturating sums of
    // the third output pass 2^31 - 1 after its first tap.
    const int16_t a[kLpcOrder] = {8192, -32767};
    const int plan[kSubFrame] = {30000, 30000, 32000};
    int32_t acc[2][kSubFrame];
    int16_t line[2][kLpcOrder] = {}, out[2][kSubFrame];
    for (int v = 0; v < 2; ++v) {
        for (int i = 0; i < kSubFrame; ++i)
            acc[v][i] = static_cast<int32_t>(int64_t{16384} * plan[i] -
                                             2 * (int64_t{a[0]} * (i > 0 ? plan[i - 1] : 0) +
                                                  int64_t{a[1]} * (i > 1 ? plan[i - 2] : 0)));
        PolePass(acc[v], a, line[v], TwiceAbsSum(a, v == 0), out[v]);
    }
    EXPECT_NE(out[1][2], 32000);
    EXPECT_TRUE(std::equal(out[0], out[0] + kSubFrame, out[1]));
    EXPECT_TRUE(std::equal(acc[0], acc[0] + kSubFrame, acc[1]));
}

// The harmonic filters without saturating steps, on every pair of extreme
// samples and gains (both ends of each saturation and of the rounding), on
// every path.
TEST(G7231Stages, HarmonicFiltersAtTheEnds) {
    const int16_t v[] = {kMin16, -32767, -16385, -1, 0, 1, 16384, 32766, kMax16};
    int16_t buf[kPitchMax + kFrame];
    for (int n = 0; n < kPitchMax + kFrame; ++n) buf[n] = v[(n * n / 3) % 9];
    for (const int16_t g : v) {
        const HarmonicFilter pw[kSubFrames] = {{1, g}, {2, g}, {5, g}, {kPitchMax, g}};
        for (qm::G7231Isa isa : {qm::G7231Isa::Portable, qm::G7231Isa::Sse2, qm::G7231Isa::Avx2}) {
            if (!qm::G7231IsaSupported(isa)) continue;
            qm::SetG7231Isa(isa);
            int16_t out[kFrame];
            ApplyHarmonicFilters(buf, pw, out);
            for (int i = 0; i < kFrame; ++i) {
                const int n = kPitchMax + i;
                ASSERT_EQ(out[i],
                          round_l(L_msu(L_deposit_h(buf[n]), g, buf[n - pw[i / kSubFrame].lag])))
                    << "gain " << g << " sample " << i;
            }
        }
    }
    qm::SetG7231Isa(qm::G7231Isa::Best);
}

}  // namespace

// LSP quantisation with residuals (the LSPs less their mean, with no
// prediction here) below, at and past the size the vector criterion allows
// (2 max |residual| + max |code value| inside 16 bits: 13,377, 13,716 and
// 14,016 for the three bands), the signs of each band in turn: every path
// chooses the entries the saturating operators choose.
TEST(G7231Stages, LspQuantisationAtItsBounds) {
    int cases = 0;
    for (const int r : {0, 700, 13377, 13378, 13716, 13717, 14016, 14017, 16000, 24000})
        for (int signs = 0; signs < 16; ++signs) {
            int16_t lsp[kLpcOrder], prev[kLpcOrder];
            for (int i = 0; i < kLpcOrder; ++i) {
                prev[i] = kLspDcVector[i];
                const int residual = (signs >> (i % 4)) & 1 ? -r : r - 37 * i;
                lsp[i] = Saturate(kLspDcVector[i] + residual);
            }
            bool fault = false;
            const int32_t want = QuantizeLsp(lsp, prev, false, fault);
            for (qm::G7231Isa isa :
                 {qm::G7231Isa::Portable, qm::G7231Isa::Sse2, qm::G7231Isa::Avx2}) {
                if (!qm::G7231IsaSupported(isa)) continue;
                qm::SetG7231Isa(isa);
                ASSERT_EQ(QuantizeLsp(lsp, prev, true, fault), want) << r << " " << signs;
            }
            ++cases;
        }
    qm::SetG7231Isa(qm::G7231Isa::Best);
    EXPECT_EQ(cases, 10 * 16);
}
