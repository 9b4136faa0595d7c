#include "driver/clip_set.h"

#include "input/prepare.h"
#include "platform/fs.h"
#include "platform/interrupt.h"
#include "platform/text.h"
#include "resfile/clip_container.h"
#include "resfile/formats.h"
#include "resfile/package.h"

namespace qm {

namespace {

std::string WriteFailed(const File* out) {
    return Format("Can not write file %s！", PathFindFileName(out->Path()).c_str());
}

}  // namespace

int CClipSet::OpenPackage(int buildType, const std::string& path, std::string& err) {
    int32_t rate = 0;
    if (!ReadPackageRate(buildType, path, rate, err)) return 0;
    sampleRate = rate;
    return 1;
}

void CClipSet::Clear() {
    sampleRate = 0;
    problem = Problem();
    entries.clear();
}

int CClipSet::WriteClipContainer(float levelTarget, File* out,
                                 const std::vector<IndexText>& indexTexts, std::string& err) {
    if (out == nullptr || !out->IsOpen()) {
        std::string name = out ? PathFindFileName(out->Path()) : std::string();
        err = Format("Can not create file %s！", name.c_str());
        return 0;
    }
    if (!out->SeekEnd()) {
        err = WriteFailed(out);
        return 0;
    }
    const int rateByte = RateByte(sampleRate);
    if (rateByte == 0) {
        err = "工具不支持的资源包采样率！";
        out->Close();
        return 0;
    }
    const size_t n = entries.size();
    if (n > 0xFFFFFFF0u) {
        err = WriteFailed(out);
        return 0;
    }
    // Placeholders in the offset table until every record is in place.
    ClipContainerWriter writer;
    if (!writer.Begin(
            *out,
            MakeClipHeader(static_cast<uint8_t>(rateByte), CODING_PCM16, static_cast<uint32_t>(n)),
            kClipTablePlaceholder)) {
        err = WriteFailed(out);
        return 0;
    }
    if (indexTexts.size() != n) {
        err = "Inconsistent on the number of Text and audio file！";
        return 0;
    }

    std::vector<int16_t> samples;
    for (size_t i = 0; i < n; ++i) {
        // Each indexed text names the entry it came from; a text without one
        // is matched by its wording, as loaded.
        int64_t j = indexTexts[i].entry;
        if (j < 0 || static_cast<size_t>(j) >= n) {
            j = -1;
            for (size_t k = 0; k < n; ++k) {
                if (entries[k].text == indexTexts[i].text) {
                    j = static_cast<int64_t>(k);
                    break;
                }
            }
            if (j < 0) {
                err = "Inconsistent on the number of Text and audio file！";
                return 0;
            }
        }
        // An interrupt stops the build between two clips.
        if (Interrupted()) return 0;
        const PromptEntry& entry = entries[static_cast<size_t>(j)];
        if (!PrepareClip(entry, sampleRate, levelTarget, samples, err)) {
            problem = Problem();
            problem.word = "recording";
            problem.file = "WaveList.txt";
            problem.line = entry.line;
            problem.path = entry.path;
            problem.reason =
                Format("the recording \"%s\" (%d Hz) cannot be read or converted to %d Hz",
                       Cp936ToUtf8(entry.listedName).c_str(), entry.sampleRate, sampleRate);
            problem.hint =
                "save it as 16-bit mono PCM WAV at 8000 Hz or more, or run "
                "`quillmark-cli conform`";
            return 0;
        }
        // Also refused when the container would outgrow its 32-bit offsets.
        if (!writer.AddSamples(samples.data(), static_cast<uint32_t>(samples.size()))) {
            err = WriteFailed(out);
            return 0;
        }
        if (progress != nullptr) progress->SetStage("writing clips", i + 1, n);
    }
    if (!writer.Finish()) {
        err = WriteFailed(out);
        return 0;
    }
    return 1;
}

}  // namespace qm
