// The native API of NativeApi.h over the interpreter.
#include "zarn/runtime/NativeApi.h"

#include "zarn/runtime/Interpreter.h"

namespace zarn {

RootScope::RootScope(Interpreter& interp) : RootScope(interp.rootStack()) {}

Value makeString(Interpreter& interp, std::string text) {
    return interp.makeString(std::move(text));
}

Value makeArray(Interpreter& interp, std::vector<Value> elements) {
    return interp.makeArray(elements);
}

Value makeStringArray(Interpreter& interp, const std::vector<std::string>& texts) {
    // Every new string stays rooted until the array that holds them exists.
    RootScope roots(interp);
    std::vector<Value> elements;
    elements.reserve(texts.size());
    for (const auto& text : texts) {
        Value element = interp.makeString(text);
        roots.push(element);
        elements.push_back(element);
    }
    return interp.makeArray(elements);
}

Value makeNative(Interpreter& interp, std::string name, NativeCallable callable,
                 std::vector<Value> captures) {
    return interp.makeNative(std::move(name), std::move(callable), std::move(captures));
}

GC& collector(Interpreter& interp) { return interp.gc(); }

ClassInstanceObject* makeModule(Interpreter& interp, std::string_view name) {
    ClassInstanceObject* module = makeInstance(interp, name);
    interp.defineHere(name, Value(module)); // interning allocates nothing of the collector's
    return module;
}

void addMember(Interpreter& interp, ClassInstanceObject* object, std::string_view name,
               NativeCallable callable) {
    RootScope roots(interp);
    roots.push(Value(object));
    Value function = interp.makeNative(std::string(name), std::move(callable));
    setField(interp, object, name, function);
}

ClassInstanceObject* makeInstance(Interpreter& interp, std::string_view className) {
    return interp.makeInstance(interp.plainLayout(interp.symbols().intern(className)));
}

void setField(Interpreter& interp, ClassInstanceObject* instance, std::string_view name,
              Value value) {
    instance->setField(interp.symbols().intern(name), value);
}

Value getField(Interpreter& interp, ClassInstanceObject* instance, std::string_view name) {
    NameId symbol = interp.symbols().find(name);
    if (symbol == kNoName) return Value();
    Value* slot = instance->findField(symbol);
    return slot ? *slot : Value();
}

Value callValue(Interpreter& interp, Value callee, std::span<const Value> arguments,
                const SourceLocation& location) {
    return interp.callValue(callee, arguments, location);
}

bool runFailed(Interpreter& interp) { return interp.diagnostics().hasErrors(); }

Value getGlobal(Interpreter& interp, std::string_view name) { return interp.getGlobal(name); }

const std::vector<std::string>& scriptArguments(Interpreter& interp) {
    return interp.scriptArguments();
}

void runScript(Interpreter& interp, const std::string& path) { interp.runScript(path); }

void registerServer(Interpreter& interp, std::shared_ptr<ServedObject> server) {
    interp.registerServer(std::move(server));
}

} // namespace zarn
