#include "zarn/stdlib/MathModule.h"

#include "zarn/runtime/Interpreter.h"

#include <cmath>

namespace zarn::stdlib {

namespace {

// A member of one float argument; a missing argument gives 0.0.
template <double (*F)(double)>
Value unary(Interpreter&, const NativeArgs& args) {
    return Value::fromFloat(args.has(0) ? F(args.floatAt(0)) : 0.0);
}

double squareRoot(double x) { return std::sqrt(x); }
double sine(double x) { return std::sin(x); }
double cosine(double x) { return std::cos(x); }
double tangent(double x) { return std::tan(x); }
double floorOf(double x) { return std::floor(x); }
double ceilingOf(double x) { return std::ceil(x); }
double rounded(double x) { return std::round(x); } // halves away from zero

} // namespace

void initMathModule(Interpreter& interp) {
    ClassInstanceObject* module = interp.makeModule("math");
    interp.addMember(module, "sqrt", unary<squareRoot>);
    interp.addMember(module, "sin", unary<sine>);
    interp.addMember(module, "cos", unary<cosine>);
    interp.addMember(module, "tan", unary<tangent>);
    interp.addMember(module, "floor", unary<floorOf>);
    interp.addMember(module, "ceil", unary<ceilingOf>);
    interp.addMember(module, "round", unary<rounded>);
    interp.addMember(module, "pow", [](Interpreter&, const NativeArgs& args) {
        if (args.size() < 2) return Value::fromFloat(0.0);
        return Value::fromFloat(std::pow(args.floatAt(0), args.floatAt(1)));
    });
}

} // namespace zarn::stdlib
