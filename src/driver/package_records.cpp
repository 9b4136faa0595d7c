#include "driver/package_records.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <thread>

#include "codec/decoders.h"
#include "codec/g7231/g7231.h"
#include "platform/bytes.h"
#include "platform/text.h"
#include "resfile/clip_container.h"

namespace qm {
namespace {

// More threads than this gain nothing for decoding and only cost memory.
constexpr unsigned kMaxJobs = 16;

template <typename T>
bool Selected(const std::vector<T>& wanted, const T& v) {
    return wanted.empty() || std::find(wanted.begin(), wanted.end(), v) != wanted.end();
}

PackageRecord FromText(const InspectSet& s, const std::string& setName, const InspectText& t,
                       bool hasText) {
    PackageRecord r;
    r.set = setName;
    r.role = s.role;
    r.roleId = s.roleId;
    r.number = t.number;
    r.hasText = hasText;
    if (hasText) {
        r.text = t.text;
        r.classes = t.classes;
        r.segments = t.segments;
    }
    r.hasClip = t.hasClip;
    r.samples = t.samples;
    r.durationMs = t.durationMs;
    r.coding = s.coding;
    r.rateByte = s.rateByte;
    r.rate = s.rate;
    r.offset = t.offset;
    r.length = t.length;
    r.containerEnd = s.clipsOffset + s.clipsSize;
    return r;
}

}  // namespace

std::vector<PackageRecord> PackageRecords(const InspectReport& report,
                                          const RecordSelection& selection) {
    std::vector<PackageRecord> out;
    for (const InspectSet& s : report.sets) {
        const std::string setName = s.role > 0 ? "role" : s.name;
        if (!Selected(selection.sets, setName)) continue;
        if (s.role > 0 && !Selected(selection.roleIds, s.roleId)) continue;
        if (s.role == 0 && !selection.roleIds.empty()) continue;
        for (const InspectText& t : s.texts) {
            if (Selected(selection.numbers, t.number)) out.push_back(FromText(s, setName, t, true));
        }
        for (const InspectText& t : s.unindexed) {
            if (Selected(selection.numbers, t.number))
                out.push_back(FromText(s, setName, t, false));
        }
    }
    return out;
}

bool DecodeRecord(File& package, const PackageRecord& r, std::vector<int16_t>& samples,
                  std::string& err) {
    samples.clear();
    if (!r.hasClip) {
        err = "no clip record";
        return false;
    }
    uint64_t bytes = 0;
    if (!CodedRecordBytes(r.coding, r.samples, bytes)) {
        err = Format("unknown coding byte %u", r.coding);
        return false;
    }
    if (r.samples > INT32_MAX) {
        err = Format("%u samples, too many for one clip", r.samples);
        return false;
    }
    // The data must lie inside its container and the file; only then is its
    // size worth allocating.
    const int64_t size = package.Size();
    const uint64_t end = r.offset + 4 + bytes;
    if (size < 0 || end > r.containerEnd || end > static_cast<uint64_t>(size)) {
        err = Format("record data of %llu bytes lies outside its clip container",
                     static_cast<unsigned long long>(bytes));
        return false;
    }
    std::vector<uint8_t> data(static_cast<size_t>(bytes));
    if (!package.Seek(static_cast<int64_t>(r.offset + 4)) ||
        !package.ReadExact(data.data(), data.size())) {
        err = "record data cannot be read";
        return false;
    }
    const auto n = static_cast<int32_t>(r.samples);
    samples.assign(r.samples, 0);
    int rc = n;
    switch (r.coding) {
        case CODING_PCM16:
            for (int32_t i = 0; i < n; ++i)
                samples[i] = static_cast<int16_t>(GetU16(&data[2 * static_cast<size_t>(i)]));
            break;
        case CODING_ALAW:
            rc = ALawDecode(data.data(), n, samples.data());
            break;
        case CODING_IMA_ADPCM:
            rc = AdpcmDecode(data.data(), data.size(), n, samples.data());
            break;
        default: {
            G7231DecodeDetail detail;
            rc = G7231DecodeClip(data.data(), data.size(), n, samples.data(), &detail);
            if (rc != n) {
                err = G7231DecodeMessage(rc, detail);
                samples.clear();
                return false;
            }
        }
    }
    if (rc != n) {
        err = DecoderResultText(rc);
        samples.clear();
        return false;
    }
    return true;
}

void ForEachIndex(size_t count, int jobs, const std::function<void(size_t)>& work) {
    unsigned threads = jobs > 0 ? static_cast<unsigned>(jobs) : std::thread::hardware_concurrency();
    threads = std::clamp(threads, 1u, kMaxJobs);
    threads = static_cast<unsigned>(std::min<size_t>(threads, std::max<size_t>(count, 1)));
    std::atomic<size_t> next{0};
    auto run = [&] {
        for (size_t i = next++; i < count; i = next++) work(i);
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(run);
    run();
    for (std::thread& t : pool) t.join();
}

bool DecodeRecords(
    const std::string& path, const std::vector<PackageRecord>& records, int jobs,
    const std::function<void(size_t, const std::vector<int16_t>&, const std::string&)>& done,
    std::string& err) {
    {
        File probe;
        if (!probe.Open(path, "rb")) {
            err = Format("Can not open file %s", path.c_str());
            return false;
        }
    }
    // Each thread reads through its own stream; records are taken in turn.
    unsigned threads = jobs > 0 ? static_cast<unsigned>(jobs) : std::thread::hardware_concurrency();
    threads = std::clamp(threads, 1u, kMaxJobs);
    std::atomic<size_t> next{0};
    auto run = [&] {
        File file;
        const bool open = file.Open(path, "rb");
        std::vector<int16_t> samples;
        std::string error;
        for (size_t i = next++; i < records.size(); i = next++) {
            error.clear();
            if (!open) {
                error = Format("Can not open file %s", path.c_str());
                samples.clear();
            } else if (!DecodeRecord(file, records[i], samples, error)) {
                samples.clear();
            }
            done(i, samples, error);
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads && t < records.size(); ++t) pool.emplace_back(run);
    run();
    for (std::thread& t : pool) t.join();
    return true;
}

}  // namespace qm
