// Stage functions of the encoder, driven directly with extreme inputs that
// whole clips rarely reach: their fast paths against the saturating
// operators.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "codec/g7231/adaptive_search.h"
#include "codec/g7231/basic_ops.h"
#include "codec/g7231/constants.h"
#include "codec/g7231/g7231.h"
#include "codec/g7231/tables.h"

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

}  // namespace
