// The coder front end on arbitrary input containers.
#include "codec/frontend.h"
#include "fuzz_util.h"
#include "platform/progress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string in = qmfuzz::WriteScratch("in.voc", data + 1, size - 1);
    const std::string out = qmfuzz::Scratch() + "/out.voc";
    qm::RecordingProgress progress;
    progress.SetPos(40);
    switch (data[0] % 3) {
        case 0:
            qm::EncodeContainerALaw(in, out, &progress);
            break;
        case 1:
            qm::EncodeContainerAdpcm(in, out, &progress);
            break;
        default:
            qm::EncodeContainerG7231(in, out, &progress);
            break;
    }
    return 0;
}
