// The renderings of `inspect`: the text report and the JSON object, both
// laid out in docs/formats.md.
#pragma once

#include <string>

#include "resfile/inspect.h"

namespace qm {

// Control characters of a text written as escapes (\t, \n, \r, \xNN, and a
// backslash as \\), so one text stays one line.
std::string EscapeControls(const std::string& text);

std::string RenderInspectText(const InspectReport& report);
std::string RenderInspectJson(const InspectReport& report);

}  // namespace qm
