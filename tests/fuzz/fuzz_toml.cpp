// Feeds arbitrary text to the TOML reader and the manifest reader. A manifest
// that reads must write back to text that reads again to the same manifest
// text, and every quoted string must read back as itself.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vek/base/Json.h"
#include "vek/manifest/Manifest.h"
#include "vek/manifest/Toml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    (void)vek::parseText(text, &error);
    (void)vek::parseValue(text);
    (void)vek::readStringMembers(text);

    if (const auto manifest = vek::parseManifest(text, error)) {
        const std::string written = vek::renderManifest(*manifest);
        const auto again = vek::parseManifest(written, error);
        if (!again || vek::renderManifest(*again) != written) std::abort();
    }

    const auto quoted = vek::parseValue(vek::tomlQuote(text));
    if (!quoted || !quoted->asString() || *quoted->asString() != text) std::abort();
    const auto members = vek::readStringMembers("{\"k\": " + vek::jsonQuote(text) + "}");
    if (!members || members->at("k") != text) std::abort();
    return 0;
}
