// StopSignal.h on POSIX signals.
#include "zarn/runtime/StopSignal.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zarn {

namespace {
// Written by the signal handler: the one piece of process-wide state here.
std::atomic<bool> stopFlag{false};

void onStopSignal(int) { stopFlag.store(true); }

void setHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}
} // namespace

void installStopHandlers() {
    stopFlag.exchange(false);
    setHandler(onStopSignal);
}

bool stopRequested() { return stopFlag.load(); }

void removeStopHandlers() { setHandler(SIG_DFL); }

void sleepMilliseconds(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace zarn
