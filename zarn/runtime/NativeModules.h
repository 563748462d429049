// The table of native modules that `use NAME` can load. The runtime knows no
// module by itself: the library registers its initializers here and the
// driver hands the filled table to each Interpreter.
//
// Writing a native module (the API is NativeApi.h):
//
//   void initClockModule(Interpreter& interp) {
//       ClassInstanceObject* module = makeModule(interp, "clock");   // defined and rooted
//       addMember(interp, module, "ticks", [](Interpreter&, const NativeArgs&) {
//           return Value::fromInt(42);
//       });
//       addMember(interp, module, "twice", [](Interpreter& in, const NativeArgs& args) {
//           Value fn = args[0];                         // arguments stay rooted by the caller
//           callValue(in, fn, {}, args.location());
//           return callValue(in, fn, {}, args.location());
//       });
//   }
//   table.add("clock", initClockModule);
//
// An initializer runs once per `use` statement (and "math" once at start-up)
// and defines the module object in the scope of the statement.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zarn {

class Interpreter;

using ModuleInitializer = void (*)(Interpreter&);

class NativeModuleTable {
public:
    // Registers (or replaces) the initializer of a module name.
    void add(std::string name, ModuleInitializer initializer) {
        for (auto& entry : entries_) {
            if (entry.first == name) {
                entry.second = initializer;
                return;
            }
        }
        entries_.emplace_back(std::move(name), initializer);
    }
    // The initializer of an exact module name, or null.
    ModuleInitializer find(std::string_view name) const {
        for (const auto& entry : entries_)
            if (entry.first == name) return entry.second;
        return nullptr;
    }

private:
    std::vector<std::pair<std::string, ModuleInitializer>> entries_;
};

} // namespace zarn
