// The report's page: the model rendered as one HTML file, with the script
// and style it loads from beside it.
#pragma once

#include <string>

#include "driver/report.h"

namespace qm::cli {

inline constexpr const char* kReportScriptName = "report.js";
inline constexpr const char* kReportStyleName = "report.css";

// index.html: the summary with its charts and one table row per record.
std::string RenderReportHtml(const ReportModel& model);
// Text with the five characters HTML gives meaning to escaped.
std::string HtmlEscape(const std::string& text);

extern const char* const kReportScript;
extern const char* const kReportStyle;

}  // namespace qm::cli
