// The host services of the driver: running the pipeline on a thread whose
// stack size is known, and running one piece of work in a child process.
#pragma once

#include <cstddef>
#include <functional>

namespace zarn {

// Runs `body` on a new thread with a stack of `stackBytes` and returns its
// result, so that the nesting limits of the pipeline hold whatever stack size
// the process was started with. Runs it on the calling thread when no such
// thread can be made.
int runWithStack(size_t stackBytes, const std::function<int()>& body);

// Runs `body` in a child process and waits for it. The child's standard
// streams are this process's; its result (or an exit it makes itself) is its
// exit status. Returns that status, or -1 when the child could not be started
// or was ended by a signal.
int runInChildProcess(const std::function<int()>& body);

} // namespace zarn
