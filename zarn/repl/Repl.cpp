#include "zarn/repl/Repl.h"

#include "zarn/repl/EntryText.h"
#include "zarn/repl/LineInput.h"
#include "zarn/repl/Session.h"
#include "zarn/runtime/ProcessExit.h"
#include "zarn/runtime/StopSignal.h"
#include "zarn/stdlib/Platform.h"

#include <iostream>

namespace zarn {

namespace {

constexpr const char* kBanner =
    "Zarn interactive session. Entries run as they are completed; an open bracket\n"
    "or string continues on the next line. Ctrl+C cancels the entry, Ctrl+D leaves.\n";

std::string historyFilePath() {
    std::string home = stdlib::platform::homeDirectory();
    return home.empty() ? std::string() : home + "/.zarn_history";
}

} // namespace

int runRepl(NativeModuleTable modules) {
    std::unique_ptr<LineInput> input;
    if (standardStreamsAreTerminals()) input = openTerminalInput(historyFilePath());
    const bool terminal = input != nullptr;
    if (!terminal) input = openStreamInput();
    ReplSession session(std::move(modules), std::cout);
    session.setInterruptible(true);
    session.setEchoedInterrupts(terminal);
    if (terminal) std::cout << kBanner << std::flush;

    bool failed = false;
    std::string entry;
    EntryScanner scanner;
    EntryState state = EntryState::Empty;
    // Ctrl+C asks to stop, which cancels the entry being typed or running.
    installInterruptHandler();
    for (;;) {
        std::string line;
        LineStatus status = input->readLine(!entry.empty(), line);
        if (status == LineStatus::Interrupted) {
            entry.clear();
            scanner.reset();
            state = EntryState::Empty;
            installInterruptHandler();
            continue;
        }
        if (status == LineStatus::Line) {
            line += '\n';
            entry += line;
            state = scanner.addLine(line);
            if (state == EntryState::Incomplete) continue;
        }
        // At the end of input an unfinished entry is still checked, so that
        // what is wrong with it shows.
        if (state != EntryState::Empty) {
            try {
                failed = !session.submit(entry) || failed;
            } catch (const ProcessExit& exit) {
                removeStopHandlers();
                return exit.status;
            }
            // Serving a script's servers puts the default handlers back, and
            // a Ctrl+C that ended the entry is spent.
            installInterruptHandler();
        }
        entry.clear();
        scanner.reset();
        state = EntryState::Empty;
        if (status == LineStatus::End) break;
    }
    removeStopHandlers();
    return failed && !terminal ? 1 : 0;
}

} // namespace zarn
