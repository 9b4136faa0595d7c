#include "cli/output.h"

#include <algorithm>
#include <cstdio>

#include "driver/build_types.h"

namespace qm::cli {

void Fail(const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); }

void Fail(const Failure& failure) {
    Fail(failure.message);
    for (const std::string& line : failure.detail) std::fprintf(stderr, "  %s\n", line.c_str());
}

void TerminalProgress::SetPos(int pos) {
    pos_ = pos;
    // A finished stage is not shown beside the next position.
    stage_.EndFinished();
    Draw();
}

void TerminalProgress::SetStage(const char* stage, uint64_t done, uint64_t total) {
    if (stage_.Update(stage, done, total)) Draw();
}

void TerminalProgress::Draw() {
    const int width = 40;
    const int filled = std::max(0, std::min(width, pos_ * width / 100));
    const std::string note = stage_.Text();
    std::fprintf(stderr, "\r[%s%s] %3d%%%s%s\033[K",
                 std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(width - filled), ' ').c_str(), pos_,
                 note.empty() ? "" : " ", note.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void TerminalProgress::End() {
    if (drawn_) std::fprintf(stderr, "\n");
    drawn_ = false;
}

std::vector<std::string> BuildTypeOptions() {
    std::vector<std::string> out;
    for (const BuildTypeInfo& t : BuildTypes()) out.emplace_back(t.option);
    return out;
}

}  // namespace qm::cli
