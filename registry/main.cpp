// vek-registry: a package registry for vek, serving the registry API over
// HTTP from a data folder, plus the commands that manage its accounts.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "registry/Accounts.h"
#include "registry/Api.h"
#include "registry/Platform.h"
#include "registry/Store.h"

namespace {

constexpr std::chrono::seconds kStopGrace{30};

constexpr const char* kUsage =
    R"(Usage: vek-registry [serve] [--listen ADDR:PORT] [--data DIR] [--read-only] [--quiet]
       vek-registry adduser NAME [--email EMAIL] [--data DIR]
       vek-registry token NAME [--data DIR]

Serves the vek registry API under /api/v1/ from DIR (default "registry-data").
--listen defaults to 127.0.0.1:8080; port 0 takes a free port. The address
served is printed as "listening on http://ADDR:PORT". SIGINT or SIGTERM stops.

adduser creates an account (the password is read from the terminal without
echo, or as the first line of standard input) and prints an API token for it.
token prints a new API token for an existing account.
)";

struct Options {
    std::string command = "serve";
    std::string name;
    std::string email;
    std::string data = "registry-data";
    std::string host = "127.0.0.1";
    int port = 8080;
    bool readOnly = false;
    bool quiet = false;
};

// "ADDR:PORT" or "[V6ADDR]:PORT".
bool parseListen(const std::string& text, Options& options) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 >= text.size()) return false;
    std::string host = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
    const int number = std::stoi(port);
    if (number > 65535) return false;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (host.empty()) return false;
    options.host = host;
    options.port = number;
    return true;
}

std::optional<Options> parseArguments(const std::vector<std::string>& args, std::string& error) {
    Options options;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](const char* flag) -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                error = std::string(flag) + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        if (arg == "--listen") {
            const auto text = value("--listen");
            if (!text) return std::nullopt;
            if (!parseListen(*text, options)) {
                error = "--listen expects ADDR:PORT, got '" + *text + "'";
                return std::nullopt;
            }
        } else if (arg == "--data") {
            const auto text = value("--data");
            if (!text) return std::nullopt;
            options.data = *text;
        } else if (arg == "--email") {
            const auto text = value("--email");
            if (!text) return std::nullopt;
            options.email = *text;
        } else if (arg == "--read-only") {
            options.readOnly = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "-h" || arg == "--help") {
            options.command = "help";
            return options;
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option '" + arg + "'";
            return std::nullopt;
        } else {
            positional.push_back(arg);
        }
    }
    if (!positional.empty()) options.command = positional[0];
    const bool named = options.command == "adduser" || options.command == "token";
    if (!named && options.command != "serve") {
        error = "unknown command '" + options.command + "'";
        return std::nullopt;
    }
    if (positional.size() != (named ? 2u : positional.empty() ? 0u : 1u)) {
        error = named ? options.command + " needs exactly one account name"
                      : "serve takes no arguments";
        return std::nullopt;
    }
    if (named) options.name = positional[1];
    return options;
}

int fail(const std::string& message) {
    std::cerr << "vek-registry: " << message << std::endl;
    return 1;
}

int addUser(const Options& options) {
    std::string reason;
    if (!registry::validateUserName(options.name, reason)) return fail(reason);
    if (!options.email.empty() && !registry::validateEmail(options.email, reason)) {
        return fail(reason);
    }
    auto store = registry::Store::open(options.data, false, reason);
    if (!store) return fail(reason);
    if (store->userByName(options.name)) {
        return fail("an account named '" + options.name + "' exists");
    }
    const auto password = registry::readSecretLine("Password for " + options.name + ": ");
    if (!password || password->empty()) return fail("the password cannot be empty");
    const auto hash = registry::hashPassword(*password);
    if (!hash) return fail("the password could not be hashed");
    const auto user = store->addUser(options.name, options.email, *hash, reason);
    if (!user) return fail(reason);
    const auto token = store->issueToken(*user, reason);
    if (!token) return fail(reason);
    std::cerr << "Created account '" << user->name << "'. Its API token:" << std::endl;
    std::cout << *token << std::endl;
    return 0;
}

int newToken(const Options& options) {
    std::string reason;
    auto store = registry::Store::open(options.data, false, reason);
    if (!store) return fail(reason);
    const auto user = store->userByName(options.name);
    if (!user) return fail("no account named '" + options.name + "'");
    const auto token = store->issueToken(*user, reason);
    if (!token) return fail(reason);
    std::cout << *token << std::endl;
    return 0;
}

int serve(const Options& options) {
    // Signals are taken by one waiting thread only, so they must be blocked
    // before the server starts any thread.
    registry::blockStopSignals();
    std::string reason;
    std::error_code ec;
    std::filesystem::create_directories(options.data, ec);
    registry::FolderLock lock;
    if (!lock.acquire(std::filesystem::path(options.data) / "registry.lock", reason)) {
        return fail(reason);
    }
    auto store = registry::Store::open(options.data, true, reason);
    if (!store) return fail(reason);

    httplib::Server server;
    registry::installApi(server, *store, {options.readOnly, !options.quiet, 100});
    int port = options.port;
    if (port == 0) {
        port = server.bind_to_any_port(options.host);
        if (port < 0) return fail("cannot listen on " + options.host);
    } else if (!server.bind_to_port(options.host, port)) {
        return fail("cannot listen on " + options.host + ":" + std::to_string(port));
    }

    // A stop closes the listening socket; requests in progress are finished,
    // idle and stalled connections end within the client time-out. A client
    // that keeps a connection busy past the grace period does not hold the
    // process: every change of the store is already durable or undone.
    std::mutex mutex;
    std::condition_variable finishedChanged;
    bool finished = false;
    std::atomic<bool> stopRequested{false};
    registry::StopSignals signals([&] {
        stopRequested = true;
        server.stop();
        std::unique_lock waiting(mutex);
        if (!finishedChanged.wait_for(waiting, kStopGrace, [&] { return finished; })) {
            std::cerr << "vek-registry: connections still open after the grace period; "
                         "stopping anyway"
                      << std::endl;
            std::_Exit(0);
        }
    });
    const std::string shown =
        options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
    std::cout << "vek-registry listening on http://" << shown << ":" << port << std::endl;
    // A stop that came before listening began is honoured here.
    const bool ok = stopRequested || server.listen_after_bind();
    {
        std::lock_guard done(mutex);
        finished = true;
    }
    finishedChanged.notify_all();
    if (!stopRequested && !ok) return fail("the server stopped unexpectedly");
    std::cout << "vek-registry stopped" << std::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = parseArguments(args, error);
    if (!options) {
        std::cerr << "vek-registry: " << error << "\n\n" << kUsage;
        return 2;
    }
    if (options->command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (options->command == "adduser") return addUser(*options);
    if (options->command == "token") return newToken(*options);
    return serve(*options);
}
