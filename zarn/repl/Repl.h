// `zarn repl`: the interactive prompt.
#pragma once

#include "zarn/runtime/NativeModules.h"

namespace zarn {

// Reads entries until the end of input (Ctrl+D) and checks and runs each in
// one session. On a terminal: prompts, line editing and a history in the
// user's home; otherwise standard input is read as it comes. Returns the exit
// status: 0, or on a terminal always 0, 1 when an entry read from a pipe or a
// file failed, or the status a script passed to process.exit.
int runRepl(NativeModuleTable modules);

} // namespace zarn
