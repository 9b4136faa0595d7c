// The private-profile reader and the role list on arbitrary "Config.ini".
#include <cstdio>

#include "fuzz_util.h"
#include "input/roles.h"
#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = [] { return std::freopen("/dev/null", "w", stdout) != nullptr; }();
    (void)quiet;
    qm::PrivateProfile profile;
    profile.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    profile.Get("RoleInfo", "Count");
    qmfuzz::WriteScratch("Config.ini", data, size);
    qm::RoleConfig config;
    qm::LoadRoleConfig(qmfuzz::Scratch(), config);
    return 0;
}
