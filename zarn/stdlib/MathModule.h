// The `math` module: floating-point functions. The interpreter sets it up at
// start, so scripts reach it without `use`.
#pragma once

namespace zarn {
class Interpreter;
namespace stdlib {

void initMathModule(Interpreter& interp);

} // namespace stdlib
} // namespace zarn
