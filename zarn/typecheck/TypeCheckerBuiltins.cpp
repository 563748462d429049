// The checker's knowledge of the native library: the global functions, the
// members of each built-in module and its classes, and the built-in methods of
// strings and arrays. Signatures are written the way a script would spell
// them and turned into types when a module is declared.
#include "zarn/typecheck/TypeChecker.h"

#include <string_view>

namespace zarn {

namespace {

struct ClassSignatures {
    const char* name;
    std::vector<const char*>
        members; // "name(param, ...): result", or "name: type" for a data member
};

struct ModuleSpec {
    const char* name;
    std::vector<ClassSignatures> classes;
    std::vector<const char*> members;
};

const std::vector<const char*>& globalSignatures() {
    static const std::vector<const char*> signatures = {
        "print(any): void",
        "println(any): void",
        "input(string): string",
        "input_int(string): int",
        "input_float(string): float",
        "typeof(any): string",
        "sizeof(any): int",
        "min(any, any): any",
        "max(any, any): any",
        "abs(any): any",
        "assert(Boolean, string): void",
        "panic(string): void",
        "List(): any[]",
    };
    return signatures;
}

// The built-in modules, in the order `use` tests their names.
const std::vector<ModuleSpec>& moduleSpecs() {
    static const std::vector<ModuleSpec> modules = {
        {"tavi",
         {
             {"Application", {"run(): void", "quit(): void"}},
             {"Window",
              {"show(): void", "hide(): void", "close(): void", "center(): void",
               "setTitle(string): void", "setSize(int, int): void", "setMinSize(int, int): void",
               "setResizable(Boolean): void", "add(any): void", "setLayout(any): void"}},
             {"Label",
              {"setText(string): void", "getText(): string", "setFont(string, int): void",
               "setForeground(string): void"}},
             {"Button",
              {"onClick(any): void", "setText(string): void", "setWidth(int): void",
               "setHeight(int): void", "setFont(string, int): void", "setBackground(string): void",
               "setForeground(string): void"}},
             // onChange is declared although no widget answers it at run time.
             {"TextBox",
              {"getText(): string", "setText(string): void", "onInput(any): void",
               "onChange(any): void"}},
             {"VerticalLayout", {"add(any): void"}},
             {"HorizontalLayout", {"add(any): void"}},
             {"GridLayout", {"add(any, int, int): void"}},
             {"FileDialog", {"open(): string"}},
             {"MessageBoxResult", {}},
         },
         {"application(string): Application", "window(string, int, int): Window",
          "label(string): Label", "button(string): Button", "textBox(string): TextBox",
          "vertical(): VerticalLayout", "horizontal(): HorizontalLayout",
          "grid(int, int): GridLayout",
          // The button code (1 OK, 2 Cancel, 0 on failure) is what a script gets.
          "messageBox(string, string): int", "runScript(string): void",
          // An object with an `open` method rather than a function.
          "fileDialog: FileDialog"}},
        {"math",
         {},
         {"sqrt(float): float", "sin(float): float", "cos(float): float", "tan(float): float",
          "floor(float): float", "ceil(float): float", "round(float): float",
          "pow(float, float): float"}},
        {"filesystem",
         {},
         {"readFile(string): string", "writeFile(string, string): Boolean",
          "fileExists(string): Boolean"}},
        {"time",
         {},
         {"now(): int",
          "nowSeconds(): int",
          "nowMicro(): int",
          "nowNano(): int",
          "ticks(): int",
          "elapsed(int): int",
          "format(int, string): string",
          "iso(): string",
          "localString(): string",
          "year(int): int",
          "month(int): int",
          "day(int): int",
          "hour(int): int",
          "minute(int): int",
          "second(int): int",
          "dayOfWeek(int): int",
          "dayOfYear(int): int",
          "date(int, int, int, int, int, int): int",
          "isLeapYear(int): Boolean",
          "daysInMonth(int, int): int",
          "timeZoneOffset(): int",
          "sleep(int): void",
          "sleepSeconds(float): void",
          "measure(any): int"}},
        {"random", {}, {"nextInt(int, int): int", "nextFloat(): float"}},
        {"gc", {}, {"collect(): int", "allocatedBytes(): int", "objectCount(): int"}},
        {"os",
         {},
         {"name(): string", "architecture(): string", "hostname(): string",
          "currentDirectory(): string", "homeDirectory(): string", "getEnv(string): string",
          "setEnv(string, string): void"}},
        {"process",
         {},
         {"execute(string): int", "spawn(string): int", "exit(int): void", "pid(): int",
          "arguments(): string[]"}},
        {"url",
         {
             {"URL",
              {"getParam(string): string", "setParam(string, string): void", "toString(): string"}},
             {"URLSearchParams",
              {"get(string): string", "has(string): Boolean", "set(string, string): void",
               "delete(string): void", "keys(): string[]", "values(): string[]",
               "toString(): string"}},
         },
         // format is declared although the module object has no such member.
         {"parse(string): URL", "encode(string): string", "decode(string): string",
          "encodeURI(string): string", "decodeURI(string): string",
          "searchParams(string): URLSearchParams", "format(URL): string"}},
        {"net",
         {
             {"Socket",
              {"connect(string, int): Boolean", "bind(string, int): Boolean",
               "listen(int): Boolean", "accept(): Socket", "send(string): int",
               "receive(int): string", "sendTo(string, string, int): int",
               "receiveFrom(int): UDPPacket", "close(): void", "setNonBlocking(Boolean): Boolean",
               "setTimeout(int): void", "getRemoteAddress(): string", "getRemotePort(): int",
               "getLocalAddress(): string", "getLocalPort(): int", "isOpen(): Boolean"}},
             {"TCPConnection",
              {"write(string): int", "read(int): string", "readLine(): string", "close(): void",
               "isOpen(): Boolean", "getRemoteAddress(): string", "getRemotePort(): int"}},
             {"TCPServer",
              {"accept(): TCPConnection", "close(): void", "port(): int", "address(): string",
               "isOpen(): Boolean"}},
             {"UDPSocket",
              {"bind(string, int): Boolean", "sendTo(string, string, int): int",
               "receiveFrom(int): UDPPacket", "close(): void", "isOpen(): Boolean", "port(): int",
               "address(): string"}},
             {"UDPPacket", {"getData(): string", "getAddress(): string", "getPort(): int"}},
         },
         {"resolve(string): string", "lookup(string): string[]", "socket(string, string): Socket",
          "tcpConnect(string, int): TCPConnection", "tcpListen(string, int): TCPServer",
          "udp(): UDPSocket"}},
        {"http",
         {
             {"HttpHeaders",
              {"get(string): string", "set(string, string): void", "has(string): Boolean",
               "delete(string): void", "keys(): string[]"}},
             {"HttpCookies",
              {"get(string): string", "set(string, string): void", "has(string): Boolean",
               "delete(string): void", "keys(): string[]"}},
             {"Request",
              {"getMethod(): string", "getUrl(): string", "getPath(): string", "getQuery(): string",
               "getBody(): string", "getHeader(string): string", "hasHeader(string): Boolean",
               "getCookie(string): string", "hasCookie(string): Boolean",
               "getParam(string): string"}},
             {"Response",
              {"getStatusCode(): int", "getStatusText(): string", "getBody(): string",
               "text(): string", "getHeader(string): string", "getCookie(string): string",
               "status(int): Response", "setHeader(string, string): Response",
               "setCookie(string, string): Response", "send(string): void", "json(string): void",
               "html(string): void"}},
             {"HttpClient",
              {"get(string): Response", "post(string, string): Response",
               "put(string, string): Response", "delete(string): Response",
               "request(string, string, string): Response", "setTimeout(int): void",
               "setHeader(string, string): void"}},
             {"HttpServer",
              {"get(string, any): void", "post(string, any): void", "put(string, any): void",
               "delete(string, any): void", "route(string, string, any): void",
               "listen(any, any, any): Boolean", "serve(): void", "run(): void",
               "handleNext(int): Boolean", "close(): void", "port(): int", "isOpen(): Boolean"}},
         },
         {"get(string): Response", "post(string, string): Response",
          "put(string, string): Response", "delete(string): Response",
          "request(string, string, string): Response", "client(): HttpClient",
          "server(): HttpServer", "headers(): HttpHeaders", "cookies(): HttpCookies"}},
    };
    return modules;
}

using ClassMap = std::unordered_map<std::string, TypeRef<ClassType>>;

std::string_view trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// A type as the tables spell it: a primitive, a class of the module, or either followed by "[]".
TypePtr tableType(std::string_view name, const ClassMap& classes) {
    if (name.size() > 2 && name.substr(name.size() - 2) == "[]")
        return makeArrayType(tableType(name.substr(0, name.size() - 2), classes));
    if (name == "int") return intType();
    if (name == "float") return floatType();
    if (name == "string") return stringType();
    if (name == "Boolean") return booleanType();
    if (name == "void") return voidType();
    if (name == "any") return anyType();
    if (auto it = classes.find(std::string(name)); it != classes.end()) return it->second;
    return anyType();
}

struct Member {
    std::string name;
    TypePtr type;
    bool isData = false;
};

// "name(a, b): result" becomes a method with a function type; "name: type" a data member.
Member parseMember(std::string_view signature, const ClassMap& classes) {
    size_t open = signature.find('(');
    if (open == std::string_view::npos) {
        size_t colon = signature.find(':');
        return Member{std::string(trim(signature.substr(0, colon))),
                      tableType(trim(signature.substr(colon + 1)), classes), true};
    }
    size_t close = signature.find(')', open);
    std::vector<TypePtr> params;
    std::string_view list = signature.substr(open + 1, close - open - 1);
    while (!trim(list).empty()) {
        size_t comma = list.find(',');
        params.push_back(tableType(trim(list.substr(0, comma)), classes));
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    std::string_view result = trim(signature.substr(signature.find(':', close) + 1));
    return Member{std::string(signature.substr(0, open)),
                  makeFunctionType(tableType(result, classes), std::move(params)), false};
}

void addMember(ClassType& owner, const Member& member) {
    if (member.isData) owner.addField(member.name, member.type);
    else owner.addMethod(member.name, member.type);
}

} // namespace

void TypeChecker::registerBuiltins() {
    const ClassMap none;
    for (const char* signature : globalSignatures()) {
        Member member = parseMember(signature, none);
        current_->define(SymbolKind::Function, member.name, member.type);
    }
    declareModule("math", SourceLocation{});
}

bool TypeChecker::declareBuiltinModule(const std::string& name, const SourceLocation& location) {
    (void)location;
    for (const ModuleSpec& module : moduleSpecs()) {
        if (name != module.name) continue;
        // All class types first: methods may return classes listed after them.
        ClassMap classes;
        for (const ClassSignatures& signature : module.classes)
            classes.emplace(signature.name, newClassType(signature.name));
        for (const ClassSignatures& signature : module.classes) {
            const auto& classType = classes.at(signature.name);
            for (const char* member : signature.members)
                addMember(*classType, parseMember(member, classes));
            current_->define(SymbolKind::Class, signature.name, classType);
        }
        auto moduleType = newClassType(module.name);
        for (const char* member : module.members)
            addMember(*moduleType, parseMember(member, classes));
        current_->define(SymbolKind::Module, module.name, moduleType);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Members of strings, arrays, classes and modules

namespace {

const std::unordered_map<std::string, TypePtr>& stringMethods() {
    static const std::unordered_map<std::string, TypePtr> methods = [] {
        const ClassMap none;
        std::unordered_map<std::string, TypePtr> table;
        for (const char* signature :
             {"length(): int", "substring(int, int): string", "contains(string): Boolean",
              "startsWith(string): Boolean", "endsWith(string): Boolean",
              "replace(string, string): string", "split(string): string[]", "trim(): string",
              "toUpper(): string", "toLower(): string"}) {
            Member member = parseMember(signature, none);
            table.emplace(std::move(member.name), std::move(member.type));
        }
        return table;
    }();
    return methods;
}

TypePtr arrayMethod(const ArrayType& array, std::string_view name) {
    static const TypePtr sizeType = makeFunctionType(intType(), {});
    static const TypePtr clearType = makeFunctionType(voidType(), {});
    if (name == "size" || name == "length") return sizeType;
    if (name == "clear") return clearType;
    if (name == "add" || name == "push") return makeFunctionType(voidType(), {array.elementType});
    if (name == "pop") return makeFunctionType(array.elementType, {});
    return nullptr;
}

} // namespace

TypePtr TypeChecker::memberType(const TypePtr& objectType, const std::string& member) {
    TypePtr found;
    if (const ClassType* classType = asClass(objectType)) {
        found = classType->field(member);
        if (!found) found = classType->method(member);
    } else if (const ArrayType* array = asArray(objectType)) {
        found = arrayMethod(*array, member);
    } else if (objectType && objectType->is(TypeKind::String)) {
        const auto& methods = stringMethods();
        if (auto it = methods.find(member); it != methods.end()) found = it->second;
    }
    // Members the checker does not know are any, like every other receiver.
    return found ? found : anyType();
}

std::vector<std::pair<std::string, TypePtr>>
TypeChecker::knownMembers(const TypePtr& objectType) const {
    std::vector<std::pair<std::string, TypePtr>> members;
    if (const ClassType* classType = asClass(objectType)) {
        for (const auto& [name, type] : classType->fields()) members.emplace_back(name, type);
        for (const auto& [name, type] : classType->methods())
            if (!classType->field(name)) members.emplace_back(name, type);
    } else if (const ArrayType* array = asArray(objectType)) {
        for (const char* name : {"add", "push", "size", "length", "clear", "pop"})
            members.emplace_back(name, arrayMethod(*array, name));
    } else if (objectType && objectType->is(TypeKind::String)) {
        for (const auto& [name, type] : stringMethods()) members.emplace_back(name, type);
    }
    return members;
}

} // namespace zarn
