// Helpers of the text pipeline tests.
#pragma once

#include <string>
#include <vector>

#include "common/testutil.h"
#include "input/lists.h"
#include "platform/fs.h"

namespace qmtest {

// Makes a folder the current directory for the lifetime of the object.
class InDir {
  public:
    explicit InDir(const std::string& dir) : old_(qm::GetCurrentDir()) { qm::SetCurrentDir(dir); }
    ~InDir() { qm::SetCurrentDir(old_); }

  private:
    std::string old_;
};

// Runs the list load in folder; returns its message, "" on success.
inline std::string LoadIn(const std::string& folder, std::vector<qm::PromptEntry>* out = nullptr,
                          int32_t rate = 16000) {
    InDir in(folder);
    std::vector<qm::PromptEntry> list;
    std::string err;
    bool ok = qm::LoadPromptLists(list, rate, folder, err);
    if (out) *out = list;
    return ok ? std::string() : err.empty() ? "(failed without a message)" : err;
}

}  // namespace qmtest
