// Resource replacement: an arbitrary package and an arbitrary resource.
#include "fuzz_util.h"
#include "resfile/formats.h"
#include "resfile/package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte chooses the resource; the rest is the package, then
    // (after a separator) the new resource's content.
    const int which = data[0] % 6;
    std::string pkg, res;
    qmfuzz::Split(data + 1, size - 1, pkg, res);
    const std::string src =
        qmfuzz::WriteScratch("in.irf", reinterpret_cast<const uint8_t*>(pkg.data()), pkg.size());
    const std::string dat =
        qmfuzz::WriteScratch("res.dat", reinterpret_cast<const uint8_t*>(res.data()), res.size());
    const std::string out = qmfuzz::Scratch() + "/out.irf";
    const qm::ResourceId* id =
        which % 2 ? qm::ClipResourceId(which / 2) : qm::IndexResourceId(which / 2);
    int32_t result = 0;
    qm::CUpdateResource update(src, dat, *id, out, &result);
    (void)update;
    return 0;
}
