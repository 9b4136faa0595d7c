// The generated filter rows: the properties the resampler relies on, and a
// checksum of each row as the generator wrote it (the fade table is checked
// value by value in audio_test).
#include <gtest/gtest.h>

#include <cstdlib>

#include "input/resampler.h"

namespace {

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

}  // namespace
