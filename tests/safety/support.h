// Builds started in the background and waited for with a deadline, held
// folder locks, and what a build may leave behind.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/fixture.h"
#include "platform/folder_lock.h"

namespace qmtest {

// A run of the tool that the test waits for, signals or gives up on.
class Spawned {
  public:
    explicit Spawned(const std::vector<std::string>& args) : pid_(StartCli(args, {}, capture_)) {}
    ~Spawned() {
        if (pid_ > 0 && !done_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Spawned(const Spawned&) = delete;
    Spawned& operator=(const Spawned&) = delete;

    void Signal(int sig) const { ::kill(pid_, sig); }
    pid_t Pid() const { return pid_; }

    // Stops the tool, and returns once it has stopped (or ended): a signal
    // is delivered after kill() returns.
    void Stop() const {
        ::kill(pid_, SIGSTOP);
        for (;;) {
            const std::string stat = ReadFile("/proc/" + std::to_string(pid_) + "/stat");
            const size_t close = stat.rfind(')');
            if (close == std::string::npos || close + 2 >= stat.size()) return;
            const char state = stat[close + 2];
            if (state != 'R' && state != 'S' && state != 'D') return;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }

    // The result once the tool has ended, or nothing when it is still
    // running after ms milliseconds (it is then killed).
    std::optional<CliResult> Wait(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        int status = 0;
        for (;;) {
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) break;
            if (std::chrono::steady_clock::now() > end) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        done_ = true;
        return Collected(status, capture_);
    }

  private:
    TempDir capture_;
    pid_t pid_ = -1;
    bool done_ = false;
};

// Holds the lock of a folder as a running build does.
class HeldLock {
  public:
    explicit HeldLock(const std::string& folder) {
        fd_ = ::open((folder + "/" + qm::kFolderLockName).c_str(), O_RDWR | O_CREAT, 0644);
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~HeldLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

// Whether process pid holds a flock() lock on the file at path: a file
// that exists is not yet locked between its creation and the lock.
inline bool HoldsFlock(pid_t pid, const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    // Lines read "1: FLOCK  ADVISORY  WRITE <pid> <major>:<minor>:<inode> 0 EOF".
    const std::string owner = " " + std::to_string(pid) + " ";
    const std::string inode = ":" + std::to_string(st.st_ino) + " ";
    std::istringstream locks(ReadFile("/proc/locks"));
    for (std::string line; std::getline(locks, line);)
        if (line.find("FLOCK") != std::string::npos && line.find(owner) != std::string::npos &&
            line.find(inode) != std::string::npos)
            return true;
    return false;
}

// Files a build may leave behind only while it runs.
inline std::vector<std::string> Leftovers(const std::string& folder) {
    std::vector<std::string> found;
    for (auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("IrfTemp", 0) == 0 || name.rfind("IrfRole", 0) == 0 ||
            name == qm::kFolderLockName ||
            (name.front() == '.' && name.size() > 4 && name.substr(name.size() - 4) == ".tmp"))
            found.push_back(e.path().string());
    }
    return found;
}

}  // namespace qmtest
