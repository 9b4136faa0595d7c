// What every command of quillmark-cli shares: exit statuses, how a refusal
// or failure is printed, the progress bar, and the commands' registration.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/progress.h"

namespace qm::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The message as the first line of standard error.
void Fail(const std::string& message);
// The message, then each detail line indented by two spaces.
void Fail(const Failure& failure);

// The whole of an input file; false with the message in err.
bool ReadInputFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& err);
// Replaces path with the bytes, whole or not at all (through a temporary file
// beside it). Only a regular file or no file is replaced: a link, a device or
// a folder at path is refused, never written through.
bool WriteOutputFile(const std::string& path, const void* data, size_t size, std::string& err);
// After an interrupt (SIGINT, SIGTERM, SIGHUP) has stopped a command: says
// so on standard error and returns the exit status 128 + the signal.
int InterruptExit();

// A progress bar on standard error (the caller draws it only on a terminal).
// Beside the bar: the stage, k of n and an estimate of the time left.
class TerminalProgress : public ProgressSink {
  public:
    int GetPos() const override { return pos_; }
    void SetPos(int pos) override;
    void SetStage(const char* stage, uint64_t done, uint64_t total) override;
    // Ends the bar's line if one was drawn.
    void End();

  private:
    void Draw();

    int pos_ = 0;
    bool drawn_ = false;
    StageText stage_;
};

// A command: its subcommand of the tool, and what runs it once it has been
// parsed (returning the exit status).
struct Command {
    CLI::App* app = nullptr;
    std::function<int()> run;
};

Command AddBuildCommand(CLI::App& tool);
Command AddRateCommand(CLI::App& tool);
Command AddInitPackageCommand(CLI::App& tool);
Command AddInspectCommand(CLI::App& tool);
Command AddEncodeCommand(CLI::App& tool);
Command AddDecodeCommand(CLI::App& tool);
Command AddConformCommand(CLI::App& tool);
Command AddExtractCommand(CLI::App& tool);
Command AddDiffCommand(CLI::App& tool);
Command AddCheckCommand(CLI::App& tool);
Command AddReportCommand(CLI::App& tool);

// The words of the build types for --type.
std::vector<std::string> BuildTypeOptions();

}  // namespace qm::cli
