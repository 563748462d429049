// Collects the diagnostics of one pipeline run and renders them with source excerpts.
#pragma once

#include "zarn/diagnostics/Diagnostic.h"
#include "zarn/diagnostics/DiagnosticCodes.h"

#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zarn {

class DiagnosticEngine {
public:
    // Stores (or replaces) the text of a file so that excerpts can quote it.
    void registerSource(const std::string& file, const std::string& text);
    // The same without a copy: the engine shares the text with the caller.
    void registerSource(const std::string& file, std::shared_ptr<const std::string> text);

    // The only reporting operation: appends an error and remembers that one was seen.
    void error(const std::string& code, const std::string& message, const SourceLocation& location,
               const std::vector<DiagnosticNote>& notes = {});

    // Reports a message of DiagnosticCodes.h with its values inserted in order.
    void report(const DiagnosticMessage& message, const SourceLocation& location,
                std::initializer_list<std::string_view> values = {},
                const std::vector<DiagnosticNote>& notes = {});
    // The text of a message with its values inserted in order.
    static std::string format(const DiagnosticMessage& message,
                              std::initializer_list<std::string_view> values);

    bool hasErrors() const { return hasErrors_; }
    // Forgets every reported diagnostic and the error flag; the registered
    // sources stay. An interactive session reports each of its entries afresh.
    void clearDiagnostics() {
        diagnostics_.clear();
        dropped_ = 0;
        hasErrors_ = false;
    }
    // The diagnostics kept, in report order: all of them unless a limit is set.
    const std::vector<Diagnostic>& diagnostics() const { return diagnostics_; }
    // Every diagnostic reported, kept or not.
    size_t count() const { return diagnostics_.size() + dropped_; }

    // Keeps at most `limit` diagnostics; later ones are only counted. A text
    // full of errors then costs a counter instead of a record per error.
    void setRetainLimit(size_t limit) { retainLimit_ = limit; }
    size_t retainLimit() const { return retainLimit_; }
    static constexpr size_t kRetainAll = static_cast<size_t>(-1);

    // Appends the diagnostics of `other` after this engine's own, in their
    // order (those it only counted are counted here), and empties it.
    void takeDiagnostics(DiagnosticEngine& other);

    // The text block of one diagnostic, every line ending in "\n".
    std::string render(const Diagnostic& diagnostic) const;

    // Every diagnostic in report order, each block followed by an empty line.
    // At most kMaxPrintedDiagnostics blocks are printed, then one line counting the rest.
    void printAll(std::ostream& out) const;
    static constexpr size_t kMaxPrintedDiagnostics = 1000;

private:
    struct Source {
        std::shared_ptr<const std::string> text;
        // Offset of the first byte of each line; empty until first needed.
        mutable std::vector<size_t> lineStarts;
    };
    static const std::vector<size_t>& lineStartsOf(const Source& source);

    std::unordered_map<std::string, Source> sources_;
    std::vector<Diagnostic> diagnostics_;
    size_t dropped_ = 0;
    size_t retainLimit_ = kRetainAll;
    bool hasErrors_ = false;
};

} // namespace zarn
