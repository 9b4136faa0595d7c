#include "input/roles.h"

#include <cstdio>

#include "platform/fs.h"
#include "platform/profile.h"

namespace qm {

bool LoadRoleConfig(const std::string& audioFolder, RoleConfig& config) {
    config.roles.clear();
    config.count = 0;

    // The file is read once; a missing file reads as every key missing.
    PrivateProfile profile;
    profile.Load(JoinPath(audioFolder, "Config.ini"));
    auto value = [&profile](const std::string& key) { return profile.Get("RoleInfo", key); };

    const auto count = value("Count");
    config.count = count ? ProfileInt(*count) : 0;
    if (config.count <= 0) {
        std::printf("Config.ini Count配置错误，请检查\n");
        std::fflush(stdout);
        return false;
    }
    for (int32_t n = 1; n <= config.count; ++n) {
        const std::string number = std::to_string(n);
        const auto id = value("RoleID" + number);
        RoleEntry role;
        role.id = id ? ProfileInt(*id) : 0;
        role.path = value("RolePath" + number).value_or(std::string());
        if (role.id == 0) {
            std::printf("Config.ini pRoleID%d配置错误，请检查\n", n);
            std::fflush(stdout);
            return false;
        }
        config.roles.push_back(std::move(role));
    }
    return true;
}

}  // namespace qm
