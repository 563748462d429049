#include "vek/resolve/Resolver.h"

#include <algorithm>
#include <optional>

#include "vek/base/Json.h"
#include "vek/base/VekException.h"

namespace vek {
namespace {

struct Requirement {
    std::string name;
    VersionConstraint constraint;
    std::string requiredBy;
};

// The source's answers, asked once per package and per version for the run.
class CachedSource {
public:
    explicit CachedSource(IPackageSource& source) : source_(source) {}

    const std::vector<Version>& versions(const std::string& name) {
        auto it = versions_.find(name);
        if (it == versions_.end()) it = versions_.emplace(name, source_.getVersions(name)).first;
        return it->second;
    }

    const std::optional<PackageRecord>& package(const std::string& name, const Version& version) {
        const std::string key = name + "@" + toString(version);
        auto it = packages_.find(key);
        if (it == packages_.end()) {
            it = packages_.emplace(key, source_.getPackage(name, version)).first;
        }
        return it->second;
    }

private:
    IPackageSource& source_;
    std::map<std::string, std::vector<Version>> versions_;
    std::map<std::string, std::optional<PackageRecord>> packages_;
};

// The locked checksum wins, unless it is empty or a placeholder: it is what
// the first install verified.
std::string preferredChecksum(const LockedPackage* locked, const std::string& answered) {
    if (locked && !locked->checksum.empty() && locked->checksum.find("mock") == std::string::npos) {
        return locked->checksum;
    }
    return answered;
}

class Search {
public:
    Search(CachedSource& source, Resolution& resolution, const Lockfile* lock)
        : source_(source), selected_(resolution.packages), root_(resolution.root), lock_(lock) {}

    bool solve(std::vector<Requirement>& pending, std::size_t index) {
        // Requirements that an earlier selection already meets need no new
        // level of the search.
        for (; index < pending.size(); ++index) {
            const Requirement& requirement = pending[index];
            if (onPath(requirement)) return false;
            const auto it = selected_.find(requirement.name);
            if (it == selected_.end()) break;
            if (!requirement.constraint.matches(it->second.version)) {
                failure_ = conflictText(it->second, requirement);
                return false;
            }
        }
        if (index == pending.size()) return true;

        const Requirement requirement = pending[index];
        const std::vector<Version> candidates = matchingVersions(requirement);
        if (candidates.empty()) return false;
        for (const Version& candidate : candidates) {
            if (++attempts_ > kMaxResolveAttempts) {
                failure_ = "gave up after trying " + std::to_string(kMaxResolveAttempts) +
                           " versions; the dependency constraints conflict in too many ways.";
                return false;
            }
            const auto& record = source_.package(requirement.name, candidate);
            if (!record) {
                failure_ = "package '" + requirement.name + " " + toString(candidate) +
                           "' was not found in registry or local sources";
                continue;
            }
            const LockedPackage* locked = lockedAt(requirement.name, candidate);
            ResolvedPackage& package = selected_[requirement.name];
            package = ResolvedPackage{requirement.name,
                                      candidate,
                                      record->source,
                                      preferredChecksum(locked, record->checksum),
                                      {},
                                      requirement.requiredBy,
                                      requirement.constraint};
            const std::size_t mark = pending.size();
            for (const PackageDependency& dependency : record->dependencies) {
                package.dependencies.push_back(dependency.name);
                pending.push_back({dependency.name, dependency.constraint, requirement.name});
            }
            if (solve(pending, index + 1)) return true;
            pending.resize(mark);
            selected_.erase(requirement.name);
            if (attempts_ > kMaxResolveAttempts) return false;
        }
        return false;
    }

    const std::string& failure() const { return failure_; }

private:
    // A requirement whose package already stands among the packages that led
    // to it is a cycle: a -> b -> a.
    bool onPath(const Requirement& requirement) {
        std::vector<std::string> chain;
        for (std::string at = requirement.requiredBy; at != root_;) {
            chain.push_back(at);
            const auto it = selected_.find(at);
            if (it == selected_.end()) break;
            at = it->second.requiredBy;
        }
        if (std::find(chain.begin(), chain.end(), requirement.name) == chain.end()) return false;
        std::string text = "Cyclic dependency detected: ";
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) text += *it + " -> ";
        failure_ = text + requirement.name;
        return true;
    }

    std::string conflictText(const ResolvedPackage& selected, const Requirement& requirement) {
        return "dependency conflict for '" + requirement.name + "':\n  " + selected.requiredBy +
               " requires: " + requirement.name + " " + toString(selected.constraint) +
               " (selected: " + toString(selected.version) + ")\n  " + requirement.requiredBy +
               " requires: " + requirement.name + " " + toString(requirement.constraint) +
               "\nNo compatible version was found.";
    }

    // The versions the constraint accepts, highest first, except that a
    // locked version that still matches is tried first.
    std::vector<Version> matchingVersions(const Requirement& requirement) {
        std::vector<Version> all = source_.versions(requirement.name);
        if (all.empty()) {
            failure_ =
                "package '" + requirement.name + "' was not found in registry or local sources";
            return {};
        }
        std::stable_sort(all.begin(), all.end(),
                         [](const Version& a, const Version& b) { return a > b; });
        std::vector<Version> matching;
        for (const Version& version : all) {
            if (requirement.constraint.matches(version) &&
                (matching.empty() || !(matching.back() == version))) {
                matching.push_back(version);
            }
        }
        if (matching.empty()) {
            std::string listed;
            for (std::size_t i = 0; i < all.size() && i < 5; ++i) {
                if (i > 0) listed += ", ";
                listed += toString(all[i]);
            }
            if (all.size() > 5) listed += ", ...";
            failure_ = "no available version of '" + requirement.name + "' matches constraint '" +
                       toString(requirement.constraint) + "'.\nAvailable versions: " + listed;
            return {};
        }
        if (lock_) {
            if (const LockedPackage* locked = lock_->find(requirement.name)) {
                const auto it = std::find(matching.begin(), matching.end(), locked->version);
                if (it != matching.end()) std::rotate(matching.begin(), it, it + 1);
            }
        }
        return matching;
    }

    const LockedPackage* lockedAt(const std::string& name, const Version& version) const {
        const LockedPackage* locked = lock_ ? lock_->find(name) : nullptr;
        return locked && locked->version == version ? locked : nullptr;
    }

    CachedSource& source_;
    std::map<std::string, ResolvedPackage>& selected_;
    const std::string& root_;
    const Lockfile* lock_;
    std::string failure_;
    std::size_t attempts_ = 0;
};

} // namespace

Resolution resolve(const Manifest& manifest, IPackageSource& source, const Lockfile* lock) {
    Resolution resolution;
    resolution.root = manifest.package.name.empty() ? "project" : manifest.package.name;
    CachedSource cached(source);

    std::vector<Requirement> pending;
    for (const auto& [name, dependency] : manifest.dependencies) {
        // Path and git dependencies are not fetched from a package source.
        if (dependency.kind != DependencyKind::Registry) continue;
        if (!dependency.constraintValid) {
            throw VekException::invalidVersion("Invalid version constraint: " +
                                               dependency.constraint.source);
        }
        resolution.rootDependencies.push_back(name);
        pending.push_back({name, dependency.constraint, resolution.root});
    }

    // Direct dependencies keep their locked versions while those still match
    // the manifest; their own dependencies are queued behind the root's.
    if (lock) {
        std::vector<Requirement> lockedDependencies;
        for (const Requirement& requirement : std::vector<Requirement>(pending)) {
            const LockedPackage* locked = lock->find(requirement.name);
            if (!locked || !requirement.constraint.matches(locked->version)) continue;
            const auto& record = cached.package(locked->name, locked->version);
            if (!record) continue;
            std::string lockedSource = locked->source;
            if ((lockedSource.empty() || lockedSource.rfind("local+", 0) == 0) &&
                !record->source.empty()) {
                lockedSource = record->source;
            }
            ResolvedPackage package{locked->name,
                                    locked->version,
                                    lockedSource,
                                    preferredChecksum(locked, record->checksum),
                                    {},
                                    resolution.root,
                                    requirement.constraint};
            for (const PackageDependency& dependency : record->dependencies) {
                package.dependencies.push_back(dependency.name);
                pending.push_back({dependency.name, dependency.constraint, locked->name});
            }
            resolution.packages.emplace(locked->name, std::move(package));
        }
    }

    Search search(cached, resolution, lock);
    if (!search.solve(pending, 0)) {
        throw VekException::conflict(search.failure(),
                                     "check your dependency constraints in zarn.toml");
    }
    return resolution;
}

Lockfile toLockfile(const Resolution& resolution) {
    Lockfile lock;
    for (const auto& [name, package] : resolution.packages) {
        lock.packages.push_back(
            {name, package.version, package.source, package.checksum, package.dependencies});
    }
    return lock;
}

namespace {

void printChildren(const Resolution& resolution, const std::vector<std::string>& children,
                   const std::string& prefix, std::vector<std::string>& path, std::ostream& out) {
    for (std::size_t i = 0; i < children.size(); ++i) {
        const bool last = i + 1 == children.size();
        const std::string& name = children[i];
        out << prefix << (last ? "└── " : "├── ") << name;
        const auto it = resolution.packages.find(name);
        if (it != resolution.packages.end()) out << ' ' << toString(it->second.version);
        out << '\n';
        // A package is expanded once per branch, so that a graph with a cycle
        // still prints a finite tree.
        if (it == resolution.packages.end() ||
            std::find(path.begin(), path.end(), name) != path.end()) {
            continue;
        }
        path.push_back(name);
        printChildren(resolution, it->second.dependencies, prefix + (last ? "    " : "│   "), path,
                      out);
        path.pop_back();
    }
}

} // namespace

void printTree(const Resolution& resolution, std::ostream& out) {
    if (resolution.root.empty()) {
        out << "(empty project)\n";
        return;
    }
    out << resolution.root << '\n';
    std::vector<std::string> path;
    printChildren(resolution, resolution.rootDependencies, "", path, out);
}

void printJson(const Resolution& resolution, std::ostream& out) {
    out << "{\n  \"root\": " << jsonQuote(resolution.root) << ",\n  \"packages\": [\n";
    std::size_t index = 0;
    for (const auto& [name, package] : resolution.packages) {
        out << "    {\n      \"name\": " << jsonQuote(name)
            << ",\n      \"version\": " << jsonQuote(toString(package.version))
            << ",\n      \"source\": " << jsonQuote(package.source)
            << ",\n      \"checksum\": " << jsonQuote(package.checksum)
            << ",\n      \"dependencies\": [";
        for (std::size_t i = 0; i < package.dependencies.size(); ++i) {
            if (i > 0) out << ", ";
            out << jsonQuote(package.dependencies[i]);
        }
        out << "]\n    }" << (++index < resolution.packages.size() ? "," : "") << '\n';
    }
    out << "  ]\n}\n";
}

} // namespace vek
