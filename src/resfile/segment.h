// Prompt text segmentation: classes, normalisation and the 40-segment limit.
#pragma once

#include <cstdint>
#include <string>

#include "platform/problem.h"

namespace qm {

enum SegmentClass : int32_t {
    SEG_SYMBOL = 2,
    SEG_DIGITS = 3,
    SEG_DECIMAL = 4,
    SEG_LETTERS = 5,
    SEG_HANZI = 6,
};

inline constexpr int kMaxSegments = 40;

// One filed text.
struct IndexedText {
    int32_t classes[kMaxSegments] = {};
    int32_t lengths[kMaxSegments] = {};  // bytes of the normalised text
    int32_t segmentCount = 0;
    std::string text;    // normalised, code page 936
    int32_t entry = -1;  // 0-based position of its prompt entry in the list
};

// Segments and normalises one prompt text. promptNumber is the entry's
// 1-based position (its line in "TextList.txt"), used in messages. False when
// the text is refused: err holds the message, or is untouched for more than
// 40 segments. why (when given) gets the word, reason and fix of a refusal.
bool SegmentText(const std::string& text, int32_t promptNumber, IndexedText& out, std::string& err,
                 Problem* why = nullptr);

}  // namespace qm
