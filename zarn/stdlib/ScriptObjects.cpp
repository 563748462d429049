#include "zarn/stdlib/ScriptObjects.h"

namespace zarn::stdlib {

ClassInstanceObject* makeInstance(Interpreter& interp, std::string_view className) {
    NameId name = interp.symbols().intern(className);
    return interp.gc().allocate<ClassInstanceObject>(name, &interp.symbols().name(name));
}

Value makeStringArray(Interpreter& interp, const std::vector<std::string>& texts) {
    // Every new string stays rooted until the array that holds them exists.
    Interpreter::RootScope roots(interp);
    std::vector<Value> elements;
    elements.reserve(texts.size());
    for (const auto& text : texts) {
        Value element = interp.makeString(text);
        roots.push(element);
        elements.push_back(element);
    }
    return interp.makeArray(std::move(elements));
}

} // namespace zarn::stdlib
