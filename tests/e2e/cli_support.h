// Running quillmark-cli from tests and reading what it leaves behind.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/testutil.h"

namespace qmtest {

struct CliResult {
    int exit = -1;
    std::string out;
    std::string err;
};

struct RunOptions {
    std::string cwd;           // folder to run in ("" = the test's own)
    long long fileLimit = -1;  // RLIMIT_FSIZE in bytes, with SIGXFSZ ignored
    bool asNobody = false;     // run as user "nobody" (when started as root)
};

// Starts the tool with the arguments, its standard output and standard error
// going to files in capture.
inline pid_t StartCli(const std::vector<std::string>& args, const RunOptions& opt,
                      const TempDir& capture) {
    pid_t pid = ::fork();
    if (pid == 0) {
        if (!opt.cwd.empty() && ::chdir(opt.cwd.c_str()) != 0) ::_exit(126);
        if (opt.fileLimit >= 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            struct rlimit rl = {static_cast<rlim_t>(opt.fileLimit),
                                static_cast<rlim_t>(opt.fileLimit)};
            ::setrlimit(RLIMIT_FSIZE, &rl);
        }
        ::dup2(::open((capture / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2(::open((capture / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        if (opt.asNobody && ::geteuid() == 0) {
            // 65534 is "nobody" on Debian; permissions then bind the tool.
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(125);
        }
        std::string cli = QM_CLI_PATH;
        std::vector<std::string> copy = args;
        std::vector<char*> argv = {cli.data()};
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(cli.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

// The result of a run that ended with the wait status.
inline CliResult Collected(int status, const TempDir& capture) {
    CliResult r;
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFile(capture / "stdout");
    r.err = ReadFile(capture / "stderr");
    return r;
}

// Runs the tool with the arguments, capturing standard output and standard
// error.
inline CliResult RunCli(const std::vector<std::string>& args, const RunOptions& opt) {
    TempDir capture;
    const pid_t pid = StartCli(args, opt, capture);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return Collected(status, capture);
}

inline CliResult RunCli(const std::vector<std::string>& args, const std::string& cwd = "") {
    RunOptions opt;
    opt.cwd = cwd;
    return RunCli(args, opt);
}

// Strips one line end after a message.
inline std::string Line(const std::string& s) {
    std::string t = s;
    if (!t.empty() && t.back() == '\n') t.pop_back();
    return t;
}

// The first line of standard error: a refusal's message (its detail follows
// on lines indented by two spaces).
inline std::string Message(const std::string& err) { return err.substr(0, err.find('\n')); }

// Standard error without the warnings ("warning: " lines and the indented
// lines under them).
inline std::string WithoutWarnings(const std::string& err) {
    std::istringstream in(err);
    std::string line, out;
    bool inWarning = false;
    while (std::getline(in, line)) {
        if (line.rfind("warning: ", 0) == 0) {
            inWarning = true;
        } else if (!(inWarning && line.rfind("  ", 0) == 0)) {
            inWarning = false;
            out += line + "\n";
        }
    }
    return out;
}

// Every regular file below root, by path relative to root, with its bytes.
inline std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> files;
    for (auto& e : std::filesystem::recursive_directory_iterator(root)) {
        if (e.is_regular_file())
            files[std::filesystem::relative(e.path(), root).string()] = ReadFile(e.path().string());
    }
    return files;
}

// The bytes of the first resource of a package with the id ("" if none),
// read straight from its directory (16-byte header, 24-byte entries).
template <typename Id>
std::string ResourceData(const std::string& pkg, const Id& id) {
    const std::string want(id.begin(), id.end());
    for (size_t k = 0; pkg.size() >= 16 && k < U32At(pkg, 12) && 40 + 24 * k <= pkg.size(); ++k)
        if (pkg.compare(16 + 24 * k, 16, want) == 0)
            return pkg.substr(U32At(pkg, 32 + 24 * k), U32At(pkg, 36 + 24 * k));
    return "";
}

}  // namespace qmtest
