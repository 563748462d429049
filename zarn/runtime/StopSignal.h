// The one process-wide stop request of the serving loop, set from the
// operating system's interrupt, termination and hang-up signals.
#pragma once

namespace zarn {

// Clears the request and installs the handlers.
void installStopHandlers();
bool stopRequested();
// Clears the request and makes only the interrupt (Ctrl+C) request a stop:
// an interactive session cancels its entry on Ctrl+C and still ends on the
// other signals.
void installInterruptHandler();
// Puts the default handlers back.
void removeStopHandlers();
// Sleeps the calling thread for a few milliseconds.
void sleepMilliseconds(int milliseconds);

} // namespace zarn
