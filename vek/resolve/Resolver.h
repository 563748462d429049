// Dependency resolution: one version per package name, chosen depth first
// with backtracking, following the dependencies of every chosen version.
#pragma once

#include <cstddef>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "vek/manifest/Manifest.h"
#include "vek/resolve/Lockfile.h"
#include "vek/resolve/PackageSource.h"

namespace vek {

struct ResolvedPackage {
    std::string name;
    Version version;
    std::string source;
    std::string checksum;
    std::vector<std::string> dependencies;
    std::string requiredBy;
    VersionConstraint constraint;
};

struct Resolution {
    std::string root;
    std::vector<std::string> rootDependencies;
    std::map<std::string, ResolvedPackage> packages;
};

// The most versions the search tries before it gives up on a graph whose
// conflicts would take it too long to explore.
inline constexpr std::size_t kMaxResolveAttempts = 100000;

// Resolves the manifest's normal registry dependencies. `lock` (may be null)
// supplies preferred versions and their checksums. Raises VEK005 when no
// selection satisfies every constraint, and passes on the source's own errors.
Resolution resolve(const Manifest& manifest, IPackageSource& source, const Lockfile* lock);

Lockfile toLockfile(const Resolution& resolution);

// "tree": the box-drawn tree below the root; "tree --json": the resolution.
void printTree(const Resolution& resolution, std::ostream& out);
void printJson(const Resolution& resolution, std::ostream& out);

} // namespace vek
