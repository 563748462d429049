// Where the interactive session reads its lines: a terminal, with a prompt,
// line editing and a history kept in a file, or any other standard input,
// read as it comes.
#pragma once

#include <memory>
#include <string>

namespace zarn {

enum class LineStatus {
    Line,        // a line was read (without its line break)
    Interrupted, // Ctrl+C: the entry being typed is cancelled
    End,         // end of input (Ctrl+D on a terminal)
};

class LineInput {
public:
    virtual ~LineInput() = default;
    // `continuation` asks for a further line of an entry still open.
    virtual LineStatus readLine(bool continuation, std::string& line) = 0;
};

// Whether standard input and standard output are both terminals.
bool standardStreamsAreTerminals();

// The terminal, edited through libedit. The history is read from
// `historyPath` and written back after each line (nothing when it is empty;
// a history that cannot be read or written is no failure). Null when the
// terminal cannot be edited.
std::unique_ptr<LineInput> openTerminalInput(const std::string& historyPath);

// Standard input as it is: no prompt, no editing.
std::unique_ptr<LineInput> openStreamInput();

} // namespace zarn
