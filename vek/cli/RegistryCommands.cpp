// Commands that talk to the registry: publish, search, info; and the registry
// client every command uses, with its download progress bar.
#include <chrono>
#include <cstdio>

#include "vek/archive/Credentials.h"
#include "vek/base/Json.h"
#include "vek/cli/CommandSupport.h"

namespace vek {
namespace fs = std::filesystem;
namespace {

std::string byteCount(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 3) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

// "[=====>    ]  1.2 MiB / 3.4 MiB  512.0 KiB/s", redrawn in place on the
// error stream, erased when the download ends.
class ProgressBar {
public:
    explicit ProgressBar(std::ostream& err) : err_(err) {}

    void update(std::uint64_t received, std::uint64_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (received == 0 && total == 0) return;
        const bool done = total && received >= total;
        if (!done && now - lastDraw_ < std::chrono::milliseconds(100)) return;
        lastDraw_ = now;
        if (!started_) {
            started_ = true;
            start_ = now;
        }
        const double seconds = std::chrono::duration<double>(now - start_).count();
        std::string line = "\r[";
        constexpr int kWidth = 30;
        const int filled = total ? static_cast<int>(kWidth * received / total) : 0;
        for (int i = 0; i < kWidth; ++i) line += i < filled ? '=' : (i == filled ? '>' : ' ');
        line += "] " + byteCount(static_cast<double>(received));
        if (total) line += " / " + byteCount(static_cast<double>(total));
        if (seconds > 0) line += "  " + byteCount(received / seconds) + "/s";
        line += "\x1b[K";
        err_ << line << std::flush;
        if (done) err_ << "\r\x1b[K" << std::flush;
    }

private:
    std::ostream& err_;
    bool started_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

} // namespace

std::unique_ptr<RemoteRegistry> makeRegistry(const CommandContext& context) {
    auto registry = std::make_unique<RemoteRegistry>(context.registryUrl, context.offline);
    Console& console = context.console;
    if (console.errIsTerminal() && !console.json()) {
        auto bar = std::make_shared<ProgressBar>(console.err());
        registry->setProgress(
            [bar](std::uint64_t received, std::uint64_t total) { bar->update(received, total); });
    }
    return registry;
}

int commandPublish(CommandContext& context) {
    const Manifest manifest = loadProjectManifest(context);
    fs::path archive;
    std::vector<std::string> files;
    std::string checksum;
    if (const std::string reason = packCurrentProject(context, manifest, archive, files, checksum);
        !reason.empty()) {
        throw VekException::archive("Packaging failed before publish: " + reason);
    }
    const std::string& url = context.registryUrl;
    const std::string token =
        resolveToken(context.args.option("token"), context.environmentToken, context.home);
    if (token.empty()) {
        throw VekException::authentication("Authentication required to publish packages.",
                                           "Run 'vek login' to authenticate with " + url +
                                               ", or supply '--token <token>' / set VEK_TOKEN.");
    }
    const std::string label = manifest.package.name + " v" + toString(manifest.package.version);
    context.console.status("Uploading", label + " to " + url);
    const auto registry = makeRegistry(context);
    std::string reason;
    if (!registry->publish(archive, token, reason)) {
        throw VekException::registry("Failed to publish package: " + reason);
    }
    context.console.status("Published", label + " successfully!");
    return 0;
}

int commandSearch(CommandContext& context) {
    const std::string query = context.args.positional.empty() ? "" : context.args.positional[0];
    const auto registry = makeRegistry(context);
    const std::vector<PackageSummary> results = registry->search(query);
    std::ostream& out = context.console.out();
    out << "Packages matching \"" << query << "\"\n\n";
    for (const PackageSummary& result : results) {
        out << result.name << '\n';
        if (!result.description.empty()) out << "  " << result.description << '\n';
        out << "  latest: " << result.latest << "\n\n";
    }
    if (results.empty()) out << "  No packages found matching query.\n";
    out << "Browse packages online: " << context.registryUrl << "/#packages\n";
    return 0;
}

int commandInfo(CommandContext& context) {
    const std::string& name =
        firstArgument(context.args, "Missing package name. Usage: vek info <package>");
    const auto registry = makeRegistry(context);
    const std::optional<PackageSummary> info = registry->getInfo(name);
    if (!info) throw VekException::packageNotFound("Package '" + name + "' not found.");
    std::ostream& out = context.console.out();
    if (context.console.json()) {
        out << "{\n  \"name\": " << jsonQuote(info->name)
            << ",\n  \"latest\": " << jsonQuote(info->latest)
            << ",\n  \"license\": " << jsonQuote(info->license)
            << ",\n  \"description\": " << jsonQuote(info->description) << ",\n  \"versions\": [";
        for (std::size_t i = 0; i < info->versions.size(); ++i) {
            out << (i ? ", " : "") << jsonQuote(info->versions[i]);
        }
        out << "]\n}\n";
        return 0;
    }
    out << "Name:        " << info->name << "\nLatest:      " << info->latest
        << "\nLicense:     " << info->license << "\nDescription: " << info->description
        << "\n\nVersions:\n";
    for (const std::string& version : info->versions) out << "  " << version << '\n';
    return 0;
}

} // namespace vek
