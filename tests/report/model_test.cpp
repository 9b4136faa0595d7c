// The report's measures of a decoded clip, its signal-to-noise ratio, the
// lowest-SNR flags and the histograms.
#include <gtest/gtest.h>

#include <cmath>

#include "driver/report.h"

namespace {

using qm::ClipMeasure;

TEST(ReportModel, MeasuresClips) {
    struct Case {
        const char* what;
        std::vector<int16_t> samples;
        int32_t peak;
        double rmsDb;
        bool clipped, silent;
    };
    std::vector<int16_t> runOf3(300, 1000), runOf2(300, 1000);
    std::fill(runOf3.begin() + 10, runOf3.begin() + 13, int16_t{-32768});
    std::fill(runOf2.begin() + 10, runOf2.begin() + 12, int16_t{32767});
    runOf2[20] = 32767;
    const std::vector<Case> cases = {
        {"empty", {}, 0, -99, false, true},
        {"silence", std::vector<int16_t>(500, 0), 0, -99, false, true},
        {"just below the silence level", std::vector<int16_t>(500, -99), 99,
         20 * std::log10(99 / 32768.0), false, true},
        {"at the silence level", std::vector<int16_t>(500, 100), 100,
         20 * std::log10(100 / 32768.0), false, false},
        {"three full-scale samples in a row", runOf3, 32768, 0, true, false},
        {"two, then one", runOf2, 32767, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ClipMeasure m = qm::MeasureClip(c.samples);
        EXPECT_EQ(m.peak, c.peak);
        if (c.rmsDb != 0) {
            EXPECT_NEAR(m.rmsDb, c.rmsDb, 1e-9);
        }
        EXPECT_EQ(m.clipped, c.clipped);
        EXPECT_EQ(m.silent, c.silent);
    }
}

// The envelope: each column the extremes of its own span, short clips
// spread over the first columns and zero past their end.
TEST(ReportModel, Envelope) {
    std::vector<int16_t> ramp(qm::kEnvelopeColumns * 4);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i % 2 ? i : -int(i));
    const ClipMeasure m = qm::MeasureClip(ramp);
    ASSERT_EQ(m.low.size() + m.high.size(), 2 * qm::kEnvelopeColumns);
    for (size_t c = 0; c < qm::kEnvelopeColumns; ++c) {
        EXPECT_EQ(m.low[c], -int(4 * c + 2)) << c;
        EXPECT_EQ(m.high[c], int(4 * c + 3)) << c;
    }
    const ClipMeasure shortClip = qm::MeasureClip({5, -7, 9});
    EXPECT_EQ(shortClip.high[0], 5);
    EXPECT_EQ(shortClip.low[40], -7);
    EXPECT_EQ(shortClip.high[80], 9);
    EXPECT_EQ(shortClip.high[119], 9);
}

TEST(ReportModel, SignalToNoise) {
    const std::vector<int16_t> ref = {1000, -1000, 1000, -1000};
    struct Case {
        std::vector<int16_t> reference, decoded;
        bool ok;
        double db;
    };
    const std::vector<Case> cases = {
        {ref, ref, true, qm::kExactSnrDb},
        {ref, {900, -1100, 900, -1100}, true, 20.0},  // noise 100 on a signal of 1000
        {ref, {1000, -1000}, true, qm::kExactSnrDb},  // over the common length
        {{0, 0}, {5, 5}, false, 0},
    };
    for (const Case& c : cases) {
        double db = -1;
        EXPECT_EQ(qm::SignalToNoise(c.reference, c.decoded, db), c.ok);
        if (c.ok) {
            EXPECT_NEAR(db, c.db, 1e-9);
        }
    }
}

// The lowest 5% of each coded set (at least one), and those below the threshold.
TEST(ReportModel, LowestSnr) {
    std::vector<qm::ReportRow> rows;
    const auto add = [&](const char* set, int32_t role, bool hasSnr, double db) {
        qm::ReportRow r;
        r.record.set = set;
        r.record.role = role;
        r.hasSnr = hasSnr;
        r.snrDb = db;
        rows.push_back(r);
    };
    for (int i = 0; i < 41; ++i) add("prompt", 0, true, 30 + i);  // 41 rows: 3 flagged
    add("prompt", 0, false, 0);                                   // no ratio: never
    add("role", 1, true, 50);
    add("role", 2, true, 60);
    add("role", 2, true, 70);
    const auto flagged = [&](double belowDb) {
        qm::FlagLowSnr(rows, belowDb);
        std::vector<size_t> out;
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].lowSnr) out.push_back(i);
        return out;
    };
    EXPECT_EQ(flagged(33.5), (std::vector<size_t>{0, 1, 2, 3, 42, 43}));
    EXPECT_EQ(flagged(-1e9), (std::vector<size_t>{0, 1, 2, 42, 43}));
}

TEST(ReportModel, Histogram) {
    const qm::Histogram h = qm::MakeHistogram({0.5, 1.0, 1.9, 2.0, 3.7}, 4);
    EXPECT_EQ(h.low, 0.0);
    EXPECT_EQ(h.high, 4.0);
    EXPECT_EQ(h.counts, (std::vector<uint32_t>{1, 2, 1, 1}));
    const qm::Histogram same = qm::MakeHistogram({-3, -3}, 3);
    EXPECT_EQ(same.low, -3.0);
    EXPECT_EQ(same.high, -2.0);
    EXPECT_EQ(same.counts, (std::vector<uint32_t>{2, 0, 0}));
    EXPECT_EQ(qm::MakeHistogram({}, 5).counts, std::vector<uint32_t>(5, 0));
}

}  // namespace
