// The global functions of every run and the built-in string and array methods.
#include "zarn/runtime/Interpreter.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>

namespace zarn {

namespace {

void writeOut(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string joinedText(const NativeArgs& args) {
    std::string text;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i > 0) text += ' ';
        appendText(text, args[i]);
    }
    return text;
}

// Writes the optional prompt, then reads one line without its line feed.
// False when the input was already exhausted.
bool promptAndRead(const NativeArgs& args, std::string& line) {
    if (args.has(0)) writeOut(toString(args[0]));
    line.clear();
    // A line that cannot be held (memory exhausted) or a failed read ends the
    // run instead of handing back a cut line: the stream rethrows the failure.
    std::ios::iostate saved = std::cin.exceptions();
    std::cin.exceptions(std::ios::badbit);
    try {
        bool read = static_cast<bool>(std::getline(std::cin, line));
        std::cin.exceptions(saved);
        return read;
    } catch (...) {
        line.clear();
        line.shrink_to_fit();
        std::cin.clear();
        std::cin.exceptions(saved);
        throw;
    }
}

std::string typeName(const NativeArgs& args) {
    if (!args.has(0)) return "void";
    const Value v = args[0];
    switch (v.kind) {
    case ValueKind::Null: return "null";
    case ValueKind::Bool: return "Boolean";
    case ValueKind::Int: return "int";
    case ValueKind::Float: return "float";
    case ValueKind::String: return "string";
    case ValueKind::Object: break;
    }
    if (v.as.object == nullptr) return "null";
    switch (v.as.object->objectKind) {
    case ObjectKind::Array: return "Array";
    case ObjectKind::ClassInstance:
        return static_cast<ClassInstanceObject*>(v.as.object)->className();
    case ObjectKind::Function:
    case ObjectKind::NativeFunction: return "function";
    case ObjectKind::NativeHolder: return "TaviHandle";
    default: return "Object";
    }
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

void Interpreter::initGlobals() {
    auto global = [this](const char* name, NativeCallable callable) {
        defineGlobal(name, makeNative(name, std::move(callable)));
    };
    global("print", [](Interpreter&, const NativeArgs& args) {
        writeOut(joinedText(args));
        return Value();
    });
    global("println", [](Interpreter&, const NativeArgs& args) {
        writeOut(joinedText(args) + "\n");
        return Value();
    });
    global("input", [](Interpreter& interp, const NativeArgs& args) {
        std::string line;
        promptAndRead(args, line);
        return interp.makeString(std::move(line));
    });
    global("input_int", [](Interpreter&, const NativeArgs& args) {
        std::string line;
        if (!promptAndRead(args, line)) return Value::fromInt(0);
        errno = 0;
        char* end = nullptr;
        long long value = std::strtoll(line.c_str(), &end, 10);
        if (end == line.c_str() || errno == ERANGE) return Value::fromInt(0);
        return Value::fromInt(value);
    });
    global("input_float", [](Interpreter&, const NativeArgs& args) {
        std::string line;
        if (!promptAndRead(args, line)) return Value::fromFloat(0.0);
        errno = 0;
        char* end = nullptr;
        double value = std::strtod(line.c_str(), &end);
        if (end == line.c_str() || errno == ERANGE) return Value::fromFloat(0.0);
        return Value::fromFloat(value);
    });
    global("typeof", [](Interpreter& interp, const NativeArgs& args) {
        return interp.makeString(typeName(args));
    });
    global("sizeof", [](Interpreter&, const NativeArgs& args) {
        if (!args.has(0)) return Value::fromInt(0);
        Value v = args[0];
        if (v.isString()) return Value::fromInt(static_cast<int64_t>(v.stringView().size()));
        GcObject* object = v.asObject();
        if (object != nullptr && object->objectKind == ObjectKind::Array)
            return Value::fromInt(
                static_cast<int64_t>(static_cast<ArrayObject*>(object)->length()));
        return Value::fromInt(8);
    });
    global("min", [](Interpreter&, const NativeArgs& args) {
        if (args.size() < 2) return Value();
        Value a = args[0], b = args[1];
        // Two strings compare by their bytes.
        if (a.isString() && b.isString()) return b.stringView() < a.stringView() ? b : a;
        if (!a.isFloat() && !b.isFloat()) return b.toInt() < a.toInt() ? b : a;
        double x = a.toDouble(), y = b.toDouble();
        return Value::fromFloat(y < x ? y : x);
    });
    global("max", [](Interpreter&, const NativeArgs& args) {
        if (args.size() < 2) return Value();
        Value a = args[0], b = args[1];
        if (a.isString() && b.isString()) return a.stringView() < b.stringView() ? b : a;
        if (!a.isFloat() && !b.isFloat()) return a.toInt() < b.toInt() ? b : a;
        double x = a.toDouble(), y = b.toDouble();
        return Value::fromFloat(y > x ? y : x);
    });
    global("abs", [](Interpreter&, const NativeArgs& args) {
        if (!args.has(0)) return Value();
        Value v = args[0];
        if (v.isFloat()) return Value::fromFloat(std::fabs(v.as.number));
        int64_t i = v.toInt();
        return Value::fromInt(i < 0 && i != INT64_MIN ? -i : i);
    });
    global("assert", [](Interpreter& interp, const NativeArgs& args) {
        if (isTruthy(args[0])) return Value();
        std::string detail = args.has(1) ? toString(args[1]) : std::string("Assertion failed");
        interp.reportFailure(diag::AssertionFailure, detail);
        // The run ends with the same text (reported once more as E9000).
        throw std::runtime_error(interp.diagnostics().diagnostics().back().message);
    });
    global("panic", [](Interpreter& interp, const NativeArgs& args) -> Value {
        std::string detail = args.has(0) ? toString(args[0]) : std::string("Panic encountered");
        interp.reportFailure(diag::Panic, detail);
        throw std::runtime_error(interp.diagnostics().diagnostics().back().message);
    });
    global("List", [](Interpreter& interp, const NativeArgs&) { return interp.makeArray(); });
}

int Interpreter::builtinArity(ObjectKind receiver, NameId m) const {
    const MethodNames& n = methodNames_;
    if (receiver == ObjectKind::String) {
        if (m == n.length || m == n.split || m == n.trim || m == n.toUpper || m == n.toLower)
            return 0;
        if (m == n.contains || m == n.startsWith || m == n.endsWith || m == n.substring) return 1;
        if (m == n.replace) return 2;
        return -1;
    }
    if (receiver == ObjectKind::Array) {
        if (m == n.add || m == n.push) return 1;
        if (m == n.size || m == n.length || m == n.pop || m == n.clear) return 0;
    }
    return -1;
}

bool Interpreter::callBuiltinMethod(Value receiver, NameId m, std::span<const Value> arguments,
                                    Value& result) {
    const MethodNames& n = methodNames_;
    auto text = [&](size_t i) {
        return i < arguments.size() ? arguments[i].stringView() : std::string_view();
    };
    auto integer = [&](size_t i) { return i < arguments.size() ? arguments[i].toInt() : 0; };
    result = Value();

    if (receiver.isString()) {
        // The receiver is rooted by the caller; its text never changes.
        std::string_view self = receiver.stringView();
        if (m == n.length) {
            result = Value::fromInt(static_cast<int64_t>(self.size()));
        } else if (m == n.contains) {
            result = Value::fromBool(self.find(text(0)) != std::string_view::npos);
        } else if (m == n.startsWith) {
            result = Value::fromBool(self.starts_with(text(0)));
        } else if (m == n.endsWith) {
            result = Value::fromBool(self.ends_with(text(0)));
        } else if (m == n.substring) {
            int64_t start = std::max<int64_t>(integer(0), 0);
            if (static_cast<uint64_t>(start) >= self.size()) {
                result = makeString(std::string_view());
            } else {
                std::string_view rest = self.substr(static_cast<size_t>(start));
                if (arguments.size() >= 2) {
                    int64_t count = std::max<int64_t>(integer(1), 0);
                    rest =
                        rest.substr(0, static_cast<size_t>(std::min<uint64_t>(count, rest.size())));
                }
                result = makeString(rest);
            }
        } else if (m == n.replace) {
            std::string_view from = text(0), to = text(1);
            if (from.empty()) {
                result = receiver;
            } else {
                std::string out;
                size_t position = 0;
                while (true) {
                    size_t found = self.find(from, position);
                    if (found == std::string_view::npos) break;
                    out.append(self.substr(position, found - position));
                    out.append(to);
                    position = found + from.size();
                }
                out.append(self.substr(position));
                result = makeString(std::move(out));
            }
        } else if (m == n.split) {
            std::string_view separator = arguments.empty() ? std::string_view(" ") : text(0);
            auto* array = gc_.allocate<ArrayObject>();
            result = Value(array);
            RootScope roots(tempRoots_);
            roots.push(result);
            if (separator.empty()) {
                for (size_t i = 0; i < self.size(); ++i) array->push(makeString(self.substr(i, 1)));
            } else {
                size_t start = 0;
                while (true) {
                    size_t found = self.find(separator, start);
                    if (found == std::string_view::npos) {
                        array->push(makeString(self.substr(start)));
                        break;
                    }
                    array->push(makeString(self.substr(start, found - start)));
                    start = found + separator.size();
                }
            }
        } else if (m == n.trim) {
            size_t begin = 0, end = self.size();
            while (begin < end && isSpace(self[begin])) ++begin;
            while (end > begin && isSpace(self[end - 1])) --end;
            result = makeString(self.substr(begin, end - begin));
        } else if (m == n.toUpper || m == n.toLower) {
            // Changed in place right after the copy is made, before anything sees it.
            StringObject* out = makeStringObject(gc_, self);
            const bool upper = m == n.toUpper;
            for (char& c : std::span<char>(out->data(), out->length)) {
                if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
                else if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            }
            result = Value(out);
        } else {
            return false;
        }
        return true;
    }

    GcObject* object = receiver.asObject();
    if (object == nullptr || object->objectKind != ObjectKind::Array) return false;
    auto* array = static_cast<ArrayObject*>(object);
    if (m == n.add || m == n.push) {
        if (!arguments.empty()) array->push(arguments[0]);
    } else if (m == n.size || m == n.length) {
        result = Value::fromInt(static_cast<int64_t>(array->length()));
    } else if (m == n.pop) {
        result = array->pop();
    } else if (m == n.clear) {
        array->clear();
    } else {
        return false;
    }
    return true;
}

Value Interpreter::boundBuiltin(Value receiver, NameId method, const std::string& name) {
    if (builtinArity(receiver.as.object->objectKind, method) < 0) return Value();
    return makeNative(name,
                      [method](Interpreter& interp, const NativeArgs& args) {
                          Value result;
                          interp.callBuiltinMethod(args.self().captures[0], method, args.all(),
                                                   result);
                          return result;
                      },
                      {receiver});
}

} // namespace zarn
