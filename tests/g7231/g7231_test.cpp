#include "codec/g7231/g7231.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "codec/g7231/basic_ops.h"
#include "g7231/reference.h"

namespace {

using namespace qm::g7231;
using qmtest::ReadPcm;

std::vector<uint8_t> Encode(const std::vector<int16_t>& pcm) {
    std::vector<uint8_t> out((pcm.size() + 239) / 240 * 20 + 20, 0xAA);
    int r = qm::G7231EncodeClip(pcm.data(), static_cast<int32_t>(pcm.size()), out.data());
    EXPECT_EQ(r, static_cast<int>((pcm.size() + 239) / 240 * 20));
    EXPECT_EQ(out[r > 0 ? r : 0], 0xAA) << "wrote past the coded frames";
    out.resize(r > 0 ? static_cast<size_t>(r) : 0);
    return out;
}

// An operator's result and the value it must give.
struct Op {
    long long got, want;
};

template <size_t N>
void ExpectOps(const Op (&ops)[N], const char* table) {
    for (size_t i = 0; i < N; ++i) EXPECT_EQ(ops[i].got, ops[i].want) << table << "[" << i << "]";
}

TEST(G7231BasicOps, SaturationAndRounding) {
    // mult(-1, 1) truncates toward minus infinity; mult_r(0x4000, 1) rounds 0.5 up.
    const Op k16[] = {{add(0x7fff, 1), 0x7fff},           {add(-0x8000, -1), -0x8000},
                      {sub(-0x8000, 1), -0x8000},         {sub(0x7fff, -1), 0x7fff},
                      {negate(-0x8000), 0x7fff},          {abs_s(-0x8000), 0x7fff},
                      {mult(-0x8000, -0x8000), 0x7fff},   {mult(-1, 1), -1},
                      {mult_r(-0x8000, -0x8000), 0x7fff}, {mult_r(0x4000, 1), 1},
                      {i_mult(300, 300), 0x7fff}};
    ExpectOps(k16, "k16");
    EXPECT_EQ(L_mult(-0x8000, -0x8000), kMax32);
    EXPECT_EQ(L_mult(3, -4), -24);
    EXPECT_EQ(L_add(kMax32, 1), kMax32);
    EXPECT_EQ(L_sub(kMin32, 1), kMin32);
    EXPECT_EQ(L_mac(kMax32 - 1, 1, 1), kMax32);
    EXPECT_EQ(L_msu(kMin32 + 1, 1, 1), kMin32);
    EXPECT_EQ(L_negate(kMin32), kMax32);
    EXPECT_EQ(L_abs(kMin32), kMax32);
    EXPECT_EQ(round_l(0x7fff8000), 0x7fff);  // saturates instead of wrapping
    EXPECT_EQ(round_l(0x00018000), 2);
    EXPECT_EQ(round_l(-0x8001), -1);
    EXPECT_EQ(extract_h(-1), -1);
    EXPECT_EQ(L_mls(0x40000000, 0x4000), 0x20000000);
    EXPECT_EQ(L_mls(-0x10000, 0x7fff), L_mult(-1, 0x7fff));
}

TEST(G7231BasicOps, ShiftsAndNormalisation) {
    // A negative count shifts the other way.
    const Op kShift[] = {{shl(1, 14), 0x4000},   {shl(1, 15), 0x7fff},      {shl(-1, 15), -0x8000},
                         {shl(-2, 15), -0x8000}, {shl(5, 100), 0x7fff},     {shl(0, 100), 0},
                         {shl(-8, -2), -2},      {shl(-8, -32768), -1},     {shr(-1, 1), -1},
                         {shr(-3, 1), -2},       {shr(-0x8000, 40), -1},    {shr(0x7fff, 15), 0},
                         {shr(3, -2), 12},       {shr(0x4000, -2), 0x7fff}, {shr_r(3, 1), 2},
                         {shr_r(-3, 1), -1},     {shr_r(0x7fff, 16), 0}};
    ExpectOps(kShift, "kShift");
    EXPECT_EQ(L_shl(1, 31), kMax32);
    EXPECT_EQ(L_shl(-1, 31), kMin32);
    EXPECT_EQ(L_shl(0x40000000, 1), kMax32);
    EXPECT_EQ(L_shl(-0x40000000, 1), kMin32);
    EXPECT_EQ(L_shl(-0x40000001, 1), kMin32);
    EXPECT_EQ(L_shl(12, -2), 3);
    EXPECT_EQ(L_shr(-1, 31), -1);
    EXPECT_EQ(L_shr(kMin32, 100), -1);
    EXPECT_EQ(L_shr(kMax32, 31), 0);
    EXPECT_EQ(L_shr(1, -40), kMax32);
    const Op kNorm[] = {{norm_s(0), 0},          {norm_s(-1), 15},     {norm_s(1), 14},
                        {norm_s(0x4000), 0},     {norm_s(-0x4000), 1}, {norm_s(-0x4001), 0},
                        {norm_s(-0x8000), 0},    {norm_l(0), 0},       {norm_l(-1), 31},
                        {norm_l(1), 30},         {norm_l(kMin32), 0},  {norm_l(kMax32), 0},
                        {norm_l(-0x40000000), 1}};
    ExpectOps(kNorm, "kNorm");
}

TEST(G7231BasicOps, DivisionAndItsFaults) {
    bool fault = false;
    // A numerator at the denominator saturates (those below it follow below).
    EXPECT_EQ(div_s(5, 5, fault), 0x7fff);
    EXPECT_EQ(div_l(0x40000000, 0x4000, fault), 0x7fff);
    EXPECT_FALSE(fault);
    // Operands outside the domain raise the caller's flag and give 0.
    struct Case {
        int32_t num;
        int16_t den;
        bool wide;
    };
    for (Case c :
         {Case{-1, 5, false}, Case{1, -5, false}, Case{6, 5, false}, Case{0, 0, false},
          Case{1, 0, false}, Case{100, 0, true}, Case{-1, 100, true}, Case{1, -100, true}}) {
        fault = false;
        EXPECT_EQ(
            c.wide ? div_l(c.num, c.den, fault) : div_s(static_cast<int16_t>(c.num), c.den, fault),
            0);
        EXPECT_TRUE(fault) << c.num << "/" << c.den;
    }
}

TEST(G7231EncodeClip, ArgumentContract) {
    int16_t samples[10] = {};
    unsigned char out[40] = {0x55};
    // Tested in the order samples, count, output, and nothing written.
    EXPECT_EQ(qm::G7231EncodeClip(nullptr, 0, nullptr), -1);
    EXPECT_EQ(qm::G7231EncodeClip(nullptr, 10, out), -1);
    EXPECT_EQ(qm::G7231EncodeClip(samples, 0, nullptr), -2);
    EXPECT_EQ(qm::G7231EncodeClip(samples, -5, out), -2);
    EXPECT_EQ(qm::G7231EncodeClip(samples, 10, nullptr), -3);
    EXPECT_EQ(out[0], 0x55);
}

// Byte-exact match with the reference encoder's output for every vector (the
// copies in the test data, and the shared originals when present), each
// coded from a fresh state however many came before.
TEST(G7231Vectors, AllVectorsMatch) {
    std::vector<std::string> dirs = {std::string(QM_TEST_DATA) + "/g7231",
                                     std::string(QM_SHARED_DIR) + "/g7231/vectors"};
    int checked = 0;
    for (const auto& dir : dirs) {
        if (!std::filesystem::is_directory(dir)) continue;
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            if (e.path().extension() != ".s16") continue;
            std::string ref_path = e.path();
            ref_path.replace(ref_path.size() - 4, 4, ".g723");
            std::vector<uint8_t> ref = qmtest::ReadBytes(ref_path);
            EXPECT_EQ(Encode(ReadPcm(e.path())), ref) << e.path();
            ++checked;
        }
    }
    EXPECT_GE(checked, 9);
}

}  // namespace
