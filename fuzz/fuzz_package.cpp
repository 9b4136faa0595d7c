// The package reader and the inspector on arbitrary files.
#include "cli/inspect_render.h"
#include "fuzz_util.h"
#include "resfile/package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = qmfuzz::WriteScratch("package.irf", data, size);
    qm::PackageDirectory dir;
    std::string err;
    qm::ReadPackageDirectory(path, dir, err);
    for (int type = 0; type < 3; ++type) {
        int32_t rate = 0;
        qm::ReadPackageRate(type, path, rate, err);
    }
    qm::InspectReport report;
    if (qm::InspectPackage(path, report, err)) {
        qm::RenderInspectText(report);
        qm::RenderInspectJson(report);
    }
    return 0;
}
