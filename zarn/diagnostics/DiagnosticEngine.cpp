#include "zarn/diagnostics/DiagnosticEngine.h"

#include "zarn/diagnostics/Assert.h"

#include <algorithm>
#include <ostream>
#include <string_view>

namespace zarn {

namespace {

const char* severityWord(Severity severity) {
    switch (severity) {
    case Severity::Warning: return "warning";
    case Severity::Note: return "note";
    case Severity::Help: return "help";
    default: return "error";
    }
}

// Line `line` (1-based) of a source, split at "\n" only. Line 0 or a line
// past the end gives the empty text; a last line without "\n" is still found.
std::string_view lineOf(std::string_view text, const std::vector<size_t>& lineStarts,
                        uint64_t line) {
    if (line == 0 || line > lineStarts.size()) return {};
    size_t start = lineStarts[line - 1];
    if (start >= text.size()) return {};
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    return text.substr(start, end - start);
}

// Lines longer than this are quoted as a window of this many bytes around the
// caret: a diagnostic on a line of a megabyte must not quote all of it.
constexpr size_t kMaxQuotedColumns = 200;

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Appends the window of a long line around the location's column, with "..."
// where the line was cut, then the caret line under it (as many carets as the
// location's length, at least one).
void appendExcerptWindow(std::string& out, std::string_view line, uint32_t column,
                         uint32_t locationLength) {
    const size_t caret =
        static_cast<size_t>(std::min<uint64_t>(column > 0 ? column - 1 : 0, line.size()));
    size_t start = caret > kMaxQuotedColumns / 2 ? caret - kMaxQuotedColumns / 2 : 0;
    start = std::min(start, line.size() - kMaxQuotedColumns);
    size_t end = start + kMaxQuotedColumns;
    // Cut between characters, not inside a UTF-8 sequence.
    while (start > 0 && start < caret && isContinuationByte(line[start])) ++start;
    while (end < line.size() && end > caret && isContinuationByte(line[end])) --end;
    const std::string_view window = line.substr(start, end - start);
    const std::string_view lead = start > 0 ? "..." : "";
    out += lead;
    out += window;
    if (end < line.size()) out += "...";
    out += "\n   | ";
    out.append(lead.size(), ' ');
    for (size_t i = start; i < caret; ++i) out += line[i] == '\t' ? '\t' : ' ';
    const uint64_t length = locationLength == 0 ? 1 : locationLength;
    out.append(static_cast<size_t>(std::min<uint64_t>(length, kMaxQuotedColumns)), '^');
}

} // namespace

void DiagnosticEngine::registerSource(const std::string& file, const std::string& text) {
    registerSource(file, std::make_shared<const std::string>(text));
}

void DiagnosticEngine::registerSource(const std::string& file,
                                      std::shared_ptr<const std::string> text) {
    Source& source = sources_[file];
    source.text = std::move(text);
    source.lineStarts.clear();
}

// The line starts are indexed once, when the first diagnostic of the file is
// rendered: a text that checks clean never pays for the index, and rendering
// many diagnostics of a big file does not scan it from the top for each one.
const std::vector<size_t>& DiagnosticEngine::lineStartsOf(const Source& source) {
    if (source.lineStarts.empty()) {
        const std::string& bytes = *source.text;
        source.lineStarts.push_back(0);
        for (size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1))
            source.lineStarts.push_back(at + 1);
    }
    return source.lineStarts;
}

void DiagnosticEngine::error(const std::string& code, const std::string& message,
                             const SourceLocation& location,
                             const std::vector<DiagnosticNote>& notes) {
    hasErrors_ = true;
    if (diagnostics_.size() >= retainLimit_) {
        ++dropped_;
        return;
    }
    diagnostics_.push_back(Diagnostic{Severity::Error, code, message, location, notes});
}

void DiagnosticEngine::takeDiagnostics(DiagnosticEngine& other) {
    for (Diagnostic& diagnostic : other.diagnostics_) {
        hasErrors_ = true;
        if (diagnostics_.size() >= retainLimit_) {
            ++dropped_;
            continue;
        }
        diagnostics_.push_back(std::move(diagnostic));
    }
    dropped_ += other.dropped_;
    hasErrors_ = hasErrors_ || other.hasErrors_;
    other.diagnostics_.clear();
    other.dropped_ = 0;
    other.hasErrors_ = false;
}

void DiagnosticEngine::report(const DiagnosticMessage& message, const SourceLocation& location,
                              std::initializer_list<std::string_view> values,
                              const std::vector<DiagnosticNote>& notes) {
    error(std::string(message.code), format(message, values), location, notes);
}

std::string DiagnosticEngine::format(const DiagnosticMessage& message,
                                     std::initializer_list<std::string_view> values) {
    ZARN_ASSERT(values.size() == placeholderCount(message.pattern),
                "a message gets one value for each placeholder");
    std::string text;
    std::string_view rest = message.pattern;
    for (std::string_view value : values) {
        size_t at = rest.find("{}");
        if (at == std::string_view::npos) break;
        text.append(rest.substr(0, at)).append(value);
        rest.remove_prefix(at + 2);
    }
    text.append(rest);
    return text;
}

std::string DiagnosticEngine::render(const Diagnostic& d) const {
    std::string out = severityWord(d.severity);
    out += d.code.empty() ? ": " : "[" + d.code + "]: ";
    out += d.message;
    const auto [line, column] = d.location.file.lineAndColumn(d.location.offset);
    out += "\n  --> " + d.location.file + ":" + std::to_string(line) + ":" +
           std::to_string(column) + "\n";
    out += "   |\n";

    auto source = sources_.find(d.location.file);
    if (source != sources_.end()) {
        std::string_view text = lineOf(*source->second.text, lineStartsOf(source->second), line);
        std::string number = std::to_string(line);
        if (number.size() < 2) number.insert(0, 2 - number.size(), ' ');
        out += number + " | ";
        if (text.size() > kMaxQuotedColumns) {
            appendExcerptWindow(out, text, column, d.location.length);
        } else {
            out += text;
            out += "\n   | ";
            // Copy tabs from the line so the caret lines up under tab-indented code.
            for (uint64_t i = 0; column > 1 && i < column - 1; ++i)
                out += (i < text.size() && text[i] == '\t') ? '\t' : ' ';
            out.append(d.location.length == 0 ? 1 : d.location.length, '^');
        }
        out += "\n";
    }

    for (const auto& [label, text] : d.notes) {
        if (label.empty()) {
            out += "   = note: " + text + "\n";
        } else if (label == "help") {
            out += "   |\n   = help: " + text + "\n";
        } else {
            out += "   = " + label + ": " + text + "\n";
        }
    }
    return out;
}

void DiagnosticEngine::printAll(std::ostream& out) const {
    // Each block quotes its source line, so thousands of errors on one long
    // line would print gigabytes; past the limit only a count is printed.
    size_t shown = std::min(diagnostics_.size(), kMaxPrintedDiagnostics);
    for (size_t i = 0; i < shown; ++i) out << render(diagnostics_[i]) << "\n";
    if (count() > shown) out << "error: " << count() - shown << " more errors not shown\n";
}

} // namespace zarn
