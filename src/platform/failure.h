// What a refused request or a failed operation reports: the fixed message
// the user sees, and a structured account behind it for the front ends that
// can show more.
#pragma once

#include <string>
#include <vector>

namespace qm {

struct Failure {
    // The fixed message, exactly as it is shown; may be empty where a step
    // fails without one.
    std::string message;
    // Further lines, shown under the message (the command line indents them).
    std::vector<std::string> detail;
    // A stable word naming what failed ("no-package", "audio-folder", ...).
    std::string reason;
    // The file or folder concerned, when there is one.
    std::string path;
};

}  // namespace qm
