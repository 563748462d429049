#include "zarn/repl/EntryText.h"

#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/frontend/Lexer.h"

#include <string>

namespace zarn {

// Lines end in "\n", which a backslash in a string escapes and which cannot
// be half of "*/": what is open at the end of a line is a string or a comment,
// never half an escape or half a delimiter.
bool EntryScanner::closeOpen(std::string_view line, size_t& from) {
    if (open_ == Open::String) {
        // The lexer's rule: a backslash takes the byte after it, a quote ends the string.
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\\') ++i;
            else if (line[i] == '"') {
                from = i + 1;
                open_ = Open::Nothing;
                return true;
            }
        }
        return false;
    }
    if (open_ == Open::Comment) {
        size_t end = line.find("*/");
        if (end == std::string_view::npos) return false;
        from = end + 2;
        open_ = Open::Nothing;
    }
    return true;
}

EntryState EntryScanner::addLine(std::string_view line) {
    size_t from = 0;
    if (!surplus_ && !closeOpen(line, from)) return EntryState::Incomplete;
    if (!surplus_ && from < line.size()) {
        // The language's own lexer decides what is a string or a comment, so
        // brackets inside them do not count.
        DiagnosticEngine scratch;
        Lexer lexer(std::string(line.substr(from)), std::string(), scratch);
        std::vector<Token> tokens = lexer.tokenize();
        for (const Token& token : tokens) {
            switch (token.type) {
            case TokenType::Newline:
            case TokenType::EndOfFile: continue;
            case TokenType::LeftParen:
            case TokenType::LeftBrace:
            case TokenType::LeftBracket: ++depth_; break;
            case TokenType::RightParen:
            case TokenType::RightBrace:
            case TokenType::RightBracket:
                // A surplus closing bracket is an error for the parser to
                // report now, not a reason to wait for more lines.
                if (--depth_ < 0) surplus_ = true;
                break;
            default: break;
            }
            empty_ = false;
        }
        for (const Diagnostic& diagnostic : scratch.diagnostics()) {
            if (diagnostic.code == diag::UnterminatedString.code) open_ = Open::String;
            else if (diagnostic.code == diag::UnterminatedComment.code) open_ = Open::Comment;
        }
        if (open_ == Open::String) empty_ = false;
    }
    if (surplus_) return EntryState::Complete;
    if (open_ != Open::Nothing || depth_ > 0) return EntryState::Incomplete;
    return empty_ ? EntryState::Empty : EntryState::Complete;
}

} // namespace zarn
