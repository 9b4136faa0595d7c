#include "cli/decode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "cli/output.h"
#include "codec/decoders.h"
#include "codec/g7231/g7231.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/safe_replace.h"
#include "platform/text.h"

namespace qm {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;

// Coded bytes per G.723.1 frame and samples per frame at 5.3 kbit/s.
constexpr long long kG7231FrameBytes = 20;
constexpr long long kG7231FrameSamples = 240;

bool ReadAll(const std::string& path, std::vector<uint8_t>& bytes, std::string& err) {
    File in;
    if (!in.Open(path, "rb")) {
        err = Format("Cannot open input file %s", path.c_str());
        return false;
    }
    const int64_t size = in.Size();
    if (size < 0) {
        err = Format("Cannot read input file %s", path.c_str());
        return false;
    }
    bytes.assign(static_cast<size_t>(size), 0);
    if (!in.ReadExact(bytes.data(), bytes.size())) {
        err = Format("Cannot read input file %s", path.c_str());
        return false;
    }
    return true;
}

// The number of samples to decode: what --samples asks for, or by default
// all that the coded bytes hold; never more than they can hold.
bool SampleCount(const DecodeArgs& a, size_t bytes, int32_t& n, std::string& err) {
    const long long size = static_cast<long long>(bytes);
    long long all = 0, most = 0;
    if (a.codec == "alaw") {
        all = most = size;
    } else if (a.codec == "adpcm") {
        // The coder drops the code of an odd clip's last sample, so a clip of
        // b bytes had 2b or 2b + 1 samples.
        all = 2 * size;
        most = 2 * size + 1;
    } else {
        if (size % kG7231FrameBytes != 0) {
            err = Format("Input file %s is not a whole number of %lld-byte frames", a.in.c_str(),
                         kG7231FrameBytes);
            return false;
        }
        all = most = size / kG7231FrameBytes * kG7231FrameSamples;
    }
    const long long want = a.samples < 0 ? all : a.samples;
    if (want > most) {
        err = Format("Input file %s holds %lld samples at most, %lld asked for", a.in.c_str(), most,
                     want);
        return false;
    }
    if (want > INT32_MAX) {
        err = Format("Input file %s is too large for one clip", a.in.c_str());
        return false;
    }
    n = static_cast<int32_t>(want);
    return true;
}

bool Decode(const DecodeArgs& a, const std::vector<uint8_t>& coded, int32_t n,
            std::vector<int16_t>& samples, std::string& err) {
    int rc = 0;
    if (a.codec == "alaw") {
        rc = ALawDecode(coded.data(), n, samples.data());
    } else if (a.codec == "adpcm") {
        rc = AdpcmDecode(coded.data(), coded.size(), n, samples.data());
    } else {
        G7231DecodeDetail detail;
        rc = G7231DecodeClip(coded.data(), coded.size(), n, samples.data(), &detail);
        if (rc != n) {
            err = Format("Decoding %s failed: %s", a.in.c_str(),
                         G7231DecodeMessage(rc, detail).c_str());
            return false;
        }
        return true;
    }
    if (rc != n) {
        err = Format("Decoding %s failed: %s", a.in.c_str(), DecoderResultText(rc));
        return false;
    }
    return true;
}

// Writes the bytes through a safe replacement of path, so
// that path holds either what it held before or the whole output. Only a
// regular file is replaced: a link, a device or a folder at path is refused,
// never written through.
bool WriteReplacing(const std::string& path, const void* data, size_t size, std::string& err) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        err = Format("Cannot write output file %s: it is not a regular file", path.c_str());
        return false;
    }
    SafeReplace out(path);
    if (!out.Open() || !out.Out().Write(data, size) || !out.Commit()) {
        err = Format("Cannot write output file %s", path.c_str());
        return false;
    }
    return true;
}

int RunDecodeUnguarded(const DecodeArgs& a, std::string& err) {
    std::vector<uint8_t> coded;
    int32_t n = 0;
    if (!ReadAll(a.in, coded, err) || !SampleCount(a, coded.size(), n, err)) return kExitFailed;
    std::vector<int16_t> samples(static_cast<size_t>(n));
    if (!Decode(a, coded, n, samples, err)) return kExitFailed;
    coded = {};
    // The output is little-endian whatever the machine.
    if constexpr (std::endian::native != std::endian::little) {
        for (int16_t& s : samples) {
            const auto u = static_cast<uint16_t>(s);
            s = static_cast<int16_t>((u >> 8) | (u << 8));
        }
    }
    return WriteReplacing(a.out, samples.data(), 2 * samples.size(), err) ? kExitOk : kExitFailed;
}

}  // namespace

CLI::App* AddDecodeCommand(CLI::App& app, DecodeArgs& args) {
    CLI::App* cmd = app.add_subcommand(
        "decode", "Decode one coded clip into raw 16-bit little-endian mono samples");
    cmd->add_option("--codec", args.codec, "Decoder")
        ->required()
        ->check(CLI::IsMember({"alaw", "adpcm", "g7231"}));
    cmd->add_option("IN", args.in, "Coded bytes")->required();
    cmd->add_option("OUT", args.out, "Raw samples")->required();
    cmd->add_option("--samples", args.samples,
                    "Samples the clip had (default: all the bytes hold; adpcm: 2 per byte)")
        ->check(CLI::Range(0LL, static_cast<long long>(INT32_MAX)));
    return cmd;
}

int RunDecode(const DecodeArgs& args) {
    std::string err;
    int rc = kExitFailed;
    try {
        rc = RunDecodeUnguarded(args, err);
    } catch (const std::bad_alloc&) {
        err = Format("Not enough memory to decode %s", args.in.c_str());
    }
    if (rc != kExitOk) std::fprintf(stderr, "%s\n", err.c_str());
    return rc;
}

}  // namespace qm

namespace qm::cli {

Command AddDecodeCommand(CLI::App& tool) {
    auto args = std::make_shared<DecodeArgs>();
    CLI::App* app = qm::AddDecodeCommand(tool, *args);
    return {app, [args] { return RunDecode(*args); }};
}

}  // namespace qm::cli
