// The renderings of `inspect`: the text report and the JSON object, both
// laid out in docs/formats.md.
#pragma once

#include <string>

#include "resfile/inspect.h"

namespace qm {

std::string RenderInspectText(const InspectReport& report);
std::string RenderInspectJson(const InspectReport& report);

}  // namespace qm
