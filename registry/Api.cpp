#include "registry/Api.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "registry/Validation.h"
#include "vek/manifest/Manifest.h"

namespace registry {
using nlohmann::ordered_json;

namespace {

constexpr std::size_t kMaxLoginBytes = 64 * 1024;

std::string dump(const ordered_json& value) {
    // Texts from archives may hold invalid UTF-8; they are answered with
    // replacement characters rather than failing the request.
    return value.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

void sendJson(httplib::Response& res, int status, const ordered_json& body) {
    res.status = status;
    res.set_content(dump(body), "application/json");
}

void sendError(httplib::Response& res, int status, const std::string& message) {
    sendJson(res, status, {{"error", message}});
}

std::string statusText(int status) {
    switch (status) {
    case 400: return "bad request";
    case 401: return "authentication required";
    case 403: return "forbidden";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 408: return "request timed out";
    case 409: return "conflict";
    case 413: return "request body too large";
    case 414: return "request URI too long";
    default: return status >= 500 ? "internal server error" : "request failed";
    }
}

ordered_json stringArray(const std::vector<std::string>& items) {
    ordered_json array = ordered_json::array();
    for (const auto& item : items) array.push_back(item);
    return array;
}

// The fields vek reads come first, in the order it names them.
ordered_json summaryJson(const PackageSummary& summary) {
    return {{"name", summary.name},
            {"description", summary.description},
            {"latest", summary.latest},
            {"license", summary.license},
            {"versions", stringArray(summary.versions)},
            {"keywords", stringArray(summary.keywords)},
            {"repository", summary.repository},
            {"homepage", summary.homepage},
            {"owners", stringArray(summary.owners)}};
}

// The token of a request: "Authorization: Bearer T", else "X-Zarn-Token",
// else "X-VEK-Token".
std::string requestToken(const httplib::Request& req) {
    const std::string authorization = req.get_header_value("Authorization");
    constexpr std::string_view kBearer = "Bearer ";
    if (authorization.size() > kBearer.size() &&
        authorization.compare(0, kBearer.size(), kBearer) == 0) {
        return authorization.substr(kBearer.size());
    }
    for (const char* header : {"X-Zarn-Token", "X-VEK-Token"}) {
        if (req.has_header(header)) return req.get_header_value(header);
    }
    return {};
}

std::string printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return text;
}

void search(Store& store, const ApiOptions& options, const httplib::Request& req,
            httplib::Response& res) {
    std::size_t limit = options.searchLimit;
    if (req.has_param("limit")) {
        const std::string text = req.get_param_value("limit");
        if (text.empty() || text.size() > 6 ||
            text.find_first_not_of("0123456789") != std::string::npos) {
            sendError(res, 400, "limit must be a number");
            return;
        }
        limit = std::min<std::size_t>(std::stoul(text), options.searchLimit);
    }
    ordered_json results = ordered_json::array();
    for (const auto& summary : store.search(req.get_param_value("q"), limit)) {
        results.push_back(summaryJson(summary));
    }
    sendJson(res, 200, results);
}

void publish(Store& store, const ApiOptions& options, const httplib::Request& req,
             httplib::Response& res) {
    if (options.readOnly) {
        sendError(res, 403, "this registry is read-only");
        return;
    }
    const std::string token = requestToken(req);
    if (token.empty()) {
        sendError(res, 401, "authentication required: send an API token");
        return;
    }
    const auto user = store.userByToken(token);
    if (!user) {
        sendError(res, 401, "invalid API token");
        return;
    }
    if (req.body.size() > kMaxArchiveBytes) {
        sendError(res, 413, "the package archive exceeds the size limit");
        return;
    }
    std::string error;
    const auto package = validateArchive(req.body, error);
    if (!package) {
        sendError(res, 400, error);
        return;
    }
    const std::string versionText = vek::toString(package->version);
    switch (store.publish(*package, req.body, *user, error)) {
    case PublishOutcome::Published:
        sendJson(res, 201,
                 {{"name", package->name},
                  {"version", versionText},
                  {"checksum", "sha256:" + package->sha256}});
        return;
    case PublishOutcome::VersionExists: sendError(res, 409, "version exists"); return;
    case PublishOutcome::NotOwner:
        sendError(res, 403,
                  "'" + user->name + "' is not an owner of package '" + package->name + "'");
        return;
    case PublishOutcome::Failed:
        std::cerr << "vek-registry: publish of " << package->name << " " << versionText
                  << " failed: " << error << std::endl;
        sendError(res, 500, "the package could not be stored");
        return;
    }
}

void login(Store& store, const ApiOptions& options, const httplib::Request& req,
           httplib::Response& res) {
    if (options.readOnly) {
        sendError(res, 403, "this registry is read-only");
        return;
    }
    if (req.body.size() > kMaxLoginBytes) {
        sendError(res, 413, "the login request is too large");
        return;
    }
    const auto body = ordered_json::parse(req.body, nullptr, false);
    if (!body.is_object() || !body.contains("usernameOrEmail") || !body.contains("password") ||
        !body["usernameOrEmail"].is_string() || !body["password"].is_string()) {
        sendError(res, 400, "expected a JSON object with the strings usernameOrEmail and password");
        return;
    }
    const auto user = store.authenticate(body["usernameOrEmail"].get<std::string>(),
                                         body["password"].get<std::string>());
    if (!user) {
        sendError(res, 401, "invalid username or password");
        return;
    }
    std::string error;
    const auto token = store.issueToken(*user, error);
    if (!token) {
        std::cerr << "vek-registry: login of " << user->name << " failed: " << error << std::endl;
        sendError(res, 500, "no token could be issued");
        return;
    }
    sendJson(res, 200, {{"cliToken", *token}, {"username", user->name}, {"email", user->email}});
}

// The package and version named by the path, or false with a 400 answered.
bool readTarget(const httplib::Request& req, httplib::Response& res, std::string& name,
                std::optional<vek::Version>* version) {
    name = req.matches[1];
    std::string reason;
    if (!vek::validatePackageName(name, reason)) {
        sendError(res, 400, "invalid package name: " + reason);
        return false;
    }
    if (!version) return true;
    const std::string text = req.matches[2];
    *version = vek::parseVersion(text);
    if (*version && isPlainVersion(**version) && text.size() <= 256) return true;
    sendError(res, 400, "invalid version: the version must look like 1.2.3 or 1.2.3-beta.1");
    return false;
}

void listVersions(Store& store, const httplib::Request& req, httplib::Response& res) {
    std::string name;
    if (!readTarget(req, res, name, nullptr)) return;
    const auto versions = store.versions(name);
    if (!versions) return sendError(res, 404, "package not found");
    sendJson(res, 200, stringArray(*versions));
}

void packageInfo(Store& store, const httplib::Request& req, httplib::Response& res) {
    std::string name;
    if (!readTarget(req, res, name, nullptr)) return;
    const auto summary = store.summary(name);
    if (!summary) return sendError(res, 404, "package not found");
    sendJson(res, 200, summaryJson(*summary));
}

void versionDetails(Store& store, const httplib::Request& req, httplib::Response& res) {
    std::string name;
    std::optional<vek::Version> version;
    if (!readTarget(req, res, name, &version)) return;
    const auto record = store.version(name, *version);
    if (!record) return sendError(res, 404, "version not found");
    ordered_json dependencies = ordered_json::array();
    for (const auto& dependency : record->package.dependencies) {
        dependencies.push_back({{"name", dependency.name}, {"constraint", dependency.constraint}});
    }
    sendJson(res, 200,
             {{"name", name},
              {"version", record->versionText},
              {"checksum", "sha256:" + record->package.sha256},
              {"size", record->package.size},
              {"published", record->published},
              {"publisher", record->publisher},
              {"description", record->package.description},
              {"license", record->package.license},
              {"dependencies", dependencies}});
}

void download(Store& store, const httplib::Request& req, httplib::Response& res) {
    std::string name;
    std::optional<vek::Version> version;
    if (!readTarget(req, res, name, &version)) return;
    const auto path = store.archivePath(name, *version);
    if (!path) return sendError(res, 404, "version not found");
    // The archive is answered whole, so that a stop never cuts a download short.
    std::ifstream in(*path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return sendError(res, 500, "the archive cannot be read");
    res.set_header("Content-Disposition",
                   "attachment; filename=\"" + name + "-" + vek::toString(*version) + ".vek\"");
    res.set_content(std::move(bytes), "application/octet-stream");
}

} // namespace

void installApi(httplib::Server& server, Store& store, const ApiOptions& options) {
    server.set_payload_max_length(kMaxArchiveBytes);
    // Short waits for a client keep a stop prompt: an idle keep-alive
    // connection or a request whose sender went quiet ends within seconds.
    server.set_read_timeout(kClientQuietSeconds, 0);
    server.set_write_timeout(kClientQuietSeconds, 0);
    server.set_keep_alive_timeout(2);
    // Headers and body go out in separate writes; without this the body
    // waits for the client's delayed acknowledgement.
    server.set_tcp_nodelay(true);
    server.set_keep_alive_max_count(100);

    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
            sendError(res, res.status, statusText(res.status));
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_exception_handler(
        [](const httplib::Request& req, httplib::Response& res, std::exception_ptr error) {
            std::string what = "unknown exception";
            try {
                if (error) std::rethrow_exception(error);
            } catch (const std::exception& exception) {
                what = exception.what();
            } catch (...) {
            }
            std::cerr << "vek-registry: " << req.method << " " << printable(req.path)
                      << " failed: " << what << std::endl;
            sendError(res, 500, "internal server error");
        });
    if (options.logRequests) {
        server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
            std::cerr << req.method << " " << printable(req.path) << " " << res.status << std::endl;
        });
    }

    Store* data = &store;
    const auto get = [&server, data](const char* pattern, auto handler) {
        server.Get(pattern, [data, handler](const httplib::Request& req, httplib::Response& res) {
            handler(*data, req, res);
        });
    };
    get(R"(/api/v1/packages/([^/]+)/versions)", listVersions);
    get(R"(/api/v1/packages/([^/]+)/([^/]+)/download)", download);
    get(R"(/api/v1/packages/([^/]+)/([^/]+))", versionDetails);
    get(R"(/api/v1/packages/([^/]+))", packageInfo);
    for (const char* path : {"/api/v1/packages", "/api/v1/search"}) {
        server.Get(path, [data, options](const httplib::Request& req, httplib::Response& res) {
            search(*data, options, req, res);
        });
    }
    server.Post("/api/v1/packages/publish",
                [data, options](const httplib::Request& req, httplib::Response& res) {
                    publish(*data, options, req, res);
                });
    server.Post("/api/v1/auth/login",
                [data, options](const httplib::Request& req, httplib::Response& res) {
                    login(*data, options, req, res);
                });
}

} // namespace registry
