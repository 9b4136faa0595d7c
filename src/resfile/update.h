// Replacement of one resource of a package by the content of a file.
#pragma once

#include <cstdint>
#include <string>

#include "resfile/formats.h"

namespace qm {

inline constexpr int32_t kUpdateOk = 0;
inline constexpr int32_t kUpdateBadSource = 0x8001;
inline constexpr int32_t kUpdateBadData = 0x8002;
inline constexpr int32_t kUpdateSections = 0x8004;
inline constexpr int32_t kUpdateWriteFailed = 0x8008;

// The whole replacement runs in the constructor; the caller then tests
// `failed` (0 after success, 1 after a failure) and the result code.
class CUpdateResource {
public:
    CUpdateResource(const std::string& source, const std::string& data, ResourceId id,
                    const std::string& output, int32_t* result);
    virtual ~CUpdateResource() = default;

    int32_t failed = 0;
};

}  // namespace qm
