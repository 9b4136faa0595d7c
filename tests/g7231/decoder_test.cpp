#include "codec/g7231/decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/g7231/basic_ops.h"
#include "codec/g7231/bitstream.h"
#include "codec/g7231/excitation.h"
#include "codec/g7231/g7231.h"
#include "g7231/reference.h"

namespace {

using namespace qm::g7231;

std::vector<uint8_t> Vector(const std::string& name) {
    return qmtest::ReadBytes(std::string(QM_TEST_DATA) + "/g7231_decoder/" + name + ".g723");
}

std::vector<int16_t> DecodeAll(const std::vector<uint8_t>& frames) {
    std::vector<int16_t> out(frames.size() / kFrameBytes * kFrame + 1, 0x5555);
    const int r =
        qm::G7231DecodeClip(frames.data(), frames.size(), qm::kG7231AllSamples, out.data());
    EXPECT_EQ(r, static_cast<int>(out.size() - 1));
    EXPECT_EQ(out.back(), 0x5555) << "wrote past the samples";
    out.resize(r > 0 ? static_cast<size_t>(r) : 0);
    return out;
}

// Frame by frame through a decoder object, with or without the fast paths.
std::vector<int16_t> DecodeFrames(const std::vector<uint8_t>& frames, bool fast) {
    Decoder dec;
    dec.SetFastPaths(fast);
    std::vector<int16_t> out(frames.size() / kFrameBytes * kFrame);
    for (size_t f = 0; f < frames.size() / kFrameBytes; ++f)
        EXPECT_TRUE(dec.DecodeFrame(frames.data() + f * kFrameBytes, out.data() + f * kFrame));
    EXPECT_FALSE(dec.fault());
    return out;
}

// Sample-exact match with the reference decoder (postfilter on) for every
// vector (the copies in the test data, and the shared originals when
// present), each decoded from a fresh state however many came before.
TEST(G7231DecoderVectors, AllVectorsMatch) {
    int checked = 0;
    for (const std::string& dir : {std::string(QM_TEST_DATA) + "/g7231_decoder",
                                   std::string(QM_SHARED_DIR) + "/g7231/decoder/vectors"}) {
        if (!std::filesystem::is_directory(dir)) continue;
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            if (e.path().extension() != ".g723") continue;
            std::string ref = e.path();
            ref.replace(ref.size() - 5, 5, ".pcm");
            EXPECT_EQ(DecodeAll(qmtest::ReadBytes(e.path())), qmtest::ReadPcm(ref)) << e.path();
            ++checked;
        }
    }
    EXPECT_GE(checked, 12);
}

// The shortcuts taken when a bound proves that no sum saturates give the same
// samples as the saturating operators: on the loudest vectors, on frames of
// random bits (valid or not), on frames that drive the excitation history to
// full scale under a large pitch gain, and on frames coded from full-scale
// squares and noise.
TEST(G7231DecoderFastPaths, SameSamplesAsSaturatingArithmetic) {
    std::vector<std::vector<uint8_t>> clips = {
        Vector("speech_long"), Vector("random_frames"), Vector("square_fullscale"),
        Vector("invalid_frames"),
        qmtest::ReadBytes(std::string(QM_TEST_DATA) + "/g7231_decoder/full_scale_history.frames")};
    uint32_t seed = 2024;
    auto rnd = [&] { return seed = seed * 1664525u + 1013904223u; };
    std::vector<uint8_t> random(kFrameBytes * 600);
    for (auto& b : random) b = static_cast<uint8_t>(rnd() >> 24);
    for (size_t f = 0; f < random.size(); f += kFrameBytes)
        random[f] = static_cast<uint8_t>((random[f] & ~3) | kFrameType53);
    clips.push_back(random);
    std::vector<int16_t> loud(kFrame * 60);
    for (size_t i = 0; i < loud.size(); ++i)
        loud[i] = i < loud.size() / 2 ? ((i / 7) % 2 ? kMax16 : kMin16)
                                      : static_cast<int16_t>(rnd() >> 16);
    std::vector<uint8_t> coded(loud.size() / kFrame * kFrameBytes);
    ASSERT_EQ(qm::G7231EncodeClip(loud.data(), static_cast<int32_t>(loud.size()), coded.data()),
              static_cast<int>(coded.size()));
    clips.push_back(coded);
    for (size_t k = 0; k < clips.size(); ++k)
        EXPECT_EQ(DecodeFrames(clips[k], true), DecodeFrames(clips[k], false)) << "clip " << k;
}

// The adaptive-codebook contribution's plain sums against the saturating
// ones, for every gain entry, with a block of full-scale samples moved
// through the history: wherever it sits, the bound must see it.
TEST(G7231Excitation, AdaptiveBoundSeesEveryHistorySample) {
    for (int lag : {kPitchMin - 1, 60, 64, 100, kPitchMax - 2})
        for (int16_t value : {kMax16, kMin16})
            for (int start = 0; start + 8 <= kPitchMax; start += 4) {
                int16_t history[kPitchMax] = {};
                for (int i = start; i < start + 8; ++i) history[i] = value;
                for (int gain = 0; gain < 170; ++gain) {
                    int16_t fast[kSubFrame], exact[kSubFrame];
                    AdaptiveExcitation(history + kPitchMax, lag, gain, fast, true);
                    AdaptiveExcitation(history + kPitchMax, lag, gain, exact, false);
                    ASSERT_TRUE(std::equal(fast, fast + kSubFrame, exact))
                        << "lag " << lag << " block at " << start << " gain " << gain;
                }
            }
}

// Refusals write nothing; a count trims the output to a prefix of the
// whole clip's.
TEST(G7231DecodeClip, ArgumentContractAndCount) {
    const std::vector<uint8_t> frames = Vector("sine_241");  // two frames
    const std::vector<int16_t> all = DecodeAll(frames);
    struct Case {
        const uint8_t* frames;
        size_t bytes;
        int32_t n;
        bool out;
        int expected;
    };
    const Case cases[] = {
        {nullptr, 20, 240, true, qm::kG7231NullFrames},
        {frames.data(), 19, 10, true, qm::kG7231PartialFrame},
        {frames.data(), 40, -2, true, qm::kG7231BadCount},
        {frames.data(), 40, 481, true, qm::kG7231BadCount},
        {frames.data(), 20, 241, true, qm::kG7231BadCount},
        {frames.data(), 40, 1, false, qm::kG7231NullOutput},
        {frames.data(), 40, 0, false, 0},
        {nullptr, 0, qm::kG7231AllSamples, false, 0},
        {frames.data(), 40, qm::kG7231AllSamples, true, 480},
        {frames.data(), 40, 240, true, 240},
        {frames.data(), 40, 241, true, 241},
    };
    for (const Case& c : cases) {
        std::vector<int16_t> out(500, 0x5555);
        qm::G7231DecodeDetail detail;
        const int r =
            qm::G7231DecodeClip(c.frames, c.bytes, c.n, c.out ? out.data() : nullptr, &detail);
        EXPECT_EQ(r, c.expected) << c.bytes << " bytes, n=" << c.n;
        EXPECT_EQ(detail.frame, -1);
        const size_t written = r > 0 ? static_cast<size_t>(r) : 0;
        EXPECT_EQ(out[written], 0x5555) << c.bytes << " bytes, n=" << c.n;
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + written, all.begin())) << c.n;
        if (r < 0) {
            EXPECT_FALSE(qm::G7231DecodeMessage(r, detail).empty());
        }
    }
}

// Only 5.3 kbit/s active frames are decoded: any other type bits in a frame
// the count needs refuse the clip, naming the frame, before anything is
// written; a frame past the count is not looked at.
TEST(G7231DecodeClip, RefusesOtherFrameTypesNamingTheFrame) {
    const std::vector<uint8_t> good = Vector("sine_1k");
    for (int type : {0, 2, 3})
        for (int frame : {0, 5, 33}) {
            std::vector<uint8_t> bad = good;
            bad[static_cast<size_t>(frame) * kFrameBytes] =
                static_cast<uint8_t>((bad[static_cast<size_t>(frame) * kFrameBytes] & ~3) | type);
            std::vector<int16_t> out(good.size() / kFrameBytes * kFrame, 0x5555);
            qm::G7231DecodeDetail detail;
            const int r = qm::G7231DecodeClip(bad.data(), bad.size(), qm::kG7231AllSamples,
                                              out.data(), &detail);
            EXPECT_EQ(r, qm::kG7231FrameType);
            EXPECT_EQ(detail.frame, frame);
            EXPECT_EQ(detail.frame_type, type);
            EXPECT_EQ(std::count(out.begin(), out.end(), 0x5555), static_cast<long>(out.size()));
            const std::string message = qm::G7231DecodeMessage(r, detail);
            EXPECT_NE(message.find("frame " + std::to_string(frame) + " "), std::string::npos)
                << message;
            // The same frame past the count is never decoded.
            EXPECT_EQ(qm::G7231DecodeClip(bad.data(), bad.size(), frame * kFrame, out.data()),
                      frame * kFrame);
            Decoder dec;
            EXPECT_FALSE(dec.DecodeFrame(bad.data() + frame * kFrameBytes, out.data()));
        }
}

}  // namespace
