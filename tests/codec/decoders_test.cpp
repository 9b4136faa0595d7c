#include "codec/decoders.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "codec/coders.h"

namespace {

using Samples = std::vector<int16_t>;
using Bytes = std::vector<uint8_t>;

// A-law from the quantiser's definition: on the 13-bit scale (a 16-bit sample
// shifted right by 3) segment 0 covers 0..31 in steps of 2 and segment s >= 1
// covers 16 << s up to 32 << s in steps of 1 << s (2 for segment 1). A code
// stands for the middle of its step, scaled back by 8.
int ALawFromDefinition(uint8_t byte) {
    const int code = byte ^ 0b01010101;  // bits 0, 2, 4 and 6 travel inverted
    const bool positive = (code & 0x80) != 0;
    const int segment = (code >> 4) & 7;
    const int mantissa = code & 0x0F;
    const int low = segment == 0 ? 0 : 16 << segment;
    const int width = segment <= 1 ? 2 : 1 << segment;
    const int middle = 8 * (low + mantissa * width) + 4 * width;
    return positive ? middle : -middle;
}

TEST(ALawDecoder, EveryCodeIsTheMiddleOfItsStepAndCodesBackToItself) {
    Bytes codes(256);
    for (int c = 0; c < 256; ++c) codes[c] = static_cast<uint8_t>(c);
    Samples out(257, 0x5A5A);
    ASSERT_EQ(qm::ALawDecode(codes.data(), 256, out.data()), 256);
    EXPECT_EQ(out[256], 0x5A5A) << "wrote past n";
    for (int c = 0; c < 256; ++c) {
        ASSERT_EQ(out[c], ALawFromDefinition(static_cast<uint8_t>(c))) << c;
        ASSERT_EQ(qm::ALawSample(static_cast<uint8_t>(c)), out[c]) << c;
        uint8_t again = 0;
        ASSERT_EQ(qm::ALawEncode(&out[c], 1, &again), 1);
        EXPECT_EQ(again, c) << "decoded value " << out[c];
    }
}

TEST(ALawDecoder, RoundTripErrorIsHalfAStepOfTheSegment) {
    Samples all(65536);
    for (int i = 0; i < 65536; ++i) all[i] = static_cast<int16_t>(i - 32768);
    Bytes coded(65536);
    ASSERT_EQ(qm::ALawEncode(all.data(), 65536, coded.data()), 65536);
    Samples back(65536);
    ASSERT_EQ(qm::ALawDecode(coded.data(), 65536, back.data()), 65536);

    // Largest error per segment: half the step, in 16-bit units.
    const int kHalfStep[8] = {8, 8, 16, 32, 64, 128, 256, 512};
    int worst[8] = {};
    for (int i = 0; i < 65536; ++i) {
        const int segment = ((coded[i] ^ 0x55) >> 4) & 7;
        const int err = std::abs(all[i] - back[i]);
        ASSERT_LE(err, kHalfStep[segment]) << all[i];
        ASSERT_EQ(back[i] > 0, all[i] >= 0) << all[i];
        if (err > worst[segment]) worst[segment] = err;
    }
    for (int s = 0; s < 8; ++s) EXPECT_EQ(worst[s], kHalfStep[s]) << "segment " << s;
}

// The predictor values the coder tracks, one per sample: coding one sample at
// a time writes nothing (its code stays a pending nibble) but carries the
// state exactly as one pass over the clip does.
Samples TrackedPredictor(const Samples& clip) {
    qm::AdpcmState state;
    Samples tracked;
    uint8_t sink[1];
    for (int16_t s : clip) {
        qm::AdpcmEncodeBlock(state, &s, 1, sink);
        tracked.push_back(state.valprev);
    }
    return tracked;
}

Samples Noise(size_t n) {
    Samples s(n);
    uint32_t x = 12345;
    for (auto& v : s) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<int16_t>(x >> 16);
    }
    return s;
}

Samples Steps(size_t n) {
    const int16_t levels[] = {0, 20000, -20000, 300, -32768, 32767, -5, 1000};
    Samples s(n);
    for (size_t i = 0; i < n; ++i) s[i] = levels[(i / 37) % 8];
    return s;
}

Samples Square(size_t n, size_t half) {
    Samples s(n);
    for (size_t i = 0; i < n; ++i) s[i] = (i / half) % 2 ? -32768 : 32767;
    return s;
}

TEST(AdpcmDecoder, FollowsTheCodersPredictorAtOddAndEvenLengths) {
    const struct {
        const char* name;
        std::function<Samples(size_t)> make;
    } kSignals[] = {
        {"noise", Noise},
        {"steps", Steps},
        {"square every sample", [](size_t n) { return Square(n, 1); }},
        {"square every 40", [](size_t n) { return Square(n, 40); }},
        {"constant 1000", [](size_t n) { return Samples(n, 1000); }},
    };
    for (const auto& sig : kSignals) {
        for (size_t n : {1u, 2u, 3u, 4u, 79u, 80u, 81u, 160u, 161u, 4000u, 4001u}) {
            const Samples clip = sig.make(n);
            Bytes coded(n / 2 + 1);
            ASSERT_EQ(qm::AdpcmEncode(clip.data(), static_cast<int32_t>(n), coded.data()),
                      static_cast<int>(n / 2));
            Samples out(n + 1, 0x5A5A);
            ASSERT_EQ(qm::AdpcmDecode(coded.data(), n / 2, static_cast<int32_t>(n), out.data()),
                      static_cast<int>(n));
            EXPECT_EQ(out[n], 0x5A5A) << sig.name << " " << n << ": wrote past n";

            // Every sample whose code was stored is the coder's predictor; the
            // dropped last sample of an odd clip repeats the one before it.
            Samples expect = TrackedPredictor(clip);
            if (n % 2 != 0) expect[n - 1] = n > 1 ? expect[n - 2] : 0;
            out.resize(n);
            ASSERT_EQ(out, expect) << sig.name << " " << n;
        }
    }
}

TEST(AdpcmDecoder, KnownCodes) {
    const struct {
        Bytes coded;
        int32_t n;
        Samples expect;
    } kCases[] = {
        {{0x00, 0x00}, 4, {0, 0, 0, 0}},
        {{0x77, 0x77}, 4, {11, 41, 104, 240}},
        {{0x77, 0x77}, 5, {11, 41, 104, 240, 240}},
        {{0x77}, 2, {11, 41}},
        {{0xFF}, 2, {-11, -41}},
        {{0x7F}, 2, {11, -19}},
        {{}, 1, {0}},
    };
    for (const auto& c : kCases) {
        Samples out(c.expect.size());
        EXPECT_EQ(qm::AdpcmDecode(c.coded.data(), c.coded.size(), c.n, out.data()), c.n);
        EXPECT_EQ(out, c.expect) << c.n;
    }
}

TEST(Decoders, LengthsAndPointersAreChecked) {
    const Bytes in(8, 0x77);
    Samples out(32, 0);
    const uint8_t* bytes = in.data();
    int16_t* samples = out.data();
    const struct {
        const char* what;
        std::function<int()> call;
        int expect;
    } kCases[] = {
        {"alaw empty", [&] { return qm::ALawDecode(nullptr, 0, nullptr); }, 0},
        {"alaw null input", [&] { return qm::ALawDecode(nullptr, 3, samples); }, -1},
        {"alaw negative", [&] { return qm::ALawDecode(bytes, -1, samples); }, -2},
        {"alaw null output", [&] { return qm::ALawDecode(bytes, 3, nullptr); }, -3},
        {"adpcm empty", [&] { return qm::AdpcmDecode(nullptr, 0, 0, nullptr); }, 0},
        {"adpcm one sample, no byte", [&] { return qm::AdpcmDecode(nullptr, 0, 1, samples); }, 1},
        {"adpcm null input", [&] { return qm::AdpcmDecode(nullptr, 8, 4, samples); }, -1},
        {"adpcm negative", [&] { return qm::AdpcmDecode(bytes, 8, -2, samples); }, -2},
        {"adpcm null output", [&] { return qm::AdpcmDecode(bytes, 8, 4, nullptr); }, -3},
        {"adpcm exact", [&] { return qm::AdpcmDecode(bytes, 8, 16, samples); }, 16},
        {"adpcm odd", [&] { return qm::AdpcmDecode(bytes, 8, 17, samples); }, 17},
        {"adpcm one short", [&] { return qm::AdpcmDecode(bytes, 8, 18, samples); }, -4},
        {"adpcm trailing bytes", [&] { return qm::AdpcmDecode(bytes, 8, 6, samples); }, 6},
        {"adpcm no bytes", [&] { return qm::AdpcmDecode(bytes, 0, 2, samples); }, -4},
    };
    for (const auto& c : kCases) EXPECT_EQ(c.call(), c.expect) << c.what;
    for (int r : {-1, -2, -3, -4})
        EXPECT_NE(std::string(qm::DecoderResultText(r)), qm::DecoderResultText(-9)) << r;
}

}  // namespace
