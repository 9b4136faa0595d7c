// The two list files: "TextList.txt", a separator line, "WaveList.txt".
#include <unistd.h>

#include "fuzz_util.h"
#include "input/lists.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string texts, waves;
    qmfuzz::Split(data, size, texts, waves);
    qmfuzz::WriteScratch("TextList.txt", reinterpret_cast<const uint8_t*>(texts.data()),
                         texts.size());
    qmfuzz::WriteScratch("WaveList.txt", reinterpret_cast<const uint8_t*>(waves.data()),
                         waves.size());
    static const uint8_t kWav[44] = {'R', 'I', 'F',  'F',  36,  0,   0,   0,    'W', 'A', 'V',
                                     'E', 'f', 'm',  't',  ' ', 16,  0,   0,    0,   1,   0,
                                     1,   0,   0x80, 0x3e, 0,   0,   0,   0x7d, 0,   0,   2,
                                     0,   16,  0,    'd',  'a', 't', 'a', 0,    0,   0,   0};
    qmfuzz::WriteScratch("a.wav", kWav, sizeof kWav);
    qmfuzz::WriteScratch("b.pcm", kWav, 8);
    if (::chdir(qmfuzz::Scratch().c_str()) != 0) return 0;
    std::vector<qm::PromptEntry> list;
    std::string err;
    qm::LoadPromptLists(list, 16000, qmfuzz::Scratch(), err);
    return 0;
}
