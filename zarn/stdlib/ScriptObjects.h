// Small helpers for native modules that hand objects to scripts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zarn/runtime/Interpreter.h"

namespace zarn::stdlib {

// A new instance of the named class, not bound to any name. The caller roots
// it before allocating anything else.
ClassInstanceObject* makeInstance(Interpreter& interp, std::string_view className);

// A new array of new strings, in order.
Value makeStringArray(Interpreter& interp, const std::vector<std::string>& texts);

} // namespace zarn::stdlib
