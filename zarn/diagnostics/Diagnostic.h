// One reported problem: severity, code, message, location and notes.
#pragma once

#include "zarn/diagnostics/SourceLocation.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zarn {

enum class Severity : int32_t { Error = 0, Warning = 1, Note = 2, Help = 3 };

// A note is a (label, text) pair; the labels "help" and "" render specially.
using DiagnosticNote = std::pair<std::string, std::string>;

struct Diagnostic {
    Severity severity = Severity::Error;
    std::string code;
    std::string message;
    SourceLocation location;
    std::vector<DiagnosticNote> notes;
};

} // namespace zarn
