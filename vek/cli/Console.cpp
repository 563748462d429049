#include "vek/cli/Console.h"

#include <unistd.h>

namespace vek {

void Console::statusLine(const char* color, std::string_view verb, std::string_view message) {
    if (json_) return;
    if (colorOut_) {
        out_ << color << verb << "\x1b[0m " << message << '\n';
    } else {
        out_ << verb << ' ' << message << '\n';
    }
}

void Console::status(std::string_view verb, std::string_view message) {
    statusLine("\x1b[1;32m", verb, message);
}

void Console::statusCyan(std::string_view verb, std::string_view message) {
    statusLine("\x1b[1;36m", verb, message);
}

void Console::debug(std::string_view text) {
    if (verbosity_ >= 2 && !json_) out_ << "  [DEBUG] " << text << '\n';
}

void Console::labelLine(const char* color, std::string_view label, std::string_view text) {
    out_.flush();
    if (colorErr_) {
        err_ << color << label << "\x1b[0m: " << text << '\n';
    } else {
        err_ << label << ": " << text << '\n';
    }
}

void Console::warning(std::string_view text) { labelLine("\x1b[1;33m", "warning", text); }

void Console::errorLine(std::string_view text) { labelLine("\x1b[1;31m", "error", text); }

void Console::render(const VekException& error) {
    out_.flush();
    err_ << "error[" << errorIdentifier(error.code()) << "]: " << errorName(error.code()) << '\n';
    err_ << "  " << error.message() << '\n';
    if (!error.help().empty()) err_ << "  = help: " << error.help() << '\n';
}

bool stdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }
bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

} // namespace vek
