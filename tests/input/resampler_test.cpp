// The resampler: its generated filter rows, factors and phase tables, and its
// outputs against their definition.
#include "input/resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

using qm::CreateResampler;
using qm::ResamplerState;
using qm::RunResampler;

std::unique_ptr<ResamplerState> Make(int32_t from, int32_t to) {
    std::unique_ptr<ResamplerState> st;
    EXPECT_EQ(CreateResampler(from, to, st), 0);
    return st;
}

// The outputs straight from their definition: y[m] from x[n_m - t] and
// h[p_m + t L], for every m whose block of L outputs has its M inputs.
std::vector<int16_t> Reference(int32_t from, int32_t to, const std::vector<int16_t>& x) {
    auto st = Make(from, to);
    const int64_t L = st->L, M = st->M, K = st->K;
    const qm::FilterRow& row = qm::ResamplerFilterRow(qm::ResamplerRowFor(std::max(L, M)));
    std::vector<int16_t> y;
    for (int64_t m = 0; m < L * (static_cast<int64_t>(x.size()) / M); ++m) {
        int64_t n = m * M / L, p = m * M % L, acc = 0;
        for (int64_t t = 0; t < K; ++t) {
            int64_t h = p + t * L < row.length ? row.taps[p + t * L] : 0;
            acc += n - t >= 0 ? h * x[n - t] : 0;
        }
        y.push_back(static_cast<int16_t>(std::clamp<int64_t>((acc >> 15) * L, -32768, 32767)));
    }
    return y;
}

std::vector<int16_t> Noise(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<int16_t> v(n);
    for (auto& s : v) s = static_cast<int16_t>(static_cast<int32_t>(gen() % 65536) - 32768);
    return v;
}

// The generated filter rows: the properties the resampler relies on, and a
// checksum of each row as the generator wrote it.
TEST(AudioTables, FilterRows) {
    const struct {
        int factor, length;
        uint64_t checksum;
    } rows[qm::kResamplerFilterRows] = {
        {2, 17, 0xf2453258816d16d4ull},   {3, 25, 0xf09a89145190cc06ull},
        {4, 33, 0x091f361702c6177dull},   {5, 41, 0x3af8e85a8f8d071bull},
        {6, 49, 0xf3d485d3cb462861ull},   {8, 97, 0xab40cf56ab43d5beull},
        {9, 73, 0x62307ff9293908ecull},   {11, 111, 0x6247356d16a42ceeull},
        {12, 133, 0x0ac17c7a22209db8ull}, {16, 129, 0x52a73806e06e7f25ull},
        {24, 193, 0x1bb6d43c8f736a96ull}, {30, 241, 0xc9a7f358f3ee6232ull},
    };
    for (int r = 0; r < qm::kResamplerFilterRows; ++r) {
        SCOPED_TRACE(r);
        const qm::FilterRow& row = qm::ResamplerFilterRow(r);
        ASSERT_EQ(row.factor, rows[r].factor);
        ASSERT_EQ(row.length, rows[r].length);
        int sum = 0, magnitude = 0;
        uint64_t checksum = 0;
        for (int n = 0; n < row.length; ++n) {
            EXPECT_EQ(row.taps[n], row.taps[row.length - 1 - n]) << "symmetric, tap " << n;
            sum += row.taps[n];
            magnitude += std::abs(row.taps[n]);
            checksum = checksum * 1000003u + static_cast<uint16_t>(row.taps[n]);
        }
        // Unit gain at zero frequency, up to the rounding of each tap.
        EXPECT_LE(std::abs(sum - 32768), row.length / 2);
        // Keeps the filter's 32-bit accumulator of 16-bit products in range.
        EXPECT_LT(magnitude, 65536);
        EXPECT_EQ(checksum, rows[r].checksum);
    }
}

TEST(Resampler, FactorsRowsAndPhaseTables) {
    // from, to, L, M, N, K; 96 and 192 kHz use the full 32-bit rate.
    const int32_t cases[][6] = {{16000, 8000, 1, 2, 17, 17},     {8000, 11025, 11, 8, 111, 11},
                                {44100, 8000, 2, 11, 111, 56},   {96000, 16000, 1, 6, 49, 49},
                                {192000, 8000, 1, 24, 193, 193}, {8000, 22050, 11, 4, 111, 11}};
    for (auto& c : cases) {
        SCOPED_TRACE(c[0]);
        auto st = Make(c[0], c[1]);
        ASSERT_NE(st, nullptr);
        EXPECT_EQ(std::vector<int32_t>({st->L, st->M, st->N, st->K, st->gain}),
                  std::vector<int32_t>({c[2], c[3], c[4], c[5], c[2]}));
        int32_t stepSum = 0;
        for (int32_t s : st->steps) stepSum += s;
        EXPECT_EQ(stepSum, st->M);
    }
    // 8000 -> 11025, phase j = 1 uses p = 8: h[8], h[19], ..., and 0 from h[111] on.
    auto b = Make(8000, 11025);
    EXPECT_EQ(b->coeffs[11 + 0], qm::ResamplerFilterRow(7).taps[8]);
    EXPECT_EQ(b->coeffs[11 + 10], 0);

    std::unique_ptr<ResamplerState> st;
    EXPECT_EQ(CreateResampler(22000, 22050, st), 0);
    EXPECT_EQ(st, nullptr);
    EXPECT_EQ(CreateResampler(499, 16000, st), -3);
    EXPECT_EQ(CreateResampler(16000, 400, st), -3);
    EXPECT_EQ(CreateResampler(-16000, 8000, st), -3);
    EXPECT_EQ(CreateResampler(2147483647, 8000, st), 0);  // no overflow in the rounding
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st->fromKHz, 2147484);
}

TEST(Resampler, OutputsFollowTheDefinitionWholeOrInPieces) {
    const int32_t pairs[][2] = {{16000, 8000},  {8000, 11025},  {44100, 8000},
                                {48000, 16000}, {11025, 22050}, {96000, 22050},
                                {8000, 16000},  {22050, 11025}, {192000, 11025}};
    // Full-scale noise also drives the clamp for the upsampling ratios.
    std::vector<int16_t> x = Noise(3000, 7);
    std::mt19937 gen(3);
    for (auto& p : pairs) {
        SCOPED_TRACE(testing::Message() << p[0] << " -> " << p[1]);
        std::vector<int16_t> ref = Reference(p[0], p[1], x);
        for (int round = 0; round < 8; ++round) {
            auto st = Make(p[0], p[1]);
            std::vector<int16_t> y(ref.size() + st->L, 12345);
            size_t done = 0, written = 0;
            while (done < x.size()) {
                // One call, sometimes long pieces, mostly short ones (below M, below K).
                size_t piece = round == 0       ? x.size()
                               : round % 4 == 1 ? 1 + gen() % 400
                                                : gen() % 30;
                piece = std::min(piece, x.size() - done);
                int got = RunResampler(*st, x.data() + done, static_cast<int32_t>(piece),
                                       y.data() + written);
                ASSERT_GE(got, 0);
                ASSERT_LE(static_cast<size_t>(got), (st->held + piece) / st->M * st->L + st->L);
                done += piece;
                written += static_cast<size_t>(got);
            }
            EXPECT_EQ(y[written], 12345);  // nothing written past the outputs
            y.resize(written);
            ASSERT_EQ(y, ref);
        }
    }
    // Fewer than M samples with nothing held: nothing out, kept for later.
    auto st = Make(44100, 8000);
    int16_t out[4];
    EXPECT_EQ(RunResampler(*st, x.data(), 10, out), 0);
    EXPECT_EQ(st->held, 10);
    EXPECT_EQ(RunResampler(*st, x.data() + 10, 1, out), 2);
    EXPECT_EQ(st->held, 0);
}

}  // namespace
