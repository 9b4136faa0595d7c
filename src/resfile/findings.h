// Findings of the format checks: per-item faults of one kind counted and
// reported once, with the first item, so a damaged table of thousands of
// entries gives one line, not thousands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/text.h"

namespace qm {

class Tally {
  public:
    explicit Tally(std::string what) : what_(std::move(what)) {}
    void Hit(uint64_t item) {
        if (count_++ == 0) first_ = item;
    }
    void Report(std::vector<std::string>& problems) const {
        if (count_ == 0) return;
        problems.push_back(Format("%llu %s, the first %llu",
                                  static_cast<unsigned long long>(count_), what_.c_str(),
                                  static_cast<unsigned long long>(first_)));
    }

  private:
    std::string what_;
    uint64_t count_ = 0;
    uint64_t first_ = 0;
};

}  // namespace qm
