// The source formatter: lays a Zarn source text out in the one house style
// (4-space indents, one statement per line, braces on the line of their
// header, spaces around binary operators, long lists one element per line)
// while keeping every token and every comment where it was.
#pragma once

#include "zarn/diagnostics/DiagnosticEngine.h"

#include <optional>
#include <string>
#include <string_view>

namespace zarn {

// The formatted text, or nullopt when the text has lexical or syntax errors;
// those are then reported to `diagnostics` under `path` (errors it held
// before do not count). The result always lexes to the same tokens and
// comments as `text` and parses without errors; should the layout ever fail
// that check, `text` itself is returned.
std::optional<std::string> formatSource(std::string_view text, const std::string& path,
                                        DiagnosticEngine& diagnostics);

namespace format_detail {

// Lines at most this long, where line breaks are the formatter's to choose.
constexpr size_t kLineWidth = 100;

// The layout alone, without the final check. `text` must lex and parse
// without errors. Returns nullopt when the tokens do not pair up.
std::optional<std::string> layOut(std::string_view text);

// Whether both texts lex to the same tokens (line ends aside) with the same
// comments in the same order. Each text must lex without errors.
bool sameTokensAndComments(std::string_view original, std::string_view formatted);

} // namespace format_detail

} // namespace zarn
