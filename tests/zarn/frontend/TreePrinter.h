// Test helper: a one-line S-expression form of a syntax tree, so that parser
// tests can state the expected shape of a whole tree in one string.
#pragma once

#include "zarn/frontend/AST.h"

#include <string>

namespace zarn::testing {

// (Program (Var x int (Int 5)) ...); an empty child prints as "_".
std::string printTree(ASTNode* node);

} // namespace zarn::testing
