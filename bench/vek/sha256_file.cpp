// Prints the SHA-256 digest of a file with vek's own implementation, in the
// layout of sha256sum, so that the two can be timed on the same input.
#include <cstdio>

#include "vek/archive/Checksum.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sha256_file FILE\n");
        return 2;
    }
    const auto digest = vek::sha256File(argv[1]);
    if (!digest) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    std::printf("%s  %s\n", digest->c_str(), argv[1]);
    return 0;
}
