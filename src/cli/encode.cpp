// `encode`: raw little-endian 16-bit mono samples coded as one clip; the
// coder's bytes alone are written, replacing OUT only once they are complete.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "cli/output.h"
#include "driver/build_types.h"
#include "platform/bytes.h"
#include "platform/text.h"

namespace qm::cli {

namespace {

// The samples of a raw file; false with the message in err.
bool ReadSamples(const std::string& path, std::vector<int16_t>& samples, std::string& err) {
    std::vector<uint8_t> bytes;
    if (!ReadInputFile(path, bytes, err)) return false;
    if (bytes.size() % 2 != 0) {
        err = Format("Input file %s has an odd number of bytes; 16-bit samples expected",
                     path.c_str());
        return false;
    }
    if (bytes.size() / 2 > INT32_MAX) {
        err = Format("Input file %s is too large for one clip", path.c_str());
        return false;
    }
    samples.resize(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(GetU16(bytes.data() + 2 * i));
    return true;
}

// Codes the samples as one clip; an empty clip gives no bytes.
bool CodeSamples(const ClipCoder& coder, const std::vector<int16_t>& samples,
                 std::vector<unsigned char>& coded, const std::string& inPath, std::string& err) {
    const uint32_t n = static_cast<uint32_t>(samples.size());
    coded.clear();
    if (n == 0) return true;
    // At least one byte, so the coder gets an output buffer even when it
    // keeps nothing (IMA ADPCM drops the last sample of an odd clip: one
    // sample gives no bytes).
    coded.assign(static_cast<size_t>(std::max<uint64_t>(1, coder.codedSize(n))), 0);
    const int written = coder.encode(samples.data(), static_cast<int32_t>(n), coded.data());
    if (written < 0 || static_cast<uint64_t>(written) > coded.size()) {
        err = Format("Coding %s failed: %s", inPath.c_str(), CoderResultText(kCoderInternal));
        return false;
    }
    coded.resize(static_cast<size_t>(written));
    return true;
}

int Encode(const std::string& codec, const std::string& inPath, const std::string& outPath) {
    const CodeTypeInfo* type = FindCodec(codec);
    if (type == nullptr) {
        Fail(Format("Unknown codec \"%s\" (expected alaw, adpcm or g7231)", codec.c_str()));
        return kExitFailed;
    }
    std::vector<int16_t> samples;
    std::vector<unsigned char> coded;
    std::string err;
    try {
        if (!ReadSamples(inPath, samples, err) ||
            !CodeSamples(type->clipCoder(), samples, coded, inPath, err)) {
            Fail(err);
            return kExitFailed;
        }
    } catch (const std::bad_alloc&) {
        Fail(Format("Not enough memory to code %s", inPath.c_str()));
        return kExitFailed;
    }
    if (!WriteOutputFile(outPath, coded.data(), coded.size(), err)) {
        Fail(err);
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

Command AddEncodeCommand(CLI::App& tool) {
    struct Args {
        std::string codec, in, out;
    };
    auto args = std::make_shared<Args>();
    std::vector<std::string> codecs;
    for (const CodeTypeInfo& c : CodeTypes())
        if (c.clipCoder != nullptr) codecs.emplace_back(c.codec);

    CLI::App* cmd =
        tool.add_subcommand("encode", "Code raw 16-bit little-endian mono samples as one clip");
    cmd->add_option("--codec", args->codec, "Coder")->required()->check(CLI::IsMember(codecs));
    cmd->add_option("IN", args->in, "Raw samples")->required();
    cmd->add_option("OUT", args->out, "Coded bytes")->required();
    return {cmd, [args] { return Encode(args->codec, args->in, args->out); }};
}

}  // namespace qm::cli
