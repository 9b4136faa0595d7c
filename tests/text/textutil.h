// Helpers of the text pipeline tests.
#pragma once

#include <string>
#include <vector>

#include "common/testutil.h"
#include "input/lists.h"
#include "platform/fs.h"

namespace qmtest {

// Runs the list load in folder; returns its message, "" on success.
inline std::string LoadIn(const std::string& folder, std::vector<qm::PromptEntry>* out = nullptr,
                          int32_t rate = 16000) {
    KeepCwd keep;
    qm::SetCurrentDir(folder);
    std::vector<qm::PromptEntry> list;
    std::string err;
    bool ok = qm::LoadPromptLists(list, rate, folder, err);
    if (out) *out = list;
    return ok ? std::string() : err.empty() ? "(failed without a message)" : err;
}

}  // namespace qmtest
