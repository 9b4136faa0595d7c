#include "cli/output.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>

#include "driver/build_types.h"
#include "platform/interrupt.h"

namespace qm::cli {

void Fail(const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); }

void Fail(const Failure& failure) {
    Fail(failure.message);
    for (const std::string& line : failure.detail) std::fprintf(stderr, "  %s\n", line.c_str());
}

int InterruptExit() {
    const int sig = InterruptSignal();
    const char* name = sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "SIGHUP";
    std::fprintf(stderr, "Interrupted by %s\n", name);
    return 128 + sig;
}

void TerminalProgress::SetPos(int pos) {
    pos_ = pos;
    const int width = 40;
    const int filled = std::max(0, std::min(width, pos * width / 100));
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(width - filled), ' ').c_str(), pos);
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
