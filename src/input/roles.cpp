#include "input/roles.h"

#include <cstdio>

#include "platform/fs.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace qm {

bool LoadRoleConfig(const std::string& audioFolder, RoleConfig& config, Problem* why,
                    bool announce) {
    config.roles.clear();
    config.count = 0;

    // The file is read once; a missing file reads as every key missing.
    PrivateProfile profile;
    const std::string file = JoinPath(audioFolder, "Config.ini");
    profile.Load(file);
    auto explain = [&](const char* word, std::string reason, const char* hint) {
        if (why == nullptr) return;
        why->word = word;
        why->file = "Config.ini";
        why->path = file;
        why->reason = std::move(reason);
        why->hint = hint;
    };
    auto value = [&profile](const std::string& key) { return profile.Get("RoleInfo", key); };

    const auto count = value("Count");
    config.count = count ? ProfileInt(*count) : 0;
    if (config.count <= 0) {
        explain("role-count",
                !PathIsFile(file) ? std::string("there is no Config.ini in the audio folder")
                : count ? "\"Count\" in section [RoleInfo] is " + *count + ", not at least 1"
                        : std::string("section [RoleInfo] has no \"Count\""),
                "write [RoleInfo] with Count=<number of roles>, then RoleID1=, RolePath1= and "
                "so on for each role");
        if (announce) {
            std::printf("Config.ini Count配置错误，请检查\n");
            std::fflush(stdout);
        }
        return false;
    }
    for (int32_t n = 1; n <= config.count; ++n) {
        const std::string number = std::to_string(n);
        const auto id = value("RoleID" + number);
        RoleEntry role;
        role.id = id ? ProfileInt(*id) : 0;
        role.path = value("RolePath" + number).value_or(std::string());
        if (role.id == 0) {
            explain("role-id",
                    id ? "\"RoleID" + number + "\" is " + *id + ", which reads as 0"
                       : "section [RoleInfo] has no \"RoleID" + number + "\"",
                    "give every role from 1 to Count a non-zero RoleID");
            if (announce) {
                std::printf("Config.ini pRoleID%d配置错误，请检查\n", n);
                std::fflush(stdout);
            }
            return false;
        }
        config.roles.push_back(std::move(role));
    }
    return true;
}

std::string RoleFolder(const std::string& audioFolder, const RoleEntry& role) {
    std::string folder = Cp936PathToUtf8(role.path);
    if (!folder.empty() && folder[0] != '/') folder = JoinPath(audioFolder, folder);
    return folder;
}

}  // namespace qm
