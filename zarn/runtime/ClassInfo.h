// What the interpreter knows of a declared class: its field and method
// names and the declaration that holds their nodes.
#pragma once

#include "zarn/frontend/AST.h"
#include "zarn/runtime/NameTable.h"

#include <memory>
#include <vector>

namespace zarn {

// Class information kept in the class table; never freed while the
// interpreter lives, so instances may point at it.
struct ClassInfo {
    NameId name = kNoName;
    std::shared_ptr<ClassDeclStmt> declaration; // keeps fields and methods alive
    std::vector<NameId> fieldNames;
    std::vector<NameId> methodNames;
    // No method shares its name with "this", a parameter of a method or
    // another method, so method scopes may define the methods lazily.
    bool lazyMethods = false;
    // No two field declarations share a name: a new instance appends them.
    bool distinctFields = false;
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
