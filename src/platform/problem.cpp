#include "platform/problem.h"

namespace qm {

std::vector<std::string> DetailLines(const Problem& p) {
    std::vector<std::string> lines;
    const auto endsWith = [](const std::string& s, const std::string& tail) {
        return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
    };
    bool pathShown = p.path.empty();
    for (const std::string& m : p.more)
        pathShown = pathShown || m.find(p.path) != std::string::npos;
    if (!p.file.empty()) {
        std::string where = p.file;
        if (p.line > 0) where += ", line " + std::to_string(p.line);
        if (!pathShown && p.path != p.file && endsWith(p.path, p.file)) {
            where += " (" + p.path + ")";
            pathShown = true;
        }
        lines.push_back("in " + where);
    }
    if (!pathShown) lines.push_back((p.file.empty() ? "in " : "path: ") + p.path);
    if (!p.reason.empty()) lines.push_back("reason: " + p.reason);
    for (const std::string& m : p.more) lines.push_back(m);
    if (!p.hint.empty()) lines.push_back("fix: " + p.hint);
    return lines;
}

Failure ToFailure(const Problem& p) { return Failure{p.message, DetailLines(p), p.word, p.path}; }

}  // namespace qm
