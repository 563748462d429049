// Feeds arbitrary bytes to the archive reader and the entry-name check. What
// reads must write back to an archive that reads to the same entries.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "vek/archive/Package.h"
#include "vek/archive/Zip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<vek::ArchiveEntry> entries;
    std::string error;
    if (!vek::parseArchive(bytes, entries, error)) return 0;

    std::vector<std::string> parts;
    for (const auto& entry : entries) {
        if (vek::safeEntryParts(entry.path, parts)) {
            for (const auto& part : parts) {
                if (part.empty() || part == "." || part == ".." ||
                    part.find('/') != std::string::npos) {
                    std::abort();
                }
            }
        }
    }

    std::vector<vek::ArchiveEntry> again;
    if (!vek::parseArchive(vek::buildArchive(entries), again, error) ||
        again.size() != entries.size()) {
        std::abort();
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (again[i].path != entries[i].path || again[i].data != entries[i].data) std::abort();
    }
    return 0;
}
