// The output folders of `extract` and `report`: made or accepted safely, the
// decoded clips written into them as WAV files in one layout.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver/package_records.h"

namespace qm::cli {

// A folder made (or found) at path; a link or another kind of file there is refused.
bool MakeFolder(const std::string& path, std::string& err);

// The output folder made or accepted: a new folder is made (its parent must
// exist); an existing one must be a folder, not a link, and empty unless forced.
bool PrepareOutputFolder(const std::string& out, bool force, std::string& err);

// Writes bytes to path, which must be absent or a regular file: never through
// a link, never over a device. A failed write leaves no file behind.
bool WriteRegular(const std::string& path, const void* data, size_t size, std::string& err);

// A WAV file with the plain 44-byte header: 16-bit mono PCM at rate.
std::vector<unsigned char> WavBytes(const std::vector<int16_t>& samples, uint32_t rate);

// Where each record's WAV goes below an output folder: "prompt/NNNNN.wav",
// "bgsound/NNNNN.wav" or "role/<ID>/NNNNN.wav" (a role whose identifier an
// earlier role already has gets "role/<ID>-<role number>").
class ClipLayout {
  public:
    // Makes the folders of every record below out and gives each record's
    // file, relative and "/"-separated. False with err when a folder cannot
    // be made.
    bool Make(const std::string& out, const std::vector<PackageRecord>& records,
              std::vector<std::string>& files, std::string& err);

  private:
    std::string SetFolder(const PackageRecord& r);

    std::map<int32_t, std::string> roleFolders_;
    std::set<int32_t> takenIds_;
};

// The decoded samples of a record as a WAV file at path; err when the record's
// rate is unknown, the samples do not fit a WAV file or the file cannot be written.
bool WriteRecordWav(const std::string& path, const PackageRecord& record,
                    const std::vector<int16_t>& samples, std::string& err);

}  // namespace qm::cli
