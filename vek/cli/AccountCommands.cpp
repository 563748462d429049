// Commands on the saved registry credentials: login, logout, whoami.
#include "vek/archive/Credentials.h"
#include "vek/cli/Commands.h"

namespace vek {
namespace {

std::string readLine(std::istream& input) {
    std::string line;
    std::getline(input, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void save(const CommandContext& context, const Credentials& credentials) {
    std::string reason;
    if (!saveCredentials(context.home, credentials, reason)) {
        throw VekException::registry("Failed to save credentials: " + reason);
    }
}

} // namespace

int commandLogin(CommandContext& context) {
    const ParsedArgs& args = context.args;
    Console& console = context.console;
    const std::string& url = context.registryUrl;
    console.debug("Home directory: " + context.home.string());

    if (args.has("token")) {
        const std::string token = args.option("token");
        // An empty token would be saved and then sent as if it were a login.
        if (token.empty()) {
            throw VekException::usage("Missing token value. Usage: vek login --token <token>");
        }
        const std::string username = args.option("username", "user");
        save(context, Credentials{token, username, "", url});
        console.status("Logged in", "API token saved for @" + username + " (" + url + ")");
        return 0;
    }

    std::ostream& out = console.out();
    out << "Zarn Package Registry (" << url << ")\n";
    out << "Username or Email: " << std::flush;
    const std::string username = readLine(context.input);
    out << "Password: " << std::flush;
    const std::string password = readLine(context.input);
    if (username.empty() || password.empty()) {
        throw VekException::usage("Username and password cannot be empty.");
    }
    console.status("Authenticating", "with " + url + "...");
    if (context.offline) {
        throw VekException::authentication("Login failed: Cannot access registry in offline mode.",
                                           "Check your credentials or register at " + url +
                                               "/#packages");
    }
    console.errorLine(
        "Logging in with a user name and password is not available in this build yet; "
        "use 'vek login --token <token>'.");
    return 1;
}

int commandLogout(CommandContext& context) {
    std::string reason;
    if (!removeCredentials(context.home, reason)) {
        throw VekException::registry("Failed to clear credentials: " + reason);
    }
    context.console.status("Logged out", "Saved credentials cleared.");
    return 0;
}

int commandWhoami(CommandContext& context) {
    const Credentials credentials = loadCredentials(context.home);
    std::ostream& out = context.console.out();
    if (credentials.token.empty()) {
        out << "Not currently logged in. Run 'vek login' to authenticate.\n";
        return 0;
    }
    out << "Logged in as:  @" << credentials.username << '\n';
    if (!credentials.email.empty()) out << "Email:         " << credentials.email << '\n';
    out << "Registry:      "
        << (credentials.registryUrl.empty() ? context.registryUrl : credentials.registryUrl)
        << '\n';
    out << "Token prefix:  " << credentials.token.substr(0, 12) << "...\n";
    return 0;
}

} // namespace vek
