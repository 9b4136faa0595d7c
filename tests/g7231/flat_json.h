// Reads the per-frame JSON traces of the G.723.1 reference material.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace qmtest {

using Flat = std::map<std::string, std::vector<long long>>;

// Flattens one JSON object of numbers, booleans (1, 0), arrays and hex
// strings into "path" -> numbers; objects inside arrays get their index in
// the path, and null gives a path without numbers.
inline void Flatten(const nlohmann::json& v, const std::string& path, Flat& out) {
    if (v.is_object()) {
        for (const auto& [key, item] : v.items())
            Flatten(item, path.empty() ? key : path + "." + key, out);
    } else if (v.is_array()) {
        for (size_t i = 0; i < v.size(); ++i)
            Flatten(v[i], v[i].is_object() ? path + "." + std::to_string(i) : path, out);
    } else if (v.is_null()) {
        out[path];
    } else if (v.is_boolean()) {
        out[path].push_back(v.get<bool>() ? 1 : 0);
    } else if (v.is_string()) {
        const std::string hex = v.get<std::string>();
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            out[path].push_back(std::stoll(hex.substr(i, 2), nullptr, 16));
    } else {
        out[path].push_back(v.get<long long>());
    }
}

// False when line is not JSON.
inline bool ParseFlat(const std::string& line, Flat& out) {
    const nlohmann::json v = nlohmann::json::parse(line, nullptr, false);
    if (v.is_discarded()) return false;
    Flatten(v, "", out);
    return true;
}

template <typename T>
std::vector<long long> Vec(const T* p, size_t n) {
    return std::vector<long long>(p, p + n);
}

}  // namespace qmtest
