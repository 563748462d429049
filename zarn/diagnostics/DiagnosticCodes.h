// Every diagnostic the language toolchain reports: its code and its message
// pattern, "{}" standing for each inserted value in order. Stages raise them
// with DiagnosticEngine::report, so a code and its wording live here only.
#pragma once

#include <string_view>

namespace zarn {

struct DiagnosticMessage {
    std::string_view code;
    std::string_view pattern;
};

// X(name, code, pattern), grouped by the stage that raises them.
#define ZARN_DIAGNOSTIC_MESSAGES(X)                                                                \
    /* lexer */                                                                                    \
    X(UnterminatedComment, "E0001", "unterminated multi-line comment")                             \
    X(UnexpectedCharacter, "E0002", "unexpected character '{}'")                                   \
    X(UnterminatedString, "E0003", "unterminated string literal")                                  \
    /* parser */                                                                                   \
    X(ExpectedBlockStart, "E1001", "expected '{' starting block")                                  \
    X(ExpectedBlockEnd, "E1001", "expected '}' ending block")                                      \
    X(ExpectedClassBodyStart, "E1001", "expected '{' after class name")                            \
    X(ExpectedClassBodyEnd, "E1001", "expected '}' closing class body")                            \
    X(ExpectedWhileAfterDo, "E1001", "expected 'while' after 'do' body")                           \
    X(ExpectedWhileConditionEnd, "E1001", "expected ')' after while condition")                    \
    X(ExpectedForOpen, "E1001", "expected '(' after 'for'")                                        \
    X(ExpectedForInitializerEnd, "E1001", "expected ';' after for-loop initializer")               \
    X(ExpectedForConditionEnd, "E1001", "expected ';' after for-loop condition")                   \
    X(ExpectedForClausesEnd, "E1001", "expected ')' after for-loop clauses")                       \
    X(ExpectedForeachColon, "E1001", "expected ':' after variable in 'foreach'")                   \
    X(ExpectedSwitchOpen, "E1001", "expected '(' after 'switch'")                                  \
    X(ExpectedSwitchValueEnd, "E1001", "expected ')' after switch value")                          \
    X(ExpectedSwitchBodyStart, "E1001", "expected '{' after switch header")                        \
    X(ExpectedCaseColon, "E1001", "expected ':' after case value")                                 \
    X(ExpectedDefaultColon, "E1001", "expected ':' after 'default'")                               \
    X(ExpectedSwitchBodyEnd, "E1001", "expected '}' closing switch block")                         \
    X(ExpectedParameterListStart, "E1001", "expected '(' for parameter list")                      \
    X(ExpectedParameterType, "E1001", "expected ':' and type for parameter '{}'")                  \
    X(ExpectedParameterListEnd, "E1001", "expected ')' after parameter list")                      \
    X(ExpectedArgumentsEnd, "E1001", "expected ')' after arguments")                               \
    X(ExpectedIndexEnd, "E1001", "expected ']' after index")                                       \
    X(ExpectedNewGenericEnd, "E1001", "expected '>' after generic type in 'new'")                  \
    X(ExpectedNewArgumentsStart, "E1001", "expected '(' after class name in 'new'")                \
    X(ExpectedNewArgumentsEnd, "E1001", "expected ')' after constructor arguments")                \
    X(ExpectedArrayLiteralEnd, "E1001", "expected ']' closing array literal")                      \
    X(ExpectedGroupEnd, "E1001", "expected ')' after expression")                                  \
    X(ExpectedGenericTypeEnd, "E1001", "expected '>' ending generic type")                         \
    X(ExpectedArrayTypeEnd, "E1001", "expected ']' in array type")                                 \
    X(ExpectedStatementEnd, "E1002", "expected newline or semicolon at end of statement")          \
    X(NestingTooDeep, "E1003", "nesting too deep (limit is {} levels)")                            \
    X(UnexpectedToken, "E0005", "unexpected token in expression: '{}'")                            \
    X(MissingVariableType, "E0010", "variable declaration missing explicit type annotation")       \
    X(ExpectedVariableName, "E0011", "expected variable name after 'let'")                         \
    X(ExpectedTypeName, "E0013",                                                                   \
      "expected type name (e.g. 'int', 'string', 'float', 'Boolean', or class name)")              \
    X(MissingReturnType, "E0020",                                                                  \
      "function '{}' must specify an explicit return type (e.g. ': void' or ': int')")             \
    X(ExpectedParameterName, "E0021", "expected parameter name")                                   \
    X(ExpectedFunctionName, "E0022", "expected function name after 'function'")                    \
    X(ExpectedClassName, "E0030", "expected class name")                                           \
    X(UnexpectedClassMember, "E0031",                                                              \
      "unexpected token in class declaration; expected field or method")                           \
    X(ExpectedLoopVariable, "E0040", "expected loop variable name in 'foreach'")                   \
    X(ExpectedCaseOrDefault, "E0041", "expected 'case' or 'default' in switch statement")          \
    X(ExpectedModuleName, "E0050", "expected module name after 'use'")                             \
    X(ExpectedMemberName, "E0060", "expected member name after '.'")                               \
    X(ExpectedNewClassName, "E0061", "expected class name after 'new'")                            \
    /* type checker */                                                                             \
    X(AssignTypeMismatch, "E0012",                                                                 \
      "type mismatch: cannot assign value of type '{}' to target of type '{}'")                    \
    X(DeclarationTypeMismatch, "E0012",                                                            \
      "type mismatch: cannot assign value of type '{}' to variable '{}' of type '{}'")             \
    X(UnknownTypeName, "E0014", "unknown type name '{}'")                                          \
    X(AlreadyDefined, "E0015", "variable '{}' is already defined in this scope")                   \
    X(ConditionNotBoolean, "E0016", "condition must be of type 'Boolean', found '{}'")             \
    X(WhileConditionNotBoolean, "E0016", "while condition must be of type 'Boolean'")              \
    X(UndefinedName, "E0017", "undefined variable or symbol '{}'")                                 \
    X(ReturnTypeMismatch, "E0023", "return type mismatch: expected '{}', found '{}'")              \
    X(CallOfNonFunctionType, "E0024", "cannot call non-function type '{}'")                        \
    X(BreakOutsideLoop, "E0042", "'break' statement outside of loop or switch")                    \
    X(ContinueOutsideLoop, "E0043", "'continue' statement outside of loop")                        \
    /* type checker and interpreter */                                                             \
    X(ModuleNotFound, "E0051", "module '{}' does not exist")                                       \
    X(ModuleUnreadable, "E0051", "could not read module file '{}'")                                \
    /* interpreter */                                                                              \
    X(CallOfNonCallableValue, "E0024", "cannot call non-callable value")                           \
    X(ObjectNotCallable, "E0024", "object is not callable")                                        \
    X(ScriptNotFound, "E0051", "script file '{}' not found")                                       \
    X(ScriptUnreadable, "E0051", "could not read script file '{}'")                                \
    X(RuntimeError, "E9000", "Runtime error: {}")                                                  \
    X(AssertionFailure, "E9001", "Assertion failure: {}")                                          \
    X(Panic, "E9002", "Panic: {}")

namespace diag {
#define ZARN_DEFINE_MESSAGE(name, code, pattern)                                                   \
    inline constexpr DiagnosticMessage name{code, pattern};
ZARN_DIAGNOSTIC_MESSAGES(ZARN_DEFINE_MESSAGE)
#undef ZARN_DEFINE_MESSAGE

// Every message above, in the order listed.
inline constexpr DiagnosticMessage kAll[] = {
#define ZARN_LIST_MESSAGE(name, code, pattern) name,
    ZARN_DIAGNOSTIC_MESSAGES(ZARN_LIST_MESSAGE)
#undef ZARN_LIST_MESSAGE
};
} // namespace diag

// The number of "{}" in a pattern.
constexpr size_t placeholderCount(std::string_view pattern) {
    size_t count = 0;
    for (size_t at = pattern.find("{}"); at != std::string_view::npos;
         at = pattern.find("{}", at + 2))
        ++count;
    return count;
}

} // namespace zarn
