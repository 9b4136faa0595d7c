// The `conform` command: registers its options and runs it.
#pragma once

#include <CLI/CLI.hpp>

#include "input/conform.h"

namespace qm {

class ConformCommand {
  public:
    explicit ConformCommand(CLI::App& app);
    bool Parsed() const { return cmd_->parsed(); }
    CLI::App* App() const { return cmd_; }
    int Run() const;

  private:
    CLI::App* cmd_ = nullptr;
    ConformOptions options_;
    std::string lists_ = "auto";
    bool json_ = false;
};

}  // namespace qm
