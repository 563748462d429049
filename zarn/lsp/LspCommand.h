// `zarn lsp`: the language server over standard input and output.
#pragma once

#include "zarn/diagnostics/DiagnosticEngine.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zarn::lsp {

// Formats a whole source text; nullopt when it has syntax errors (reported
// into the engine). Given by whoever starts the server.
using Formatter = std::function<std::optional<std::string>(
    std::string_view text, const std::string& path, DiagnosticEngine& diagnostics)>;

// Serves until the client's exit (or the end of the input) and returns the
// exit status: 0 after an orderly shutdown and exit, 1 otherwise. An empty
// formatter answers every formatting request with no edits.
int runLanguageServer(Formatter formatter);

} // namespace zarn::lsp
