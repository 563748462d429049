// The host stack of the running thread, so that deep recursion in scripts ends
// with a diagnostic before the process runs out of stack.
#pragma once

#include <cstdint>

namespace zarn {

// The lowest address that interpreter frames may reach on this thread: the
// end of the stack plus a margin for library code called from the deepest frame.
uintptr_t stackLimitForThisThread();

} // namespace zarn
