// The progress bar as the build sees it: valid or not, read and set its
// position (0 to 100). The dialog, the command line and tests each implement it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual bool IsValid() const { return true; }
    virtual int GetPos() const = 0;
    virtual void SetPos(int pos) = 0;
    // What the build is doing between two positions: the stage ("writing
    // clips", "replacing") and k of n of its steps done. The position stays
    // where the build set it.
    virtual void SetStage(const char* stage, uint64_t done, uint64_t total) {
        (void)stage, (void)done, (void)total;
    }
};

// Keeps the position and every position set, in order (for tests and for
// callers that only want the last position).
class RecordingProgress : public ProgressSink {
  public:
    int GetPos() const override { return pos_; }
    void SetPos(int pos) override {
        pos_ = pos;
        history_.push_back(pos);
    }
    void SetStage(const char* stage, uint64_t done, uint64_t total) override {
        stages_.push_back({stage, done, total});
    }
    const std::vector<int>& History() const { return history_; }
    struct StageStep {
        std::string stage;
        uint64_t done, total;
    };
    const std::vector<StageStep>& Stages() const { return stages_; }
    void Clear() {
        history_.clear();
        stages_.clear();
    }

  private:
    int pos_ = 0;
    std::vector<int> history_;
    std::vector<StageStep> stages_;
};

}  // namespace qm
