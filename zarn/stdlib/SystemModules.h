// Initializers of the native modules random, time, gc, os, process,
// filesystem and url, and their registration in the module table.
#pragma once

#include "zarn/runtime/NativeModules.h"

namespace zarn {

class Interpreter;

namespace stdlib {

void initRandomModule(Interpreter& interp);
void initTimeModule(Interpreter& interp);
void initGcModule(Interpreter& interp);
void initOsModule(Interpreter& interp);
void initProcessModule(Interpreter& interp);
void initFilesystemModule(Interpreter& interp);
void initUrlModule(Interpreter& interp);

// Flushes every output stream; false when a write or the flush of standard
// output failed (a full disk, a closed descriptor), now or earlier in the run.
bool flushStandardStreams();

// Adds the seven modules above to the table.
void registerSystemModules(NativeModuleTable& table);

} // namespace stdlib
} // namespace zarn
