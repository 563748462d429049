// Helpers shared by the net and http modules for building script objects
// whose methods are native functions bound to a native record.
#pragma once

#include <string>
#include <string_view>

#include "zarn/runtime/NativeApi.h"

namespace zarn::stdlib {

// Sets a method of a script object. The object must be rooted.
inline void bindMethod(Interpreter& interp, ClassInstanceObject* object, std::string_view name,
                       NativeCallable callable) {
    setField(interp, object, name, makeNative(interp, std::string(name), std::move(callable)));
}

inline void setTextField(Interpreter& interp, ClassInstanceObject* object, std::string_view name,
                         const std::string& text) {
    setField(interp, object, name, makeString(interp, text));
}

// The initializers of the net and http modules.
void initNetModule(Interpreter& interp);
void initHttpModule(Interpreter& interp);

// Adds "net" and "http" to the table.
inline void registerNetworkModules(NativeModuleTable& table) {
    table.add("net", initNetModule);
    table.add("http", initHttpModule);
}

} // namespace zarn::stdlib
