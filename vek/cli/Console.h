// Everything vek prints: status lines, debug lines, plain error lines and
// rendered errors, with the verbosity and JSON mode of the current command.
// Colour codes are used only on streams that are terminals.
#pragma once

#include <ostream>
#include <string_view>

#include "vek/base/VekException.h"

namespace vek {

class Console {
public:
    Console(std::ostream& out, std::ostream& err, bool colorOut, bool colorErr)
        : out_(out), err_(err), colorOut_(colorOut), colorErr_(colorErr) {}

    void setVerbosity(int verbosity) { verbosity_ = verbosity; }
    void setJson(bool json) { json_ = json; }
    int verbosity() const { return verbosity_; }
    bool json() const { return json_; }

    std::ostream& out() { return out_; }
    std::ostream& err() { return err_; }
    bool errIsTerminal() const { return colorErr_; }

    // "<verb> <message>", the verb green (or cyan) on a terminal; nothing in
    // JSON mode.
    void status(std::string_view verb, std::string_view message);
    void statusCyan(std::string_view verb, std::string_view message);
    // "  [DEBUG] <text>" at verbosity 2 and above, never in JSON mode.
    void debug(std::string_view text);
    // "warning: <text>" on the error stream.
    void warning(std::string_view text);
    // "error: <text>" on the error stream.
    void errorLine(std::string_view text);
    // The error block of an exception on the error stream, never coloured.
    void render(const VekException& error);

private:
    void statusLine(const char* color, std::string_view verb, std::string_view message);
    // "<label>: <text>" on the error stream, the label coloured on a terminal.
    void labelLine(const char* color, std::string_view label, std::string_view text);

    std::ostream& out_;
    std::ostream& err_;
    bool colorOut_;
    bool colorErr_;
    int verbosity_ = 0;
    bool json_ = false;
};

// Whether the standard output / error stream is a terminal.
bool stdoutIsTerminal();
bool stderrIsTerminal();

} // namespace vek
