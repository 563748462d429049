// Archives and scratch stores for the registry's unit tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/vek/TestSupport.h"
#include "vek/archive/Checksum.h"
#include "vek/archive/Zip.h"

namespace registry::test {

using vek::test::ScratchDir;

// The archive of a package with a manifest made of `manifestBody` after the
// name and version lines, and one source file.
inline std::string packageArchive(const std::string& name, const std::string& version,
                                  const std::string& manifestBody = "") {
    const std::string manifest =
        "[package]\nname = \"" + name + "\"\nversion = \"" + version + "\"\n" + manifestBody;
    return vek::buildArchive({{"zarn.toml", manifest}, {"src/main.zarn", "print(\"hi\");\n"}});
}

} // namespace registry::test
