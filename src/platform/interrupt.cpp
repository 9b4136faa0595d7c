#include "platform/interrupt.h"

#include <signal.h>

#include <atomic>

namespace qm {

namespace {

std::atomic<int> g_signal{0};

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");

extern "C" void NoteInterrupt(int sig) {
    int none = 0;
    g_signal.compare_exchange_strong(none, sig);
}

}  // namespace

void InstallInterruptHandlers() {
    static std::atomic<bool> installed{false};
    if (installed.exchange(true)) return;
    struct sigaction sa = {};
    sa.sa_handler = NoteInterrupt;
    sigemptyset(&sa.sa_mask);
    // Interrupted reads and writes carry on; the work notices at its checks.
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
}

void EndInterruptHandling() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, SIG_DFL);
}

bool Interrupted() { return g_signal.load(std::memory_order_relaxed) != 0; }

int InterruptSignal() { return g_signal.load(std::memory_order_relaxed); }

}  // namespace qm
