// Entry point of the zarn program; all logic lives in the driver library.
#include "zarn/driver/Driver.h"

int main(int argc, char** argv) { return zarn::runCommandLine(argc, argv); }
