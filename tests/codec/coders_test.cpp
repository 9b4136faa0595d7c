#include "codec/coders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "common/testutil.h"

namespace {

// G.711 A-law from the decoder's side: the value a code byte stands for, and
// the interval of inputs its quantiser maps to that byte. An encoder is right
// when every input lands in the interval of the byte it produced.
struct ALawLevel {
    bool positive;
    int value;  // reconstruction magnitude in 16-bit units
    int half;   // half the quantiser step
};

ALawLevel DecodeALaw(unsigned char code) {
    int t = code ^ 0x55;
    int seg = (t >> 4) & 7;
    int mant = t & 0x0F;
    ALawLevel l;
    l.positive = (t & 0x80) != 0;
    if (seg == 0) {
        l.value = (mant << 4) + 8;
        l.half = 8;
    } else {
        l.value = ((mant << 4) + 0x108) << (seg - 1);
        l.half = 8 << (seg - 1);
    }
    return l;
}

unsigned char ALaw1(int16_t x) {
    unsigned char c = 0;
    EXPECT_EQ(qm::ALawEncode(&x, 1, &c), 1);
    return c;
}

TEST(ALaw, EveryInputLandsInTheIntervalOfItsCode) {
    std::vector<int16_t> all(65536);
    for (int i = 0; i < 65536; ++i) all[i] = static_cast<int16_t>(i - 32768);
    std::vector<unsigned char> codes(65536);
    ASSERT_EQ(qm::ALawEncode(all.data(), 65536, codes.data()), 65536);
    for (int i = 0; i < 65536; ++i) {
        int x = all[i];
        ALawLevel l = DecodeALaw(codes[i]);
        // Negative inputs are coded by their one's complement magnitude.
        int mag = x >= 0 ? x : -x - 1;
        ASSERT_EQ(l.positive, x >= 0) << x;
        ASSERT_GE(mag, l.value - l.half) << x;
        ASSERT_LT(mag, l.value + l.half) << x;
    }
}

TEST(ALaw, ExamplesAndContract) {
    for (int16_t x : {0, 1, 7, 8, 15}) EXPECT_EQ(ALaw1(x), 0xD5) << x;
    for (int16_t x : {-1, -8, -9}) EXPECT_EQ(ALaw1(x), 0x55) << x;
    EXPECT_EQ(ALaw1(32767), 0xAA);
    EXPECT_EQ(ALaw1(-32768), 0x2A);
    EXPECT_EQ(ALaw1(255), 0xDA);
    EXPECT_EQ(ALaw1(256), 0xC5);
    EXPECT_EQ(ALaw1(1000), 0xFA);
    EXPECT_EQ(ALaw1(-1000), 0x7A);
    EXPECT_EQ(ALaw1(4095), 0x9A);
    EXPECT_EQ(ALaw1(-4096), 0x1A);

    int16_t s[3] = {1, 2, 3};
    unsigned char out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(qm::ALawEncode(nullptr, 0, nullptr), -1);
    EXPECT_EQ(qm::ALawEncode(s, 0, nullptr), -2);
    EXPECT_EQ(qm::ALawEncode(s, 3, nullptr), -3);
    EXPECT_EQ(qm::ALawEncode(s, 3, out), 3);
    EXPECT_EQ(out[3], 0xEE);  // exactly n bytes
}

// The standard IMA ADPCM decoder, starting from predictor 0 and index 0.
const int kSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

struct ImaDecoder {
    int pred = 0;
    int index = 0;
    int Step(int code) {
        static const int adj[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
        int step = kSteps[index];
        int d = step >> 3;
        if (code & 4) d += step;
        if (code & 2) d += step >> 1;
        if (code & 1) d += step >> 2;
        pred = (code & 8) ? pred - d : pred + d;
        pred = std::clamp(pred, -32768, 32767);
        index = std::clamp(index + adj[code & 7], 0, 88);
        return pred;
    }
    std::vector<int16_t> Decode(const std::vector<unsigned char>& bytes) {
        std::vector<int16_t> out;
        for (unsigned char b : bytes) {
            out.push_back(static_cast<int16_t>(Step(b >> 4)));
            out.push_back(static_cast<int16_t>(Step(b & 0x0F)));
        }
        return out;
    }
};

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
    qm::AdpcmState st;
    int16_t zeros[4] = {0, 0, 0, 0};
    unsigned char b[4] = {};
    EXPECT_EQ(qm::AdpcmEncodeBlock(st, zeros, 4, b), 2);
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[1], 0x00);
    EXPECT_EQ(st.valprev, 0);
    EXPECT_EQ(st.index, 0);

    st = {};
    int16_t thousand[4] = {1000, 1000, 1000, 1000};
    EXPECT_EQ(qm::AdpcmEncodeBlock(st, thousand, 4, b), 2);
    EXPECT_EQ(b[0], 0x77);
    EXPECT_EQ(b[1], 0x77);
    EXPECT_EQ(st.valprev, 240);
    EXPECT_EQ(st.index, 32);

    EXPECT_EQ(Adpcm(std::vector<int16_t>(6, 32767)), Bytes(3, 0x77));
    EXPECT_EQ(Adpcm(std::vector<int16_t>(6, -32768)), Bytes(3, 0xFF));
    EXPECT_EQ(Adpcm({100, -100, 100, -100}), Bytes({0x7F, 0x7F}));
    EXPECT_EQ(Adpcm({5}).size(), 0u);
    EXPECT_EQ(Adpcm(std::vector<int16_t>(1001, 7)).size(), 500u);

    int16_t s[2] = {1, 2};
    EXPECT_EQ(qm::AdpcmEncode(nullptr, 0, nullptr), -1);
    EXPECT_EQ(qm::AdpcmEncode(s, -1, nullptr), -2);
    EXPECT_EQ(qm::AdpcmEncode(s, 2, nullptr), -3);
}

TEST(Adpcm, BlocksJoinAndTheStandardDecoderFollowsTheCoder) {
    std::vector<int16_t> tone = qmtest::ToneSamples(4001, 20000.0, 8000);
    // A loud step and silence exercise the clamps and the lowest index.
    for (size_t i = 1000; i < 1100; ++i) tone[i] = (i & 1) ? 32767 : -32768;
    for (size_t i = 2000; i < 2300; ++i) tone[i] = 0;

    for (size_t n : {1u, 2u, 79u, 80u, 81u, 159u, 160u, 161u, 4000u, 4001u}) {
        std::vector<int16_t> clip(tone.begin(), tone.begin() + n);
        Bytes coded = Adpcm(clip);
        ASSERT_EQ(coded.size(), n / 2);

        // One pass over the whole clip gives the same bytes as the 80-sample blocks.
        qm::AdpcmState whole;
        Bytes onePass(n / 2 + 1);
        EXPECT_EQ(
            qm::AdpcmEncodeBlock(whole, clip.data(), static_cast<uint32_t>(n), onePass.data()),
            static_cast<int>(n / 2));
        onePass.resize(n / 2);
        EXPECT_EQ(onePass, coded) << n;

        // Pairs coded one block at a time, state carried, join the same way,
        // and after each pair the coder's state is the decoder's.
        qm::AdpcmState st;
        ImaDecoder dec;
        for (size_t i = 0; i + 1 < n; i += 2) {
            unsigned char byte = 0;
            ASSERT_EQ(qm::AdpcmEncodeBlock(st, clip.data() + i, 2, &byte), 1);
            ASSERT_EQ(byte, coded[i / 2]) << n << " " << i;
            dec.Step(byte >> 4);
            dec.Step(byte & 0x0F);
            ASSERT_EQ(st.valprev, dec.pred);
            ASSERT_EQ(st.index, dec.index);
        }
    }

    // The odd last sample is coded (the state moves past it) but not written.
    qm::AdpcmState even, odd;
    unsigned char sink[4];
    int16_t three[3] = {3000, 3000, -3000};
    qm::AdpcmEncodeBlock(even, three, 2, sink);
    EXPECT_EQ(qm::AdpcmEncodeBlock(odd, three, 3, sink), 1);
    EXPECT_NE(odd.valprev, even.valprev);

    // Decoded, the tone comes back with the quality 4-bit ADPCM gives.
    std::vector<int16_t> clip(tone.begin() + 2400, tone.end());
    std::vector<int16_t> back = ImaDecoder().Decode(Adpcm(clip));
    double sig = 0, err = 0;
    for (size_t i = 200; i < back.size(); ++i) {  // after the step size has adapted
        sig += double(clip[i]) * clip[i];
        err += double(clip[i] - back[i]) * (clip[i] - back[i]);
    }
    EXPECT_GT(10 * std::log10(sig / err), 20.0);
}

}  // namespace
