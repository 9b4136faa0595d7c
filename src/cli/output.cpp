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
    if (total_ > 0 && done_ >= total_) stage_.clear();
    Draw();
}

void TerminalProgress::SetStage(const char* stage, uint64_t done, uint64_t total) {
    const auto now = std::chrono::steady_clock::now();
    if (stage_ != stage || done < done_) stageStart_ = now;
    stage_ = stage;
    done_ = done;
    total_ = total;
    // A few redraws a second are enough to show that work goes on.
    if (done != total && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    Draw();
}

void TerminalProgress::Draw() {
    lastDraw_ = std::chrono::steady_clock::now();
    const int width = 40;
    const int filled = std::max(0, std::min(width, pos_ * width / 100));
    std::string note;
    if (!stage_.empty()) {
        note = " " + stage_;
        if (total_ > 0) note += " " + std::to_string(done_) + " of " + std::to_string(total_);
        const double spent = std::chrono::duration<double>(lastDraw_ - stageStart_).count();
        if (done_ > 0 && done_ < total_ && spent >= 1.0) {
            const double left = spent * static_cast<double>(total_ - done_) / done_;
            note += ", " + std::to_string(static_cast<long long>(left + 0.5)) + " s left";
        }
    }
    std::fprintf(stderr, "\r[%s%s] %3d%%%s\033[K",
                 std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(width - filled), ' ').c_str(), pos_, note.c_str());
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
