// The generated tables against a recomputation from their defining formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "input/audio.h"
#include "input/resampler.h"

namespace {

TEST(AudioTables, FadeCosinesArePinned) {
    const float pi = static_cast<float>(3.14159265358979323846);
    for (int i = 0; i < qm::kFadeLength; ++i) {
        volatile float product = static_cast<float>(i) * pi;
        volatile float angle = product / 119.0f;
        float expected = static_cast<float>(std::cos(static_cast<double>(angle)));
        EXPECT_EQ(qm::kFadeCosine[i], expected) << "i = " << i;
    }
    EXPECT_EQ(qm::kFadeCosine[0], 1.0f);
    EXPECT_EQ(qm::kFadeCosine[119], -1.0f);
}

double I0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 100; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

TEST(AudioTables, FilterBankIsTheKaiserDesign) {
    const int factors[12] = {2, 3, 4, 5, 6, 8, 9, 11, 12, 16, 24, 30};
    const int lengths[12] = {17, 25, 33, 41, 49, 97, 73, 111, 133, 129, 193, 241};
    const double pi = 3.14159265358979323846;
    for (int r = 0; r < qm::kResamplerFilterRows; ++r) {
        SCOPED_TRACE(r);
        const qm::FilterRow& row = qm::ResamplerFilterRow(r);
        ASSERT_EQ(row.factor, factors[r]);
        ASSERT_EQ(row.length, lengths[r]);
        const int N = row.length;
        const double c = (N - 1) / 2.0;
        std::vector<double> g(N);
        double sum = 0;
        for (int n = 0; n < N; ++n) {
            double x = 0.96 / row.factor * (n - c);
            double sinc = x == 0 ? 1.0 : std::sin(pi * x) / (pi * x);
            g[n] = sinc * I0(6.0 * std::sqrt(1.0 - ((n - c) / c) * ((n - c) / c))) / I0(6.0);
            sum += g[n];
        }
        int magnitude = 0;
        for (int n = 0; n < N; ++n) {
            EXPECT_EQ(row.taps[n], std::lround(32768.0 * g[n] / sum)) << "tap " << n;
            magnitude += std::abs(row.taps[n]);
        }
        // Keeps the filter's 32-bit accumulator of 16-bit products in range.
        EXPECT_LT(magnitude, 65536);
    }
    const int16_t row0[17] = {-9,   -91, 105,   606,  -313, -2293, 549, 9969, 15722,
                              9969, 549, -2293, -313, 606,  105,   -91, -9};
    for (int n = 0; n < 17; ++n) EXPECT_EQ(qm::ResamplerFilterRow(0).taps[n], row0[n]);
}

}  // namespace
