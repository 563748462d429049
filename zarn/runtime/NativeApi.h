// Everything a native module needs from the runtime, without the interpreter's
// internals: making values, calling script values, rooting, run-ending errors,
// handles that keep script values for native objects, and script instances
// bound to a native record. Register modules in the table of NativeModules.h.
//
//   struct Counter {
//       int64_t count = 0;
//       Handle onChange; // a script function kept while the counter lives
//   };
//
//   void initCounterModule(Interpreter& interp) {
//       ClassInstanceObject* module = makeModule(interp, "counter"); // defined, so rooted
//       addMember(interp, module, "make", [](Interpreter& in, const NativeArgs&) {
//           auto counter = std::make_shared<Counter>();
//           return Value(bindInstance<Counter>(in, "Counter", counter, {
//               {"add", [](Interpreter& in, Counter& c, const NativeArgs& args) {
//                   c.count += args.intAt(0, 1);
//                   Value now = Value::fromInt(c.count);
//                   if (!c.onChange.empty()) callValue(in, c.onChange.get(), {&now, 1});
//                   return now;
//               }},
//               {"onChange", [](Interpreter& in, Counter& c, const NativeArgs& args) {
//                   c.onChange = Handle(in, args[0]);
//                   return Value();
//               }},
//           }));
//       });
//   }
//
// Rules of the collector (GC.h):
// - Arguments of a native call are rooted by the caller for the whole call.
// - A heap value kept in a C++ local while anything else is allocated must be
//   rooted first: `RootScope roots(interp); roots.push(value);` (until the
//   scope ends). makeString, makeArray, makeNative, bindInstance... allocate;
//   callValue may run any script.
// - A native object that keeps a script value beyond the call (a route
//   handler, a widget's click handler, a socket callback) holds it through a
//   Handle, never as a bare Value.
// - A Handle is a root: what it holds lives until the handle is released,
//   even when the handler refers back to the object that owns the handle. When
//   such a cycle is possible and the native object is reached ONLY through the
//   collector (its NativeHolder or the methods of bindInstance; no C++ owner
//   such as a registered server or a host callback holds it), keep the value
//   in a TracedValue instead and give the object `void trace(GC&) const`; the
//   cycle is then collected with its holder. Otherwise use a Handle.
//
// Native failures that end the run throw NativeError (any std::exception
// does): the run ends with an "E9000" report carrying the text.
// Everything here is single-threaded: call it only from the interpreter's thread.
#pragma once

#include "zarn/diagnostics/SourceLocation.h"
#include "zarn/runtime/GC.h"
#include "zarn/runtime/NativeModules.h"
#include "zarn/runtime/Object.h"
#include "zarn/runtime/RootStack.h"
#include "zarn/runtime/Value.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace zarn {

class Interpreter;

// ---- values -----------------------------------------------------------------

Value makeString(Interpreter& interp, std::string text);
Value makeArray(Interpreter& interp, std::vector<Value> elements = {});
// A new array of new strings, in order.
Value makeStringArray(Interpreter& interp, const std::vector<std::string>& texts);
// A native function; the captured values are traced, so they live as long as
// the function does (args.self().captures).
Value makeNative(Interpreter& interp, std::string name, NativeCallable callable,
                 std::vector<Value> captures = {});
// The collector of the run (allocation of native holders, statistics).
GC& collector(Interpreter& interp);
// A native object reached from scripts as a value of its own (a widget).
template <typename T>
Value makeHolder(Interpreter& interp, std::shared_ptr<T> object, std::string typeName,
                 NativeHolderBase::MemberHook hook = nullptr) {
    return Value(
        collector(interp).allocate<NativeHolder<T>>(std::move(object), std::move(typeName), hook));
}

// A module object (an instance whose class name is the module name), defined
// under that name in the current scope, which keeps it alive.
ClassInstanceObject* makeModule(Interpreter& interp, std::string_view name);
// Adds a native function as a member (field) of a module or instance.
void addMember(Interpreter& interp, ClassInstanceObject* object, std::string_view name,
               NativeCallable callable);
// A new instance of the named class, bound to no name: root it before
// allocating anything else.
ClassInstanceObject* makeInstance(Interpreter& interp, std::string_view className);
// Fields of instances by name (missing fields read as Null).
void setField(Interpreter& interp, ClassInstanceObject* instance, std::string_view name,
              Value value);
Value getField(Interpreter& interp, ClassInstanceObject* instance, std::string_view name);

// ---- calls and the run ------------------------------------------------------

// Calls any value: a script function, a lambda, a native function. It roots
// what it is given. Reports "E0024" for non-callable values and gives Null.
Value callValue(Interpreter& interp, Value callee, std::span<const Value> arguments,
                const SourceLocation& location = SourceLocation());
// Whether the run has recorded an error (a serving loop stops then).
bool runFailed(Interpreter& interp);
// A global variable by name, or Null.
Value getGlobal(Interpreter& interp, std::string_view name);
// The arguments given to the script after its path.
const std::vector<std::string>& scriptArguments(Interpreter& interp);
// Runs another script in this run: its top-level statements, then its own
// `main`; a relative path starts at the running script's directory.
void runScript(Interpreter& interp, const std::string& path);

// A server that the run keeps serving after `main` returned.
class ServedObject {
public:
    virtual ~ServedObject() = default;
    virtual bool isOpen() const = 0;
    // Handles what is pending, waiting at most timeoutMs; true when it did something.
    virtual bool poll(int timeoutMs) = 0;
    virtual void stop() = 0;
};
void registerServer(Interpreter& interp, std::shared_ptr<ServedObject> server);

// A failure that ends the run with an "E9000" report carrying its text.
class NativeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---- values kept by native objects -----------------------------------------

// Keeps one script value reachable for the collector while the handle lives:
// a persistent root, released by the destructor or reset(). Movable, not
// copyable. A handle destroyed while or after its interpreter is torn down
// releases nothing and does no harm; get() then gives Null.
class Handle {
public:
    Handle() = default;
    Handle(Interpreter& interp, Value value) : Handle(collector(interp), value) {}
    Handle(GC& gc, Value value) : roots_(gc.persistentRoots()), slot_(roots_->add(value)) {}
    Handle(Handle&& other) noexcept
        : roots_(std::move(other.roots_)), slot_(std::exchange(other.slot_, 0)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            roots_ = std::move(other.roots_);
            slot_ = std::exchange(other.slot_, 0);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }

    Value get() const { return roots_ ? roots_->get(slot_) : Value(); }
    bool empty() const { return roots_ == nullptr; }
    void reset() {
        if (roots_) roots_->release(slot_);
        roots_.reset();
        slot_ = 0;
    }

private:
    std::shared_ptr<PersistentRoots> roots_;
    uint32_t slot_ = 0;
};

// A script value kept by a native object that only the collector reaches (see
// the rules above): not a root; the object's `trace(GC&) const` calls
// trace(gc) on it, so a handler referring back to its owner is collected with it.
class TracedValue {
public:
    TracedValue() = default;
    explicit TracedValue(Value value) : value_(value) {}
    Value get() const { return value_; }
    void set(Value value) { value_ = value; }
    void trace(GC& gc) const { gc.markValue(value_); }

private:
    Value value_;
};

// ---- script instances over a native record ----------------------------------

// A method of bindInstance: gets the record the instance is bound to.
template <typename T>
struct NativeMethod {
    std::string_view name;
    Value (*call)(Interpreter& interp, T& record, const NativeArgs& args);
};

// A script instance of class className whose methods are native functions
// sharing one record. Each method captures a NativeHolder<T> of the record, so
// the record lives while the instance or any of its methods does, and a
// record with `trace(GC&) const` is traced through it. Root the instance
// before allocating anything else (its data fields, say).
template <typename T>
ClassInstanceObject*
bindInstance(Interpreter& interp, std::string_view className, std::shared_ptr<T> record,
             std::initializer_list<NativeMethod<std::type_identity_t<T>>> methods) {
    RootScope roots(interp);
    Value holder = makeHolder(interp, std::move(record), std::string(className));
    roots.push(holder);
    ClassInstanceObject* instance = makeInstance(interp, className);
    roots.push(Value(instance));
    for (const NativeMethod<T>& method : methods) {
        auto call = method.call;
        Value function =
            makeNative(interp, std::string(method.name),
                       [call](Interpreter& in, const NativeArgs& args) {
                           auto* self =
                               static_cast<NativeHolder<T>*>(args.self().captures[0].as.object);
                           return self->object ? call(in, *self->object, args) : Value();
                       },
                       {holder});
        setField(interp, instance, method.name, function);
    }
    return instance;
}

// The record of an instance made by bindInstance<T>, or null for any other value.
template <typename T>
T* boundRecord(Value instance) {
    auto* object = dynamic_cast<ClassInstanceObject*>(instance.asObject());
    if (object == nullptr) return nullptr;
    T* record = nullptr;
    object->forEachField([&](uint32_t, const Value& field) {
        auto* method = dynamic_cast<NativeFunctionObject*>(field.asObject());
        if (record != nullptr || method == nullptr || method->captures.empty()) return;
        if (auto* holder = dynamic_cast<NativeHolder<T>*>(method->captures[0].asObject()))
            record = holder->object.get();
    });
    return record;
}

} // namespace zarn
