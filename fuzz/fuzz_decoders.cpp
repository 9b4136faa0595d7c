// The A-law and IMA ADPCM decoders on arbitrary coded bytes and sample
// counts. The buffers hold exactly the bytes and samples the call names, so
// the sanitizers catch any read or write outside them.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "codec/decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const std::vector<uint8_t> in(data + 2, data + size);
    // A sample count around what the bytes hold: negative, too few, exact,
    // odd, one pair too many.
    const int32_t delta = static_cast<int32_t>(data[1] % 8) - 4;
    const auto bytes = static_cast<int32_t>(in.size());
    if ((data[0] & 1) == 0) {
        // A-law reads n bytes: counts past the input are the caller's fault.
        const int32_t n = std::min(bytes, bytes + delta);
        std::vector<int16_t> out(n > 0 ? static_cast<size_t>(n) : 0);
        const int rc = qm::ALawDecode(in.data(), n, out.data());
        if (rc != (n < 0 ? qm::kDecodeBadCount : n)) std::abort();
        return 0;
    }
    const int32_t n = 2 * bytes + delta;
    std::vector<int16_t> out(n > 0 ? static_cast<size_t>(n) : 0);
    const int rc = qm::AdpcmDecode(in.data(), in.size(), n, out.data());
    const int expect = n < 0                                    ? qm::kDecodeBadCount
                       : static_cast<size_t>(n) / 2 > in.size() ? qm::kDecodeShortInput
                                                                : n;
    if (rc != expect) std::abort();
    return 0;
}
