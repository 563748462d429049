// The one process-wide stop request of the serving loop, set from the
// operating system's interrupt, termination and hang-up signals.
#pragma once

namespace zarn {

// Clears the request and installs the handlers.
void installStopHandlers();
bool stopRequested();
// Puts the default handlers back.
void removeStopHandlers();
// Sleeps the calling thread for a few milliseconds.
void sleepMilliseconds(int milliseconds);

} // namespace zarn
