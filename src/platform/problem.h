// One problem found in a build's inputs: the fixed message the build gives
// for it, and an account of where it lies, why it is refused and how to fix
// it, for the front ends that can show more than the message.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/failure.h"

namespace qm {

struct Problem {
    std::string message;  // the fixed message (UTF-8), exactly as a build gives it; may be empty
    std::string word;     // a stable word naming the kind of problem ("wav-format", ...)
    std::string file;     // the file concerned as the user knows it ("TextList.txt", a listed name)
    size_t line = 0;      // its list line (1-based), 0 when none applies
    std::string path;     // the file's resolved path
    std::string reason;   // plain English, with the offending value
    std::string hint;     // how to fix it
    std::vector<std::string> more;  // further lines (a duplicate's other lines, ...)
};

// The detail lines of a problem: where, why, how to fix, and the rest.
std::vector<std::string> DetailLines(const Problem& p);

// The problem as a failure: its message, then its detail lines.
Failure ToFailure(const Problem& p);

}  // namespace qm
