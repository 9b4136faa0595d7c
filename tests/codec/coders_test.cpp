#include "codec/coders.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

unsigned char ALaw1(int16_t x) {
    unsigned char c = 0;
    EXPECT_EQ(qm::ALawEncode(&x, 1, &c), 1);
    return c;
}

TEST(ALaw, ExamplesAndContract) {
    const std::pair<int16_t, int> kCodes[] = {
        {0, 0xD5},   {15, 0xD5},   {-1, 0x55},    {-9, 0x55},    {255, 0xDA},
        {256, 0xC5}, {4095, 0x9A}, {-4096, 0x1A}, {32767, 0xAA}, {-32768, 0x2A}};
    for (const auto& [x, code] : kCodes) EXPECT_EQ(ALaw1(x), code) << x;

    int16_t s[3] = {1, 2, 3};
    unsigned char out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(qm::ALawEncode(nullptr, 0, nullptr), -1);
    EXPECT_EQ(qm::ALawEncode(s, 0, nullptr), -2);
    EXPECT_EQ(qm::ALawEncode(s, 3, nullptr), -3);
    EXPECT_EQ(qm::ALawEncode(s, 3, out), 3);
    EXPECT_EQ(out[3], 0xEE);  // exactly n bytes
}

std::vector<unsigned char> Adpcm(const std::vector<int16_t>& s) {
    std::vector<unsigned char> out(s.size() / 2 + 1, 0xEE);
    int r = qm::AdpcmEncode(s.data(), static_cast<int32_t>(s.size()), out.data());
    EXPECT_GE(r, 0);
    EXPECT_EQ(out[r], 0xEE) << "wrote past its count";
    out.resize(r < 0 ? 0 : r);
    return out;
}

using Bytes = std::vector<unsigned char>;

TEST(Adpcm, Examples) {
    // A block's bytes and the state it leaves.
    for (int16_t x : {0, 1000}) {
        qm::AdpcmState st;
        const int16_t block[4] = {x, x, x, x};
        unsigned char b[2] = {};
        EXPECT_EQ(qm::AdpcmEncodeBlock(st, block, 4, b), 2);
        EXPECT_EQ(b[0] * 256 + b[1], x ? 0x7777 : 0);
        EXPECT_EQ(st.valprev, x ? 240 : 0);
        EXPECT_EQ(st.index, x ? 32 : 0);
    }
    EXPECT_EQ(Adpcm(std::vector<int16_t>(6, 32767)), Bytes(3, 0x77));
    EXPECT_EQ(Adpcm(std::vector<int16_t>(6, -32768)), Bytes(3, 0xFF));
    EXPECT_EQ(Adpcm({100, -100, 100, -100}), Bytes({0x7F, 0x7F}));
    // Each of the three comparisons with the step at its edge: from predictor
    // 0 the step is 7, so 7, 3 and 1 set exactly one magnitude bit each.
    const struct {
        int16_t sample;
        int code;
    } kEdges[] = {{7, 4}, {6, 3}, {3, 2}, {2, 1}, {1, 1}, {0, 0}, {-7, 12}, {-1, 9}};
    for (const auto& e : kEdges) EXPECT_EQ(Adpcm({e.sample, 0})[0] >> 4, e.code) << e.sample;

    int16_t s[2] = {1, 2};
    EXPECT_EQ(qm::AdpcmEncode(nullptr, 0, nullptr), -1);
    EXPECT_EQ(qm::AdpcmEncode(s, -1, nullptr), -2);
    EXPECT_EQ(qm::AdpcmEncode(s, 2, nullptr), -3);
}

}  // namespace
