// The report of a package: every record measured from its decoded clip and,
// given the folder and build type the package was built from, each record's
// recording, what `check` warns about it, whether its text still matches and
// how much the coding harmed it. Plain data for a renderer; nothing here
// writes a file.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "driver/package_records.h"
#include "input/lists.h"
#include "platform/problem.h"
#include "resfile/inspect.h"

namespace qm {

// Columns of a waveform picture.
inline constexpr size_t kEnvelopeColumns = 120;
// The share of a coded set's records, its lowest signal-to-noise ratios,
// flagged "low SNR" (at least one record of each coded set).
inline constexpr double kLowSnrShare = 0.05;
// The ratio given to a clip the coding left exactly as it was.
inline constexpr double kExactSnrDb = 99.0;

// What a decoded clip looks like.
struct ClipMeasure {
    int32_t peak = 0;      // largest |sample|
    double rmsDb = -99;    // RMS level against full scale in dB (-99 for silence)
    bool clipped = false;  // a run of full-scale samples, as `check` counts them
    bool silent = false;   // a peak below `check`'s silence level
    // The lowest and highest sample of each of kEnvelopeColumns equal spans
    // (both 0 past the end of a clip shorter than the columns).
    std::vector<int16_t> low, high;
};
ClipMeasure MeasureClip(const std::vector<int16_t>& samples);

// Signal-to-noise ratio in dB of decoded against reference, over their common
// length; false when the reference is silent. kExactSnrDb when they match.
bool SignalToNoise(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded,
                   double& db);

// One list line of the folder, placed where the build puts its record.
struct ReportSource {
    PromptEntry entry;
    std::string listFile;               // "WaveList.txt", or "<role folder>/WaveList.txt"
    std::string folderText;             // the list's text as the build files it (UTF-8)
    std::vector<std::string> warnings;  // `check`'s warnings about this line, one line each
};

// The folder a package was built from, read as the build reads it.
struct ReportFolder {
    std::string audio;  // absolute
    int32_t buildType = 0;
    float levelTarget = 0;
    std::vector<Problem> errors;    // `check`'s errors (the build would refuse)
    std::vector<Problem> warnings;  // `check`'s warnings that name no list line
    // Keyed by (role number, record number); role 0 for prompt and background.
    std::map<std::pair<int32_t, uint32_t>, ReportSource> sources;
    size_t lines = 0;  // list lines that became a record of the index order
};

// Runs `check`'s dry run over the folder (with the package for its rate and
// coding) and reads its lists in the order the build files them. The
// current directory ends at the audio folder.
ReportFolder ReadReportFolder(const std::string& audio, int32_t buildType, int32_t codeType,
                              const std::string& package);

// True when the record belongs to the set the folder builds.
bool RecordFromFolder(const ReportFolder& folder, const PackageRecord& record);

// One row of the report.
struct ReportRow {
    PackageRecord record;
    std::string file;   // its WAV below the report folder; "" when none was written
    std::string error;  // why it has no WAV
    ClipMeasure measure;
    // From the folder (with a folder given):
    const ReportSource* source = nullptr;  // its list line; null when none
    bool mismatch = false;                 // the folder's text is not the package's, or no line
    bool prepared = false;                 // the recording was read and prepared
    std::string prepareError;
    double gain = 1;             // the levelling's gain
    uint64_t sourceSamples = 0;  // the recording's own length
    bool hasSnr = false;         // a coded record with a prepared, audible recording
    double snrDb = 0;
    bool lowSnr = false;
};

// The comparison of one decoded record with its line of the folder: the
// recording prepared in memory as the build would (levelled, faded,
// resampled), its gain and length, and for a coded record the ratio.
void CompareWithFolder(const ReportFolder& folder, const std::vector<int16_t>& decoded,
                       ReportRow& row);

// Flags the rows of each coded set with its lowest ratios (kLowSnrShare of
// them), and every row below belowDb.
void FlagLowSnr(std::vector<ReportRow>& rows, double belowDb);

// A histogram: counts of values in equal bins from low to high.
struct Histogram {
    double low = 0, high = 0;
    std::vector<uint32_t> counts;
};
Histogram MakeHistogram(const std::vector<double>& values, size_t bins);

// Everything the page shows.
struct ReportModel {
    InspectReport package;
    std::vector<ReportRow> rows;
    bool hasFolder = false;
    ReportFolder folder;
    double lowSnrBelowDb = 0;
};

}  // namespace qm
