#include "zarn/lsp/StdioChannel.h"

#include <csignal>
#include <iostream>

namespace zarn::lsp {

void prepareStandardStreams() {
    std::signal(SIGPIPE, SIG_IGN);
    std::ios::sync_with_stdio(false);
    std::cin.tie(nullptr);
}

} // namespace zarn::lsp
