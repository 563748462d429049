// What the interpreter knows of a declared class: its field and method
// names and the declaration that holds their nodes.
#pragma once

#include "zarn/frontend/AST.h"
#include "zarn/runtime/NameTable.h"
#include "zarn/runtime/Object.h"

#include <memory>
#include <vector>

namespace zarn {

// Class information kept in the class table; never freed while the
// interpreter lives, so instances may point at it.
struct ClassInfo {
    NameId name = kNoName;
    // The declaration, owned by its program, which the interpreter keeps for
    // the whole run.
    NodeRef<ClassDeclStmt> declaration;
    std::vector<NameId> fieldNames; // as declared, a name may repeat
    // The slot of each declared field in the instances' layout: a repeated
    // name shares the slot of its first declaration.
    std::vector<uint32_t> fieldSlots;
    InstanceLayout layout;
    std::vector<NameId> methodNames;
    // No method shares its name with "this", a parameter of a method or
    // another method, so method scopes may define the methods lazily.
    bool lazyMethods = false;
    // A field initializer may read a variable: a `new` made in a frame then
    // lets the initializers see the frame's locals (Environment::publish).
    bool initializersReadNames = false;
    bool hasField(NameId field) const {
        for (NameId name : fieldNames)
            if (name == field) return true;
        return false;
    }
    // The method with that name, or null.
    FunctionDeclStmt* findMethod(NameId method) const {
        for (size_t i = 0; i < methodNames.size(); ++i)
            if (methodNames[i] == method) return declaration->methods[i].get();
        return nullptr;
    }
};

} // namespace zarn
