// The report of `conform` as text and as JSON (the JSON fields are documented
// in the README and kept stable).
#pragma once

#include <string>

#include "input/conform.h"

namespace qm {

// The report as text (one line per list and recording, then the total) and
// as JSON (documented in the README).
std::string RenderConformText(const ConformReport& report);
std::string RenderConformJson(const ConformReport& report, const ConformOptions& options);
// The failures, one per line indented by two spaces.
std::string RenderConformFailures(const ConformReport& report);

}  // namespace qm
