// The progress bar as the build sees it: valid or not, read and set its
// position (0 to 100). The dialog, the command line and tests each implement it.
#pragma once

#include <vector>

namespace qm {

class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual bool IsValid() const { return true; }
    virtual int GetPos() const = 0;
    virtual void SetPos(int pos) = 0;
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
    const std::vector<int>& History() const { return history_; }
    void Clear() { history_.clear(); }

  private:
    int pos_ = 0;
    std::vector<int> history_;
};

}  // namespace qm
