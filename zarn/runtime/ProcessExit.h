// How a script ends the process (process.exit): the request unwinds the run,
// so that every scope and object is released and nothing is left half-done,
// up to the driver, which ends the run with the status.
#pragma once

namespace zarn {

// Thrown by a native function; deliberately not a std::exception, so that no
// handler of run-time failures takes it for one.
struct ProcessExit {
    int status = 0;
};

} // namespace zarn
