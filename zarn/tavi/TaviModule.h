// The script module "tavi": windows, widgets, layouts and dialogs for scripts.
#pragma once

#include <memory>

#include "zarn/diagnostics/SourceLocation.h"
#include "zarn/runtime/Value.h"
#include "zarn/tavi/Toolkit.h"

namespace zarn {

class Interpreter;

namespace tavi {

// Defines the module object "tavi". A second `use tavi` in the same run
// shares the first one's toolkit, so all windows meet in one event loop.
void initTaviModule(Interpreter& interp);

// The widget a script value holds, or null when it holds none.
std::shared_ptr<Widget> widgetOf(Value value);
// Calls widget handlers in the interpreter, reporting at location.
std::unique_ptr<HandlerRunner> makeScriptHandlers(Interpreter& interp,
                                                  const SourceLocation& location);

} // namespace tavi
} // namespace zarn
