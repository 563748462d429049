// After `main`: serving the servers a script started, until a stop signal,
// an error, or no open server is left.
#include "zarn/runtime/Interpreter.h"
#include "zarn/runtime/StopSignal.h"

#include <algorithm>
#include <cstdio>

namespace zarn {

void Interpreter::serveRegisteredServers() {
    if (servers_.empty()) return;
    // What main printed ("listening on ...") shows now, not when serving ends.
    std::fflush(stdout);
    installStopHandlers();
    while (!stopRequested()) {
        if (diagnostics_.hasErrors()) break;
        std::erase_if(servers_, [](const std::shared_ptr<ServedObject>& server) {
            return !server || !server->isOpen();
        });
        if (servers_.empty()) break;
        bool busy = false;
        // A copy: a handler may register another server while this one polls.
        auto serving = servers_;
        for (const auto& server : serving) busy = server->poll(100) || busy;
        if (!busy) sleepMilliseconds(5);
    }
    for (const auto& server : servers_)
        if (server) server->stop();
    servers_.clear();
    removeStopHandlers();
}

} // namespace zarn
