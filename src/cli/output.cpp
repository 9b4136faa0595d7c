#include "cli/output.h"

#include <sys/stat.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>

#include "driver/build_types.h"
#include "platform/file.h"
#include "platform/safe_replace.h"
#include "platform/text.h"
#include "platform/interrupt.h"

namespace qm::cli {

bool ReadInputFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& err) {
    File in;
    if (!in.Open(path, "rb")) {
        err = Format("Cannot open input file %s", path.c_str());
        return false;
    }
    const int64_t size = in.Size();
    if (size >= 0) bytes.assign(static_cast<size_t>(size), 0);
    if (size < 0 || !in.ReadExact(bytes.data(), bytes.size())) {
        err = Format("Cannot read input file %s", path.c_str());
        return false;
    }
    return true;
}

bool WriteOutputFile(const std::string& path, const void* data, size_t size, std::string& err) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        err = Format("Cannot write output file %s: it is not a regular file", path.c_str());
        return false;
    }
    if (!ReplaceFile(path, [&](File& out) { return out.Write(data, size); })) {
        err = Format("Cannot write output file %s", path.c_str());
        return false;
    }
    return true;
}

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
