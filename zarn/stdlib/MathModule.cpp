#include "zarn/stdlib/MathModule.h"

#include "zarn/runtime/NativeApi.h"

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
    ClassInstanceObject* module = makeModule(interp, "math");
    addMember(interp, module, "sqrt", unary<squareRoot>);
    addMember(interp, module, "sin", unary<sine>);
    addMember(interp, module, "cos", unary<cosine>);
    addMember(interp, module, "tan", unary<tangent>);
    addMember(interp, module, "floor", unary<floorOf>);
    addMember(interp, module, "ceil", unary<ceilingOf>);
    addMember(interp, module, "round", unary<rounded>);
    addMember(interp, module, "pow", [](Interpreter&, const NativeArgs& args) {
        if (args.size() < 2) return Value::fromFloat(0.0);
        return Value::fromFloat(std::pow(args.floatAt(0), args.floatAt(1)));
    });
}

} // namespace zarn::stdlib
