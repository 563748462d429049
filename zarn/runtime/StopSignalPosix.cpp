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

void setHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

void setHandler(void (*handler)(int)) {
    setHandler(SIGINT, handler);
    setHandler(SIGTERM, handler);
    setHandler(SIGHUP, handler);
}
} // namespace

void installStopHandlers() {
    stopFlag.exchange(false);
    setHandler(onStopSignal);
}

bool stopRequested() { return stopFlag.load(); }

void installInterruptHandler() {
    stopFlag.exchange(false);
    setHandler(SIGINT, onStopSignal);
}

void removeStopHandlers() { setHandler(SIG_DFL); }

void sleepMilliseconds(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace zarn
