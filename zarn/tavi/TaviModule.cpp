#include "zarn/tavi/TaviModule.h"

#include <cstdlib>
#include <filesystem>

#include "zarn/runtime/NativeApi.h"
#include "zarn/tavi/Toolkit.h"

namespace zarn::tavi {
namespace {

// A script callable stored by a widget, kept reachable for the collector for
// as long as the widget holds it.
class ScriptHandler final : public Handler {
public:
    ScriptHandler(Interpreter& interp, Value value) : value(interp, value) {}
    Handle value;
};

std::unique_ptr<Handler> makeHandler(Interpreter& interp, Value value) {
    if (value.isNull()) return nullptr;
    return std::make_unique<ScriptHandler>(interp, value);
}

// Runs widget handlers through the interpreter, at the location of `run`.
class ScriptHandlers final : public HandlerRunner {
public:
    ScriptHandlers(Interpreter& interp, const SourceLocation& location)
        : interp_(interp), location_(location) {}

    void click(Widget& widget) override { call(widget.clickHandler.get(), {}); }
    void input(Widget& widget, const std::string& text) override {
        RootScope roots(interp_);
        Value argument = makeString(interp_, text);
        roots.push(argument);
        call(widget.inputHandler.get(), {&argument, 1});
    }

private:
    void call(Handler* handler, std::span<const Value> arguments) {
        auto* script = static_cast<ScriptHandler*>(handler);
        if (script == nullptr) return;
        // The handler may replace itself while it runs: hold the value here.
        Value callee = script->value.get();
        RootScope roots(interp_);
        roots.push(callee);
        callValue(interp_, callee, arguments, location_);
    }

    Interpreter& interp_;
    SourceLocation location_;
};

// What the script's Application and Window values hold: the object and the
// toolkit that runs it.
struct ScriptApplication {
    std::shared_ptr<Application> application;
    std::shared_ptr<Toolkit> toolkit;
};
struct ScriptWindow {
    std::shared_ptr<Window> window;
    std::shared_ptr<Toolkit> toolkit;
};

constexpr const char* kWidgetTypes[] = {"Label", "Button", "TextBox"};
constexpr const char* kLayoutTypes[] = {"VerticalLayout", "HorizontalLayout", "GridLayout"};

template <typename T>
NativeHolder<T>* holderOf(Value value, std::string_view typeName) {
    GcObject* object = value.asObject();
    if (object == nullptr || object->objectKind != ObjectKind::NativeHolder) return nullptr;
    auto* holder = static_cast<NativeHolderBase*>(object);
    if (holder->typeName != typeName) return nullptr;
    return static_cast<NativeHolder<T>*>(holder);
}

std::shared_ptr<Layout> layoutOf(Value value) {
    for (const char* type : kLayoutTypes)
        if (auto* holder = holderOf<Layout>(value, type)) return holder->object;
    return nullptr;
}

// A method of a native object: the receiver's record and the call's arguments.
template <typename T>
using Method = Value (*)(Interpreter&, T&, const NativeArgs&);

template <typename T>
struct MethodEntry {
    const char* name;
    Method<T> method;
};

// The member hook of one native type: a method name gives a native function
// bound to the receiver (captured, so the receiver stays alive with it).
template <typename T, const auto& Table>
Value bindMember(Interpreter& interp, NativeHolderBase& self, std::string_view member) {
    for (const MethodEntry<T>& entry : Table) {
        if (member != entry.name) continue;
        Method<T> method = entry.method;
        return makeNative(interp, entry.name,
                          [method](Interpreter& in, const NativeArgs& args) {
                              auto* holder =
                                  static_cast<NativeHolder<T>*>(args.self().captures[0].asObject());
                              return method(in, *holder->object, args);
                          },
                          {Value(&self)});
    }
    return Value();
}

std::string textOr(const NativeArgs& args, size_t index, const char* fallback) {
    return args.has(index) ? std::string(args.stringAt(index)) : std::string(fallback);
}

// ---- Application ---------------------------------------------------------

const MethodEntry<ScriptApplication> kApplicationMethods[] = {
    {"run",
     [](Interpreter& interp, ScriptApplication& self, const NativeArgs& args) {
         self.toolkit->run(*self.application, *makeScriptHandlers(interp, args.location()));
         return Value();
     }},
    {"quit",
     [](Interpreter&, ScriptApplication& self, const NativeArgs&) {
         self.toolkit->quit(*self.application);
         return Value();
     }},
};

// ---- Window ----------------------------------------------------------------

template <void (Toolkit::*Operation)(Window&)>
Value windowOperation(Interpreter&, ScriptWindow& self, const NativeArgs&) {
    (self.toolkit.get()->*Operation)(*self.window);
    return Value();
}

const MethodEntry<ScriptWindow> kWindowMethods[] = {
    {"show", windowOperation<&Toolkit::show>},
    {"hide", windowOperation<&Toolkit::hide>},
    {"close", windowOperation<&Toolkit::close>},
    {"center", windowOperation<&Toolkit::center>},
    {"setTitle",
     [](Interpreter&, ScriptWindow& self, const NativeArgs& args) {
         self.toolkit->setTitle(*self.window, std::string(args.stringAt(0)));
         return Value();
     }},
    {"setSize",
     [](Interpreter&, ScriptWindow& self, const NativeArgs& args) {
         if (args.size() >= 2) self.toolkit->setSize(*self.window, args.intAt(0), args.intAt(1));
         return Value();
     }},
    {"setMinSize",
     [](Interpreter&, ScriptWindow& self, const NativeArgs& args) {
         if (args.size() < 2) return Value();
         self.window->minWidth = clampToInt32(args.intAt(0));
         self.window->minHeight = clampToInt32(args.intAt(1));
         return Value();
     }},
    {"setResizable",
     [](Interpreter&, ScriptWindow& self, const NativeArgs& args) {
         self.toolkit->setResizable(*self.window, isTruthy(args[0]));
         return Value();
     }},
    {"add",
     [](Interpreter&, ScriptWindow& self, const NativeArgs& args) {
         if (auto widget = widgetOf(args[0])) self.window->add(std::move(widget));
         return Value();
     }},
    {"setLayout",
     [](Interpreter&, ScriptWindow& self, const NativeArgs& args) {
         if (auto layout = layoutOf(args[0])) self.window->setLayout(std::move(layout));
         return Value();
     }},
};

// ---- widgets -----------------------------------------------------------------

const MethodEntry<Widget> kWidgetMethods[] = {
    {"setText",
     [](Interpreter&, Widget& self, const NativeArgs& args) {
         self.setText(std::string(args.stringAt(0)));
         return Value();
     }},
    {"getText", [](Interpreter& interp, Widget& self,
                   const NativeArgs&) { return makeString(interp, self.text); }},
    {"setWidth",
     [](Interpreter&, Widget& self, const NativeArgs& args) {
         self.setWidth(args.intAt(0));
         return Value();
     }},
    {"setHeight",
     [](Interpreter&, Widget& self, const NativeArgs& args) {
         self.setHeight(args.intAt(0));
         return Value();
     }},
    {"setFont",
     [](Interpreter&, Widget& self, const NativeArgs& args) {
         if (args.size() < 2) return Value();
         self.fontName = std::string(args.stringAt(0));
         self.fontSize = clampToInt32(args.intAt(1));
         return Value();
     }},
    {"setBackground",
     [](Interpreter&, Widget& self, const NativeArgs& args) {
         self.background = parseColour(args.stringAt(0));
         self.customBackground = true;
         return Value();
     }},
    {"setForeground",
     [](Interpreter&, Widget& self, const NativeArgs& args) {
         self.foreground = parseColour(args.stringAt(0));
         self.customForeground = true;
         return Value();
     }},
    {"onClick",
     [](Interpreter& interp, Widget& self, const NativeArgs& args) {
         self.clickHandler = makeHandler(interp, args[0]);
         return Value();
     }},
    {"onInput",
     [](Interpreter& interp, Widget& self, const NativeArgs& args) {
         self.inputHandler = makeHandler(interp, args[0]);
         return Value();
     }},
};

// ---- layouts -------------------------------------------------------------------

const MethodEntry<Layout> kListLayoutMethods[] = {
    {"add",
     [](Interpreter&, Layout& self, const NativeArgs& args) {
         if (auto widget = widgetOf(args[0])) self.add(std::move(widget));
         return Value();
     }},
};

const MethodEntry<Layout> kGridLayoutMethods[] = {
    {"add",
     [](Interpreter&, Layout& self, const NativeArgs& args) {
         if (auto widget = widgetOf(args[0]))
             static_cast<GridLayout&>(self).add(std::move(widget), args.intAt(1), args.intAt(2));
         return Value();
     }},
};

// ---- the file dialog object ------------------------------------------------------

const MethodEntry<Toolkit> kFileDialogMethods[] = {
    {"open",
     [](Interpreter& interp, Toolkit& self, const NativeArgs&) {
         std::error_code error;
         std::string start = std::filesystem::current_path(error).string();
         return makeString(interp, self.openFileDialog(start));
     }},
};

Value makeWidget(Interpreter& interp, WidgetKind kind, const char* typeName, std::string text) {
    return makeHolder(interp, std::make_shared<Widget>(kind, std::move(text)), typeName,
                      bindMember<Widget, kWidgetMethods>);
}

Value makeLayout(Interpreter& interp, std::shared_ptr<Layout> layout, const char* typeName) {
    bool grid = layout->kind == LayoutKind::Grid;
    return makeHolder(interp, std::move(layout), typeName,
                      grid ? bindMember<Layout, kGridLayoutMethods>
                           : bindMember<Layout, kListLayoutMethods>);
}

// The toolkit of an earlier `use tavi` in this run, found through the module
// object it defined, or a new one.
std::shared_ptr<Toolkit> toolkitFor(Interpreter& interp) {
    GcObject* module = getGlobal(interp, "tavi").asObject();
    if (module != nullptr && module->objectKind == ObjectKind::ClassInstance) {
        Value dialog = getField(interp, static_cast<ClassInstanceObject*>(module), "fileDialog");
        if (auto* holder = holderOf<Toolkit>(dialog, "FileDialog")) return holder->object;
    }
    ToolkitOptions options;
    const char* headless = std::getenv("ZARN_HEADLESS");
    options.headless = headless != nullptr && std::string_view(headless) == "1";
    if (const char* folder = std::getenv("ZARN_TAVI_SNAPSHOT")) options.snapshotFolder = folder;
    return std::make_shared<Toolkit>(std::move(options));
}

} // namespace

std::shared_ptr<Widget> widgetOf(Value value) {
    for (const char* type : kWidgetTypes)
        if (auto* holder = holderOf<Widget>(value, type)) return holder->object;
    return nullptr;
}

std::unique_ptr<HandlerRunner> makeScriptHandlers(Interpreter& interp,
                                                  const SourceLocation& location) {
    return std::make_unique<ScriptHandlers>(interp, location);
}

void initTaviModule(Interpreter& interp) {
    std::shared_ptr<Toolkit> toolkit = toolkitFor(interp);
    ClassInstanceObject* module = makeModule(interp, "tavi");
    addMember(interp, module, "application", [toolkit](Interpreter& in, const NativeArgs& args) {
        auto record = std::make_shared<ScriptApplication>(ScriptApplication{
            toolkit->makeApplication(textOr(args, 0, "Zarn Application")), toolkit});
        return makeHolder(in, std::move(record), "Application",
                          bindMember<ScriptApplication, kApplicationMethods>);
    });
    addMember(interp, module, "window", [toolkit](Interpreter& in, const NativeArgs& args) {
        auto window = toolkit->makeWindow(textOr(args, 0, "Zarn Window"), args.intAt(1, 800),
                                          args.intAt(2, 600));
        return makeHolder(in, std::make_shared<ScriptWindow>(ScriptWindow{window, toolkit}),
                          "Window", bindMember<ScriptWindow, kWindowMethods>);
    });
    addMember(interp, module, "label", [](Interpreter& in, const NativeArgs& args) {
        return makeWidget(in, WidgetKind::Label, "Label", textOr(args, 0, ""));
    });
    addMember(interp, module, "button", [](Interpreter& in, const NativeArgs& args) {
        return makeWidget(in, WidgetKind::Button, "Button", textOr(args, 0, "Button"));
    });
    addMember(interp, module, "textBox", [](Interpreter& in, const NativeArgs& args) {
        return makeWidget(in, WidgetKind::TextBox, "TextBox", textOr(args, 0, ""));
    });
    addMember(interp, module, "vertical", [](Interpreter& in, const NativeArgs&) {
        return makeLayout(in, std::make_shared<VerticalLayout>(), "VerticalLayout");
    });
    addMember(interp, module, "horizontal", [](Interpreter& in, const NativeArgs&) {
        return makeLayout(in, std::make_shared<HorizontalLayout>(), "HorizontalLayout");
    });
    addMember(interp, module, "grid", [](Interpreter& in, const NativeArgs& args) {
        return makeLayout(in, std::make_shared<GridLayout>(args.intAt(0, 2), args.intAt(1, 2)),
                          "GridLayout");
    });
    addMember(interp, module, "messageBox", [toolkit](Interpreter&, const NativeArgs& args) {
        return Value::fromInt(toolkit->messageBox(textOr(args, 0, "Message"), textOr(args, 1, "")));
    });
    addMember(interp, module, "runScript", [](Interpreter& in, const NativeArgs& args) {
        runScript(in, std::string(args.stringAt(0)));
        return Value();
    });
    Value dialog =
        makeHolder(interp, toolkit, "FileDialog", bindMember<Toolkit, kFileDialogMethods>);
    setField(interp, module, "fileDialog", dialog);
}

} // namespace zarn::tavi
