// Reads the G.723.1 reference material: raw samples and the per-frame JSON
// traces of the reference coders, compared field by field.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/testutil.h"

namespace qmtest {

// 16-bit little-endian samples.
inline std::vector<int16_t> ReadPcm(const std::string& path) { return PcmSamples(ReadFile(path)); }

using Flat = std::map<std::string, std::vector<long long>>;
// One frame's values, in the order the coder computes them.
using Fields = std::vector<std::pair<std::string, std::vector<long long>>>;

template <typename T>
std::vector<long long> Vec(const T* p, size_t n) {
    return std::vector<long long>(p, p + n);
}

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

// Runs `frame` on each line of the trace at `path` (the trace's values and
// the frame's number) and reports the first of the fields it returns that
// differs from the trace; a field of the trace it does not return fails too.
// Returns the number of frames read.
inline size_t CompareTrace(const std::string& path,
                           const std::function<Fields(const Flat& ref, size_t frame)>& frame) {
    std::ifstream in(path);
    std::string line;
    size_t n = 0;
    for (; std::getline(in, line); ++n) {
        Flat ref;
        Flatten(nlohmann::json::parse(line), "", ref);  // throws, failing the test, if not JSON
        std::set<std::string> known = {"frame"};
        for (const auto& [key, mine] : frame(ref, n)) {
            known.insert(key);
            if (mine == ref[key]) continue;
            EXPECT_EQ(mine, ref[key]) << path << " frame " << n << ": first difference in " << key;
            return n + 1;
        }
        for (const auto& entry : ref)
            if (!known.count(entry.first)) {
                ADD_FAILURE() << path << " frame " << n << ": unknown field " << entry.first;
                return n + 1;
            }
    }
    return n;
}

}  // namespace qmtest
