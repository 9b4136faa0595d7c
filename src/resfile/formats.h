// What the formats share: resource identifiers, the build and code types,
// and the rate byte of the clip containers. Each format's own layout lives in
// its header (package.h, clip_container.h, textindex.h, role_files.h).
#pragma once

#include <array>
#include <cstdint>

// Kept for the driver until it includes clip_container.h and role_files.h
// itself (it takes ClipCoding and the clip and role frame constants from here).
#include "resfile/clip_container.h"
#include "resfile/role_files.h"

namespace qm {

using ResourceId = std::array<unsigned char, 16>;

// Index and clip resource identifiers of each build type, in file order.
inline constexpr ResourceId kPromptIndexId = {0x6b, 0x57, 0xfe, 0x99, 0x99, 0x89, 0x01, 0x4d,
                                              0x9c, 0xba, 0x1c, 0xbf, 0xe3, 0x80, 0xfc, 0x87};
inline constexpr ResourceId kPromptClipId = {0x8a, 0xd4, 0x82, 0x2f, 0x0d, 0x21, 0x93, 0x48,
                                             0xa8, 0x8e, 0x5e, 0x0f, 0x49, 0x3a, 0xc8, 0x7a};
inline constexpr ResourceId kBgsoundIndexId = {0x6b, 0x57, 0xfe, 0x13, 0x99, 0x09, 0x01, 0x4c,
                                               0x8c, 0xba, 0x2c, 0xbf, 0xe3, 0x80, 0xfc, 0x87};
inline constexpr ResourceId kBgsoundClipId = {0x8a, 0xd4, 0x82, 0x3f, 0x0d, 0x31, 0x93, 0x33,
                                              0xb8, 0x8e, 0x6e, 0x0f, 0x49, 0x3a, 0xc8, 0x7a};
inline constexpr ResourceId kRoleIndexId = {0x6b, 0x57, 0xfe, 0x99, 0x99, 0x89, 0x01, 0x4d,
                                            0x9c, 0xba, 0x1c, 0xbf, 0xe3, 0x80, 0xfc, 0x88};
inline constexpr ResourceId kRoleClipId = {0x8a, 0xd4, 0x82, 0x2f, 0x0d, 0x21, 0x93, 0x48,
                                           0xa8, 0x8e, 0x5e, 0x0f, 0x49, 0x3a, 0xc8, 0x77};

// Build types.
enum BuildType : int32_t { BUILD_PROMPT = 0, BUILD_BGSOUND = 1, BUILD_ROLE = 2 };
// Code types ("Code1" .. "Code4").
enum CodeType : int32_t { CODE_NONE = 0, CODE_ALAW = 1, CODE_ADPCM = 2, CODE_G7231 = 3 };

// Index and clip resource identifiers of a build type (nullptr outside 0..2).
inline const ResourceId* IndexResourceId(int buildType) {
    switch (buildType) {
        case BUILD_PROMPT:
            return &kPromptIndexId;
        case BUILD_BGSOUND:
            return &kBgsoundIndexId;
        case BUILD_ROLE:
            return &kRoleIndexId;
        default:
            return nullptr;
    }
}
inline const ResourceId* ClipResourceId(int buildType) {
    switch (buildType) {
        case BUILD_PROMPT:
            return &kPromptClipId;
        case BUILD_BGSOUND:
            return &kBgsoundClipId;
        case BUILD_ROLE:
            return &kRoleClipId;
        default:
            return nullptr;
    }
}

// Rate byte of a clip container for a rate in Hz (0 when not one of the four).
inline uint8_t RateByte(int32_t hz) {
    switch (hz) {
        case 8000:
            return 8;
        case 11025:
            return 11;
        case 16000:
            return 16;
        case 22050:
            return 22;
        default:
            return 0;
    }
}
// Rate in Hz of a rate byte (0 when not one of the four).
inline int32_t RateFromByte(uint8_t b) {
    switch (b) {
        case 8:
            return 8000;
        case 11:
            return 11025;
        case 16:
            return 16000;
        case 22:
            return 22050;
        default:
            return 0;
    }
}

}  // namespace qm
