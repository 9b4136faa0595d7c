// The role list of a role build, read from "Config.ini" of the audio folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/problem.h"

namespace qm {

struct RoleEntry {
    int32_t id = 0;
    std::string path;  // as written in "Config.ini" (code page 936)
};

struct RoleConfig {
    int32_t count = 0;
    std::vector<RoleEntry> roles;
};

// Reads section "RoleInfo" of audioFolder + "/Config.ini": "Count", then
// "RoleID"n and "RolePath"n for n = 1..Count. True when at least one role is
// declared and every declared role has a non-zero identifier. The two
// configuration errors are written to standard output; why (when given)
// gets the account of the failure; announce false keeps standard output quiet.
bool LoadRoleConfig(const std::string& audioFolder, RoleConfig& config, Problem* why = nullptr,
                    bool announce = true);

// The folder a role's "RolePath" names: backslashes are separators and a
// relative path is taken from the audio folder.
std::string RoleFolder(const std::string& audioFolder, const RoleEntry& role);

}  // namespace qm
