// The resolver alone on a generated graph: 1,000 packages with 20 versions
// each; every version of package i needs packages i+1 and i+2 (when they
// exist) at "^1.5". Prints the time of one resolution in milliseconds.
#include <chrono>
#include <cstdio>
#include <string>

#include "vek/resolve/Resolver.h"

namespace {

constexpr int kPackages = 1000;
constexpr int kVersions = 20;

class GeneratedSource : public vek::IPackageSource {
public:
    std::vector<vek::Version> getVersions(std::string_view) override {
        std::vector<vek::Version> versions;
        for (int v = 0; v < kVersions; ++v)
            versions.push_back(*vek::parseVersion("1." + std::to_string(v) + ".0"));
        return versions;
    }
    std::optional<vek::PackageRecord> getPackage(std::string_view name,
                                                 const vek::Version&) override {
        const int index = std::stoi(std::string(name.substr(1)));
        vek::PackageRecord record{"sha256:00", "registry+bench", {}};
        for (int next : {index + 1, index + 2}) {
            if (next < kPackages) {
                record.dependencies.push_back(
                    {"p" + std::to_string(next), *vek::parseConstraint("^1.5")});
            }
        }
        return record;
    }
};

} // namespace

int main() {
    vek::Manifest manifest = vek::defaultManifest("bench");
    vek::Dependency root;
    root.name = "p0";
    manifest.addDependency(root);
    GeneratedSource source;
    double best = 1e9;
    std::size_t count = 0;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const vek::Resolution resolution = vek::resolve(manifest, source, nullptr);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (ms < best) best = ms;
        count = resolution.packages.size();
    }
    std::printf("%zu packages resolved in %.1f ms\n", count, best);
    return count == kPackages ? 0 : 1;
}
