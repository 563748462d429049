// Fixed places for the locals of a function, found once before its first
// call. Each parameter and each variable declared in the body gets a place of
// its own in the call's frame (Environment::openFrame), and every use of one
// is bound to that place, so reading it needs no search through scopes, and
// the body's blocks and loops need no scopes of their own.
//
// A body is laid out only when nothing in it closes over its locals or
// reaches them by name on its own: no lambda, nested function, class, `use`,
// declaration directly in a switch case (it would land in the scope around
// the switch), or string literal whose placeholders cannot be compiled ahead.
// It must also have at most maxPlaces locals. Code that runs by name where a call or a
// `new` of the body is made (a script run from there, field initialisers)
// sees the locals in scope at that site (see Environment::published).
#pragma once

#include "zarn/frontend/AST.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace zarn {

struct FrameLayout {
    uint8_t places = 0; // parameters first, in order, then the declarations
    std::vector<std::pair<IdentifierExpr*, uint8_t>> uses;
    std::vector<std::pair<VarDeclStmt*, uint8_t>> declarations;
    std::vector<std::pair<ForeachStmt*, uint8_t>> eachLoops; // the place of the variable
    std::vector<BlockStmt*> blocks;                          // run in the frame, without a scope
    std::vector<ForStmt*> loops;                             // the same
    // The locals in scope at each call and `new` of the body, one per name.
    struct Site {
        const SourceLocation* location; // the call's or the `new`'s own
        std::vector<std::pair<std::string_view, uint8_t>> visible;
        // Inside a loop or a block that declares: run with scopes of names,
        // the site would be in a scope of its own, below the function's.
        bool nested = false;
    };
    std::vector<Site> sites;
};

// Whether statements declare anything in the scope they run in. Blocks that
// do not are run in the enclosing scope: nothing could tell the difference.
bool definesNames(const std::vector<StmtPtr>& statements);

// Adds the expressions in a string literal's placeholders, compiled for good;
// false when they cannot be.
using PlaceholderSource = std::function<bool(LiteralExpr&, std::vector<Expression*>&)>;

// The layout of a function body, or nothing when it keeps its scopes. The
// names in placeholders are bound like any others.
std::optional<FrameLayout> layOutFrame(const std::vector<Parameter>& parameters, BlockStmt& body,
                                       size_t maxPlaces, const PlaceholderSource& placeholders);

} // namespace zarn
