// The WAV header check and the audio reader with its levelling, fades and
// resampling, on arbitrary files.
#include "fuzz_util.h"
#include "input/audio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = qmfuzz::WriteScratch("clip.wav", data, size);
    std::string err;
    int32_t rate = 0;
    const bool wav = qm::CheckWaveHeader(path, err, rate);
    qm::CAudioData audio;
    if (audio.Load(path, wav ? qm::AUDIO_WAV : qm::AUDIO_PCM, err)) {
        audio.Normalize(20000.0f);
        audio.Fade();
        // Keep the conversions cheap: only plausible source rates are tried.
        const int32_t from = wav && rate > 0 && rate <= 192000 ? rate : 16000;
        audio.Resample(from, size % 2 ? 8000 : 22050, err);
    }
    return 0;
}
