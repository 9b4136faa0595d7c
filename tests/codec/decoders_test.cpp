#include "codec/decoders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "codec/coders.h"

namespace {

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
