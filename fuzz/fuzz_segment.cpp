// Text segmentation and the text index writer: each input line is a prompt.
#include <unistd.h>

#include "fuzz_util.h"
#include "platform/file.h"
#include "resfile/segment.h"
#include "resfile/textindex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (::chdir(qmfuzz::Scratch().c_str()) != 0) return 0;
    std::string all(reinterpret_cast<const char*>(data), size);
    qm::CTextIndex index;
    std::string err;
    size_t start = 0;
    int32_t number = 0;
    while (start <= all.size() && number < 2000) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        const std::string text = all.substr(start, std::min<size_t>(end - start, 512));
        start = end + 1;
        ++number;
        if (text.empty()) continue;
        qm::IndexedText one;
        qm::SegmentText(text, number, one, err);
        index.AddText(text, number, err);
    }
    qm::File out;
    out.Open(qmfuzz::Scratch() + "/Prompt.idx", "wb");
    std::vector<qm::IndexText> texts;
    index.WriteBlock(&out, texts, err);
    out.Close();
    return 0;
}
