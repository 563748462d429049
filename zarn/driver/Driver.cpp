#include "zarn/driver/Driver.h"

#include <iostream>

namespace zarn {

int runCommandLine(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::cout << "Zarn Compiler & Runtime Toolchain v1.0.0\n";
    return 0;
}

} // namespace zarn
