// The progress bar as the build sees it: valid or not, read and set its
// position (0 to 100). The dialog, the command line and tests each implement it.
#pragma once

#include <chrono>
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

// The line a front end shows for a stage: "writing clips 120 of 2000, 12 s
// left" (the estimate once a second of the stage has passed).
class StageText {
  public:
    // Takes a stage step; true when the line should be redrawn (a few times
    // a second, and at a stage's last step).
    bool Update(const char* stage, uint64_t done, uint64_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (stage_ != stage || done < done_) start_ = now;
        stage_ = stage;
        done_ = done;
        total_ = total;
        if (done != total && now - shown_ < std::chrono::milliseconds(100)) return false;
        shown_ = now;
        return true;
    }
    // Forgets a finished stage (when the build moves on to a new position).
    void EndFinished() {
        if (total_ > 0 && done_ >= total_) stage_.clear();
    }
    std::string Text() const {
        if (stage_.empty()) return "";
        std::string t = stage_;
        if (total_ > 0) t += " " + std::to_string(done_) + " of " + std::to_string(total_);
        const double spent = std::chrono::duration<double>(shown_ - start_).count();
        if (done_ > 0 && done_ < total_ && spent >= 1.0) {
            const double left = spent * static_cast<double>(total_ - done_) / done_;
            t += ", " + std::to_string(static_cast<long long>(left + 0.5)) + " s left";
        }
        return t;
    }

  private:
    std::string stage_;
    uint64_t done_ = 0, total_ = 0;
    std::chrono::steady_clock::time_point start_, shown_;
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
