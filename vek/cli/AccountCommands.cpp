// Commands on the saved registry credentials: login, logout, whoami.
#include "vek/archive/Credentials.h"
#include "vek/cli/CommandSupport.h"

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
    std::string password;
    {
        // Typed on a terminal, the password is not shown; from a pipe it is
        // simply the next line.
        const HiddenInput hidden;
        password = readLine(context.input);
        if (hidden.active()) out << '\n';
    }
    if (username.empty() || password.empty()) {
        throw VekException::usage("Username and password cannot be empty.");
    }
    console.status("Authenticating", "with " + url + "...");
    const auto registry = makeRegistry(context);
    LoginResult login;
    std::string reason;
    if (!registry->login(username, password, login, reason)) {
        throw VekException::authentication("Login failed: " + reason,
                                           "Check your credentials or register at " + url +
                                               "/#packages");
    }
    const std::string shownName = login.username.empty() ? username : login.username;
    save(context, Credentials{login.token, shownName, login.email, url});
    console.status("Logged in", "Successfully authenticated as @" + shownName + " (" + url + ")");
    return 0;
}

int commandLogout(CommandContext& context) {
    if (context.args.has("dry-run")) {
        context.console.status("Dry-run", "Would clear saved credentials.");
        return 0;
    }
    std::string reason;
    if (!removeCredentials(context.home, reason)) {
        throw VekException::registry("Failed to clear credentials: " + reason);
    }
    context.console.status("Logged out", "Saved credentials cleared.");
    return 0;
}

int commandWhoami(CommandContext& context) {
    bool damaged = false;
    const Credentials credentials = loadCredentials(context.home, &damaged);
    if (damaged) {
        context.console.warning("The saved credentials in " +
                                credentialsPath(context.home).string() +
                                " cannot be read; run 'vek login' again.");
    }
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
