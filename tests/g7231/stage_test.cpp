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

}  // namespace
