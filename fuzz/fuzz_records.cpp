// Every record of a package read and decoded, as extract and diff do it.
#include "driver/package_records.h"
#include "fuzz_util.h"
#include "platform/file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = qmfuzz::WriteScratch("records.irf", data, size);
    qm::InspectReport report;
    std::string err;
    if (!qm::InspectPackage(path, report, err)) return 0;
    const std::vector<qm::PackageRecord> records = qm::PackageRecords(report);
    qm::File file;
    if (!file.Open(path, "rb")) return 0;
    std::vector<int16_t> samples;
    // A few records are enough to reach every path; a forged count of
    // millions of records would only make the run slow.
    for (size_t i = 0; i < records.size() && i < 64; ++i)
        qm::DecodeRecord(file, records[i], samples, err);
    return 0;
}
