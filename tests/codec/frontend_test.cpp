#include "codec/frontend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "codec/coders.h"
#include "codec/g7231/g7231.h"
#include "common/formats.h"
#include "resfile/clip_container.h"

namespace {

using Bytes = std::string;
using Clips = std::vector<std::vector<int16_t>>;

// An uncoded container whose records lie in the file in `physical` order
// (a permutation of the clip numbers), each after `gap` filler bytes.
Bytes Container(const Clips& clips, uint8_t rate = 16, uint8_t coding = qm::CODING_PCM16,
                std::vector<size_t> physical = {}, size_t gap = 0) {
    return qmtest::ClipBytes(rate, coding, qmtest::PcmRecords(clips), physical, gap);
}

Bytes Coded(int (*coder)(const int16_t*, int32_t, unsigned char*), const std::vector<int16_t>& s,
            size_t size) {
    std::string out(size + 1, '\0');
    if (s.empty()) return "";
    out.resize(coder(s.data(), static_cast<int32_t>(s.size()),
                     reinterpret_cast<unsigned char*>(out.data())));
    return out;
}

// A progress bar standing at 40, as the build driver leaves it, that notes a
// call from any thread but the one that made it.
struct Bar : qm::RecordingProgress {
    Bar() { SetPos(40), Clear(); }
    std::thread::id owner = std::this_thread::get_id();
    mutable bool foreign = false;
    int GetPos() const override {
        foreign |= std::this_thread::get_id() != owner;
        return RecordingProgress::GetPos();
    }
    void SetPos(int pos) override {
        foreign |= std::this_thread::get_id() != owner;
        RecordingProgress::SetPos(pos);
    }
};

struct InvalidBar : qm::RecordingProgress {
    bool IsValid() const override { return false; }
};

class FrontEnd : public ::testing::Test {
  protected:
    std::string In(const Bytes& b) {
        std::string p = dir_ / "in.voc";
        qmtest::WriteFile(p, b);
        return p;
    }
    std::string Out() const { return dir_ / "out.voc"; }
    qmtest::TempDir dir_;
};

// Each record its count and the coder's bytes (a clip of no samples is its
// count alone), in clip order although the input's records lie shuffled,
// under the input's header but for the coding byte.
TEST_F(FrontEnd, CodesEveryRecordInClipOrder) {
    Clips clips = {qmtest::ToneSamples(1001, 9000), {}, {1234}, qmtest::ToneSamples(80, 300)};
    for (int k = 0; k < 3; ++k) clips.push_back(qmtest::ToneSamples(50 + 37 * k, 1000.0 * k));
    const std::string in = In(Container(clips, 11, qm::CODING_PCM16, {4, 6, 0, 2, 1, 5, 3}, 3));
    struct Case {
        int (*frontEnd)(const std::string&, const std::string&, qm::ProgressSink*);
        int (*coder)(const int16_t*, int32_t, unsigned char*);
        uint8_t coding;
    };
    const Case cases[] = {{qm::EncodeContainerALaw, qm::ALawEncode, qm::CODING_ALAW},
                          {qm::EncodeContainerAdpcm, qm::AdpcmEncode, qm::CODING_IMA_ADPCM},
                          {qm::EncodeContainerG7231, qm::G7231EncodeClip, qm::CODING_G7231}};
    for (const Case& c : cases) {
        std::vector<qmtest::ClipRecord> want;
        for (const auto& clip : clips) {
            const uint32_t n = static_cast<uint32_t>(clip.size());
            want.push_back({n, Coded(c.coder, clip, qmtest::CodedBytes(c.coding, n))});
        }
        Bar bar;
        ASSERT_EQ(c.frontEnd(in, Out(), &bar), qm::kCoderOk);
        EXPECT_EQ(qmtest::ReadFile(Out()), qmtest::ClipBytes(11, c.coding, want)) << int(c.coding);
    }
    // No clips: the header and one entry holding 44; the bar goes straight to +40.
    Bar bar;
    ASSERT_EQ(qm::EncodeContainerAdpcm(In(Container({})), Out(), &bar), qm::kCoderOk);
    EXPECT_EQ(qmtest::ReadFile(Out()), qmtest::ClipBytes(16, qm::CODING_IMA_ADPCM, {}));
    EXPECT_EQ(bar.History(), std::vector<int>({80}));
}

std::vector<int> ExpectedProgress(int n) {
    if (n == 0) return {80};
    int step = static_cast<int>(37.0 / n + 0.5);
    std::vector<int> h;
    for (int k = 1; k <= n; ++k) h.push_back(43 + k * step);
    h.push_back(80);
    return h;
}

TEST_F(FrontEnd, ProgressSequences) {
    EXPECT_EQ(ExpectedProgress(1), std::vector<int>({80, 80}));
    EXPECT_EQ(ExpectedProgress(2), std::vector<int>({62, 81, 80}));
    for (int n : {1, 2, 74, 75}) {
        Clips clips(n, std::vector<int16_t>{1, 2, 3});
        std::string in = In(Container(clips));
        Bar bar;  // the worker pool test compares other job counts with this one
        ASSERT_EQ(qm::EncodeContainerAdpcm(in, Out(), &bar, 1), 0);
        EXPECT_EQ(bar.History(), ExpectedProgress(n)) << n << " clips";
        // Where the bar cannot move, the stage counts every clip coded.
        ASSERT_EQ(bar.Stages().size(), static_cast<size_t>(n) + 1);
        for (int k = 0; k <= n; ++k) {
            EXPECT_EQ(bar.Stages()[k].stage, "coding");
            EXPECT_EQ(bar.Stages()[k].done, static_cast<uint64_t>(k));
            EXPECT_EQ(bar.Stages()[k].total, static_cast<uint64_t>(n));
        }
    }
}

int FailsWithMinus4(const int16_t*, int32_t, unsigned char*) { return -4; }
int ClaimsTooMuch(const int16_t*, int32_t n, unsigned char*) { return n + 1; }
// More than any vector can hold, so the allocation is refused before it is tried.
uint64_t Enormous(uint32_t) { return UINT64_MAX; }

TEST_F(FrontEnd, ResultCodes) {
    Bytes good = Container({{1, 2, 3, 4}, {5, 6}});
    Bar bar;
    InvalidBar invalid;
    EXPECT_EQ(qm::EncodeContainerALaw(In(good), Out(), nullptr), qm::kCoderBadProgress);
    EXPECT_EQ(qm::EncodeContainerALaw(In(good), Out(), &invalid), qm::kCoderBadProgress);
    EXPECT_FALSE(std::filesystem::exists(Out()));
    EXPECT_EQ(qm::EncodeContainerALaw(dir_ / "missing.voc", Out(), &bar), qm::kCoderInputFailed);
    EXPECT_EQ(qm::EncodeContainerAdpcm(In(Container({{1}}, 16, qm::CODING_ALAW)), Out(), &bar),
              qm::kCoderBadCoding);
    EXPECT_FALSE(std::filesystem::exists(Out()));
    EXPECT_EQ(qm::EncodeContainerALaw(In(good), dir_ / "no/such/dir.voc", &bar),
              qm::kCoderOutputFailed);
    std::string in = In(good);
    EXPECT_EQ(qm::EncodeContainerALaw(in, in, &bar), qm::kCoderOutputFailed);
    EXPECT_EQ(qmtest::ReadFile(in), good);  // the input is left whole
    EXPECT_TRUE(bar.History().empty());

    // Damaged inputs are refused, never read past their end: a short header,
    // a huge clip count, an entry outside the file, a huge sample count.
    const std::pair<size_t, uint32_t> damages[] = {
        {36, 0xFFFFFFFFu}, {44, 0xFFFFFFF0u}, {qmtest::U32At(good, 44), 0x7FFFFFFFu}};
    EXPECT_EQ(qm::EncodeContainerALaw(In(good.substr(0, 39)), Out(), &bar), qm::kCoderInputFailed);
    for (const auto& [at, value] : damages) {
        EXPECT_EQ(qm::EncodeContainerALaw(In(qmtest::Patched(good, at, value)), Out(), &bar),
                  qm::kCoderInputFailed)
            << at;
    }
    Bytes truncated(good.begin(), good.end() - 1);
    Bar fresh;
    EXPECT_EQ(qm::EncodeContainerALaw(In(truncated), Out(), &fresh), qm::kCoderInputFailed);
    // The first clip was coded and written before the second proved short.
    EXPECT_EQ(fresh.History(), std::vector<int>({62}));

    // Coder faults: an internal error (-4 of the G.723.1 encoder), a byte
    // count beyond its buffer, a buffer that cannot be had.
    qm::ClipCoder coder = qm::ALawClipCoder();
    coder.encode = FailsWithMinus4;
    EXPECT_EQ(qm::EncodeContainer(In(good), Out(), &bar, coder, 1), qm::kCoderInternal);
    coder.encode = ClaimsTooMuch;
    EXPECT_EQ(qm::EncodeContainer(In(good), Out(), &bar, coder, 1), qm::kCoderInternal);
    coder = qm::ALawClipCoder();
    coder.codedSize = Enormous;
    EXPECT_EQ(qm::EncodeContainer(In(good), Out(), &bar, coder, 1), qm::kCoderNoMemory);

    // A write that fails (a full device) is an output failure, not success.
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_EQ(qm::EncodeContainerALaw(In(good), "/dev/full", &bar), qm::kCoderOutputFailed);
    }

    const std::pair<int, const char*> texts[] = {
        {0, "Execult Successful"},         {-1, "Incorrect code type"},
        {-2, "Input file can not opened"}, {-3, "Output file can not created"},
        {-4, "Memery allocate failed"},    {-5, "Invalid progress control"},
        {-6, "Coder internal error"},      {-7, "Invalid error type"},
        {1, "Invalid error type"}};
    for (const auto& [result, text] : texts) EXPECT_STREQ(qm::CoderResultText(result), text);
}

// A-law that takes its time on some clips, so workers finish out of order, and
// fails on the clip whose first sample is 12345.
int SlowALaw(const int16_t* s, int32_t n, unsigned char* out) {
    if (s[0] == 12345) return -4;
    if (n % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return qm::ALawEncode(s, n, out);
}

TEST_F(FrontEnd, WorkerPoolMatchesSequentialCoding) {
    std::mt19937 rng(7);
    Clips clips;
    for (int k = 0; k < 300; ++k) {
        std::vector<int16_t> c(rng() % 2500);
        for (auto& v : c) v = static_cast<int16_t>(rng());
        if (!c.empty()) c[0] = static_cast<int16_t>(c[0] == 12345 ? 0 : c[0]);
        clips.push_back(c);
    }
    std::string in = In(Container(clips));

    qm::ClipCoder slow = qm::ALawClipCoder();
    slow.encode = SlowALaw;
    const qm::ClipCoder coders[] = {qm::ALawClipCoder(), qm::AdpcmClipCoder(), qm::G7231ClipCoder(),
                                    slow};
    for (const qm::ClipCoder& coder : coders) {
        Bar seqBar;
        ASSERT_EQ(qm::EncodeContainer(in, Out(), &seqBar, coder, 1), 0);
        Bytes sequential = qmtest::ReadFile(Out());
        for (int jobs : {2, 3, 8}) {
            Bar bar;
            ASSERT_EQ(qm::EncodeContainer(in, Out(), &bar, coder, jobs), 0);
            EXPECT_EQ(qmtest::ReadFile(Out()), sequential) << jobs << " jobs";
            EXPECT_EQ(bar.History(), seqBar.History());
            EXPECT_FALSE(bar.foreign);
        }
    }

    // A failure part way stops at the same clip, with the same output and bar.
    clips[150] = {12345, 1, 2};
    Bytes input = Container(clips);
    // And a damaged record further on, already read ahead when the coder fails.
    input = qmtest::Patched(input, 40 + 4 * 153, static_cast<uint32_t>(input.size()));
    in = In(input);
    // The slow coder fails at clip 150; plain A-law reaches the damaged record.
    const std::pair<qm::ClipCoder, int> cases[] = {{slow, qm::kCoderInternal},
                                                   {qm::ALawClipCoder(), qm::kCoderInputFailed}};
    for (const auto& [coder, expected] : cases) {
        Bar seqBar;
        int seqResult = qm::EncodeContainer(in, Out(), &seqBar, coder, 1);
        Bytes sequential = qmtest::ReadFile(Out());
        EXPECT_EQ(seqResult, expected);
        for (int jobs : {2, 5}) {
            Bar bar;
            EXPECT_EQ(qm::EncodeContainer(in, Out(), &bar, coder, jobs), seqResult);
            EXPECT_EQ(qmtest::ReadFile(Out()), sequential);
            EXPECT_EQ(bar.History(), seqBar.History());
        }
    }

    qm::SetCoderJobs(1);
    EXPECT_EQ(qm::CoderJobs(), 1);
    qm::SetCoderJobs(0);
    EXPECT_GE(qm::CoderJobs(), 1);
}

}  // namespace
