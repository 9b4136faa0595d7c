// The A-law and IMA ADPCM coders and the decoders of every coding.
#include "codec/coders.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "codec/decoders.h"

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

// A-law from the quantiser's definition: on the 13-bit scale (a sample
// shifted right by 3) segment 0 covers 0..31 in steps of 2 and segment s >= 1
// covers 16 << s up to 32 << s in steps of 1 << s (2 for segment 1). A code
// stands for the middle of its step, scaled back by 8.
int ALawFromDefinition(int byte) {
    const int code = byte ^ 0b01010101;  // bits 0, 2, 4 and 6 travel inverted
    const int segment = (code >> 4) & 7, mantissa = code & 0x0F;
    const int low = segment == 0 ? 0 : 16 << segment, width = segment <= 1 ? 2 : 1 << segment;
    const int middle = 8 * (low + mantissa * width) + 4 * width;
    return (code & 0x80) ? middle : -middle;
}

TEST(ALawDecoder, EveryCodeAndEveryInput) {
    std::vector<int16_t> all(65536), back(65536);
    std::vector<uint8_t> coded(65536);
    for (int i = 0; i < 65536; ++i) all[i] = static_cast<int16_t>(i - 32768);
    ASSERT_EQ(qm::ALawEncode(all.data(), 65536, coded.data()), 65536);
    ASSERT_EQ(qm::ALawDecode(coded.data(), 65536, back.data()), 65536);
    // The error is at most half a step of the code's segment, and reaches it.
    const int kHalfStep[8] = {8, 8, 16, 32, 64, 128, 256, 512};
    int worst[8] = {};
    for (int i = 0; i < 65536; ++i) {
        const int segment = ((coded[i] ^ 0x55) >> 4) & 7, err = std::abs(all[i] - back[i]);
        ASSERT_LE(err, kHalfStep[segment]) << all[i];
        worst[segment] = std::max(worst[segment], err);
    }
    for (int s = 0; s < 8; ++s) EXPECT_EQ(worst[s], kHalfStep[s]) << "segment " << s;

    for (int c = 0; c < 256; ++c) coded[c] = static_cast<uint8_t>(c);
    ASSERT_EQ(qm::ALawDecode(coded.data(), 256, back.data()), 256);
    ASSERT_EQ(qm::ALawEncode(back.data(), 256, coded.data() + 256), 256);
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(back[c], ALawFromDefinition(c)) << c;
        EXPECT_EQ(coded[256 + c], c) << "a decoded value codes back to its code";
    }
}

// The coder's 80-sample blocks join as one pass does, so the decoder, run on
// them, follows the predictor of a coder fed one sample at a time.
TEST(AdpcmDecoder, FollowsTheCodersPredictorAtOddAndEvenLengths) {
    const std::function<int16_t(uint32_t)> kSignals[] = {
        [](uint32_t i) {  // noise
            const uint32_t x = (i * 0x9E3779B1u ^ (i * 0x9E3779B1u) >> 16) * 0x85EBCA6Bu;
            return static_cast<int16_t>(x >> 16);
        },
        [](uint32_t i) {
            const int16_t levels[] = {0, 20000, -20000, 300, -32768, 32767, -5, 1000};
            return levels[(i / 37) % 8];
        },
        [](uint32_t i) { return static_cast<int16_t>(i % 2 ? -32768 : 32767); },
        [](uint32_t i) { return static_cast<int16_t>((i / 40) % 2 ? -32768 : 32767); },
    };
    for (const auto& signal : kSignals) {
        for (uint32_t n : {1u, 2u, 3u, 79u, 80u, 81u, 159u, 160u, 161u, 4000u, 4001u}) {
            std::vector<int16_t> clip(n), tracked(n), out(n + 1, 0x5A5A);
            // Coding one sample at a time writes nothing but carries the
            // coder's state as one pass does: its predictor after each sample.
            qm::AdpcmState state;
            uint8_t sink = 0;
            for (uint32_t i = 0; i < n; ++i) {
                clip[i] = signal(i);
                qm::AdpcmEncodeBlock(state, &clip[i], 1, &sink);
                tracked[i] = state.valprev;
            }
            // An odd clip's last code was dropped: the sample before repeats.
            if (n % 2 != 0) tracked[n - 1] = n > 1 ? tracked[n - 2] : 0;
            std::vector<uint8_t> coded(n / 2 + 1);
            const auto count = static_cast<int32_t>(n);
            ASSERT_EQ(qm::AdpcmEncode(clip.data(), count, coded.data()), count / 2);
            ASSERT_EQ(qm::AdpcmDecode(coded.data(), n / 2, count, out.data()), count);
            EXPECT_EQ(out[n], 0x5A5A) << n << ": wrote past n";
            out.resize(n);
            ASSERT_EQ(out, tracked) << n;
        }
    }
}

TEST(Decoders, LengthsAndPointersAreChecked) {
    const uint8_t b[8] = {0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77};
    int16_t s[20];
    const struct {
        int result, expect;
    } kCases[] = {
        {qm::ALawDecode(nullptr, 0, nullptr), 0},
        {qm::ALawDecode(nullptr, 3, s), qm::kDecodeNullInput},
        {qm::ALawDecode(b, -1, s), qm::kDecodeBadCount},
        {qm::ALawDecode(b, 3, nullptr), qm::kDecodeNullOutput},
        {qm::AdpcmDecode(nullptr, 0, 0, nullptr), 0},
        {qm::AdpcmDecode(nullptr, 0, 1, s), 1},
        {qm::AdpcmDecode(nullptr, 8, 4, s), qm::kDecodeNullInput},
        {qm::AdpcmDecode(b, 8, -2, s), qm::kDecodeBadCount},
        {qm::AdpcmDecode(b, 8, 4, nullptr), qm::kDecodeNullOutput},
        {qm::AdpcmDecode(b, 8, 17, s), 17},
        {qm::AdpcmDecode(b, 8, 18, s), qm::kDecodeShortInput},
        {qm::AdpcmDecode(b, 8, 6, s), 6},
    };
    for (size_t i = 0; i < std::size(kCases); ++i)
        EXPECT_EQ(kCases[i].result, kCases[i].expect) << i;
}

}  // namespace
