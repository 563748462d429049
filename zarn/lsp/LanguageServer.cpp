#include "zarn/lsp/LanguageServer.h"

#include "zarn/frontend/ModuleResolver.h"
#include "zarn/lsp/JsonRpc.h"
#include "zarn/lsp/StdioChannel.h"
#include "zarn/lsp/TextPosition.h"

#include <filesystem>
#include <iostream>

namespace zarn::lsp {

using nlohmann::json;

namespace {

// Thrown by a handler whose parameters lack what it needs.
struct InvalidParams {
    std::string message;
};

const json& field(const json& object, const char* name) {
    if (!object.is_object() || !object.contains(name))
        throw InvalidParams{std::string("missing '") + name + "'"};
    return object[name];
}

std::string stringField(const json& object, const char* name) {
    const json& value = field(object, name);
    if (!value.is_string()) throw InvalidParams{std::string("'") + name + "' must be a string"};
    return value.get<std::string>();
}

uint32_t unsignedField(const json& object, const char* name) {
    const json& value = field(object, name);
    if (!value.is_number_integer() || value.get<int64_t>() < 0 ||
        value.get<int64_t>() > int64_t{UINT32_MAX})
        throw InvalidParams{std::string("'") + name + "' must be a non-negative integer"};
    return static_cast<uint32_t>(value.get<int64_t>());
}

Position positionField(const json& params) {
    const json& position = field(params, "position");
    return Position{unsignedField(position, "line"), unsignedField(position, "character")};
}

json toJson(Position position) {
    return json{{"line", position.line}, {"character", position.character}};
}

json rangeJson(const LineIndex& lines, size_t start, size_t end) {
    return json{{"start", toJson(lines.position(start))}, {"end", toJson(lines.position(end))}};
}

json symbolJson(const DocumentSymbolInfo& symbol, const LineIndex& lines) {
    json result{{"name", symbol.name},
                {"kind", static_cast<int>(symbol.kind)},
                {"range", rangeJson(lines, symbol.start, symbol.end)},
                {"selectionRange", rangeJson(lines, symbol.nameStart, symbol.nameEnd)}};
    if (!symbol.detail.empty()) result["detail"] = symbol.detail;
    json children = json::array();
    for (const DocumentSymbolInfo& child : symbol.children)
        children.push_back(symbolJson(child, lines));
    if (!children.empty()) result["children"] = std::move(children);
    return result;
}

bool validId(const json& id) { return id.is_number_integer() || id.is_string(); }

} // namespace

LanguageServer::LanguageServer(std::istream& in, std::ostream& out, Formatter formatter)
    : in_(in), out_(out), formatter_(std::move(formatter)) {}

int LanguageServer::run() {
    for (;;) {
        Frame frame = readFrame(in_);
        if (frame.kind == Frame::Kind::End) break;
        if (frame.kind == Frame::Kind::BadHeader) {
            respondError(nullptr, rpc::kParseError, frame.error);
        } else if (!handle(frame.body)) {
            break;
        }
        if (outputFailed_) break;
    }
    return exitRequested_ && shutdownRequested_ ? 0 : 1;
}

bool LanguageServer::handle(const std::string& body) {
    json message = json::parse(body, nullptr, false);
    if (message.is_discarded()) {
        respondError(nullptr, rpc::kParseError, "message is not valid JSON");
        return true;
    }
    if (!message.is_object()) {
        respondError(nullptr, rpc::kInvalidRequest, "message is not a JSON object");
        return true;
    }
    bool hasId = message.contains("id");
    // Parts of a message are read in place, never copied: a copy of a deeply
    // nested value would recurse as deep as the client nested it.
    if (hasId && !validId(message["id"])) {
        respondError(nullptr, rpc::kInvalidRequest, "'id' must be a number or a string");
        return true;
    }
    json id = hasId ? message["id"] : json(nullptr); // a number or a string
    if (!message.contains("method")) {
        // A response to a request of ours (the server sends none): nothing to do.
        if (hasId && (message.contains("result") || message.contains("error"))) return true;
        respondError(id, rpc::kInvalidRequest, "message has no 'method'");
        return true;
    }
    if (!message["method"].is_string()) {
        if (hasId) respondError(id, rpc::kInvalidRequest, "'method' must be a string");
        return true;
    }
    std::string method = message["method"].get<std::string>();
    const json noParams = json::object();
    const json& params = message.contains("params") ? message["params"] : noParams;
    if (!hasId) {
        dispatchNotification(method, params);
        return !exitRequested_;
    }
    if (!initialized_ && method != "initialize") {
        respondError(id, rpc::kServerNotInitialized, "the server has not been initialized");
        return true;
    }
    if (shutdownRequested_) {
        respondError(id, rpc::kInvalidRequest, "the server is shutting down");
        return true;
    }
    try {
        dispatchRequest(id, method, params);
    } catch (const InvalidParams& invalid) {
        respondError(id, rpc::kInvalidParams, invalid.message);
    } catch (const json::exception& failure) {
        respondError(id, rpc::kInvalidParams, failure.what());
    } catch (const std::exception& failure) {
        // Memory exhaustion or a file-system failure: this request fails, the server goes on.
        respondError(id, rpc::kInternalError, failure.what());
    }
    return true;
}

void LanguageServer::dispatchRequest(const json& id, const std::string& method,
                                     const json& params) {
    if (method == "initialize") {
        if (initialized_) {
            respondError(id, rpc::kInvalidRequest, "the server is already initialized");
            return;
        }
        initialized_ = true;
        respond(id, initializeResult());
    } else if (method == "shutdown") {
        shutdownRequested_ = true;
        respond(id, nullptr);
    } else if (method == "textDocument/hover") {
        respond(id, hover(params));
    } else if (method == "textDocument/definition") {
        respond(id, definition(params));
    } else if (method == "textDocument/completion") {
        respond(id, completion(params));
    } else if (method == "textDocument/documentSymbol") {
        respond(id, documentSymbols(params));
    } else if (method == "textDocument/formatting") {
        respond(id, formatting(params));
    } else {
        respondError(id, rpc::kMethodNotFound, "unknown method '" + method + "'");
    }
}

void LanguageServer::dispatchNotification(const std::string& method, const json& params) {
    if (method == "exit") {
        exitRequested_ = true;
        return;
    }
    // Before initialization every notification but exit is dropped.
    if (!initialized_) return;
    try {
        if (method == "textDocument/didOpen") {
            const json& item = field(params, "textDocument");
            const json& version = item.contains("version") ? item["version"] : json(0);
            openDocument(stringField(item, "uri"), stringField(item, "text"),
                         version.is_number_integer() ? version.get<int64_t>() : 0);
        } else if (method == "textDocument/didChange") {
            changeDocument(params);
        } else if (method == "textDocument/didClose") {
            closeDocument(stringField(field(params, "textDocument"), "uri"));
        }
        // Others ("initialized", "$/cancelRequest", saves) need nothing.
    } catch (const InvalidParams&) {
        // A notification has no answer: a malformed one is dropped.
    } catch (const std::exception&) {
        // Nor does one whose handling failed.
    }
}

json LanguageServer::initializeResult() const {
    return json{
        {"capabilities",
         {{"textDocumentSync", {{"openClose", true}, {"change", 1}}},
          {"hoverProvider", true},
          {"definitionProvider", true},
          {"completionProvider", {{"triggerCharacters", json::array({"."})}}},
          {"documentSymbolProvider", true},
          {"documentFormattingProvider", true}}},
        {"serverInfo", {{"name", "zarn"}, {"version", "1.0.0"}}},
    };
}

// ---- documents ------------------------------------------------------------------

void LanguageServer::openDocument(const std::string& uri, std::string text, int64_t version) {
    Document& document = documents_[uri];
    document.uri = uri;
    document.path = uriToPath(uri);
    document.version = version;
    document.analysis = std::make_unique<DocumentAnalysis>(std::move(text), document.path);
    publishDiagnostics(document);
}

void LanguageServer::changeDocument(const json& params) {
    const json& item = field(params, "textDocument");
    auto it = documents_.find(stringField(item, "uri"));
    if (it == documents_.end()) return;
    std::string text = it->second.analysis->text();
    const json& changes = field(params, "contentChanges");
    if (!changes.is_array()) throw InvalidParams{"'contentChanges' must be an array"};
    for (const json& change : changes) {
        std::string replacement = stringField(change, "text");
        if (!change.contains("range")) {
            text = std::move(replacement);
            continue;
        }
        // A ranged change, although the server asks for whole texts.
        LineIndex lines(text);
        const json& range = change["range"];
        size_t start = lines.offset(Position{unsignedField(field(range, "start"), "line"),
                                             unsignedField(field(range, "start"), "character")});
        size_t end = lines.offset(Position{unsignedField(field(range, "end"), "line"),
                                           unsignedField(field(range, "end"), "character")});
        if (end < start) std::swap(start, end);
        text.replace(start, end - start, replacement);
    }
    if (item.contains("version") && item["version"].is_number_integer())
        it->second.version = item["version"].get<int64_t>();
    it->second.analysis = std::make_unique<DocumentAnalysis>(std::move(text), it->second.path);
    publishDiagnostics(it->second);
}

void LanguageServer::closeDocument(const std::string& uri) {
    auto it = documents_.find(uri);
    if (it == documents_.end()) return;
    std::set<std::string> uris = std::move(it->second.moduleUris);
    uris.insert(uri);
    documents_.erase(it);
    for (const std::string& cleared : uris)
        notify("textDocument/publishDiagnostics",
               json{{"uri", cleared}, {"diagnostics", json::array()}});
}

void LanguageServer::publishDiagnostics(Document& document) {
    const DocumentAnalysis& analysis = *document.analysis;
    // Diagnostics by file: the document's own, and those of modules it uses.
    std::map<std::string, json> byUri;
    byUri[document.uri] = json::array();
    std::map<std::string, std::string> texts;
    for (const Diagnostic& diagnostic : analysis.diagnostics()) {
        const std::string& file = diagnostic.location.file;
        bool own = file == document.path;
        std::string path = own ? document.path : file;
        if (!own) {
            std::error_code error;
            auto absolute = std::filesystem::absolute(file, error);
            if (!error) path = absolute.lexically_normal().string();
        }
        std::string uri = own ? document.uri : pathToUri(path);
        auto text = texts.find(uri);
        if (text == texts.end())
            text = texts.emplace(uri, own ? analysis.text() : fileText(path)).first;
        LineIndex lines(text->second);
        size_t start = std::min<size_t>(diagnostic.location.offset, text->second.size());
        size_t end = std::min<size_t>(start + diagnostic.location.length, text->second.size());
        json entry{{"range", rangeJson(lines, start, end)},
                   {"severity", 1},
                   {"source", "zarn"},
                   {"message", diagnostic.message}};
        if (!diagnostic.code.empty()) entry["code"] = diagnostic.code;
        json related = json::array();
        for (const auto& [label, note] : diagnostic.notes)
            related.push_back(
                json{{"location", {{"uri", uri}, {"range", rangeJson(lines, start, end)}}},
                     {"message", label.empty() ? note : label + ": " + note}});
        if (!related.empty()) entry["relatedInformation"] = std::move(related);
        byUri[uri].push_back(std::move(entry));
    }
    std::set<std::string> previous = std::move(document.moduleUris);
    document.moduleUris.clear();
    for (auto& [uri, diagnostics] : byUri) {
        if (uri != document.uri) document.moduleUris.insert(uri);
        previous.erase(uri);
        json params{{"uri", uri}, {"diagnostics", std::move(diagnostics)}};
        if (uri == document.uri) params["version"] = document.version;
        notify("textDocument/publishDiagnostics", std::move(params));
    }
    for (const std::string& stale : previous)
        notify("textDocument/publishDiagnostics",
               json{{"uri", stale}, {"diagnostics", json::array()}});
}

std::string LanguageServer::fileText(const std::string& path) const {
    for (const auto& [uri, document] : documents_)
        if (document.path == path) return document.analysis->text();
    std::string text;
    if (!readModuleFile(path, text)) text.clear();
    return text;
}

// ---- requests -------------------------------------------------------------------

LanguageServer::Document* LanguageServer::document(const json& params) {
    std::string uri = stringField(field(params, "textDocument"), "uri");
    auto it = documents_.find(uri);
    return it == documents_.end() ? nullptr : &it->second;
}

json LanguageServer::hover(const json& params) {
    Position position = positionField(params);
    Document* open = document(params);
    if (!open) return nullptr;
    const DocumentAnalysis& analysis = *open->analysis;
    LineIndex lines(analysis.text());
    std::optional<HoverInfo> info = analysis.hover(lines.offset(position));
    if (!info) return nullptr;
    return json{{"contents", {{"kind", "markdown"}, {"value", "```zarn\n" + info->text + "\n```"}}},
                {"range", rangeJson(lines, info->offset, info->offset + info->length)}};
}

json LanguageServer::definition(const json& params) {
    Position position = positionField(params);
    Document* open = document(params);
    if (!open) return nullptr;
    const DocumentAnalysis& analysis = *open->analysis;
    LineIndex lines(analysis.text());
    std::optional<FileSpan> span = analysis.definition(lines.offset(position));
    if (!span) return nullptr;
    std::string text = span->path == open->path ? analysis.text() : fileText(span->path);
    LineIndex targetLines(text);
    std::string uri = span->path == open->path ? open->uri : pathToUri(span->path);
    return json{{"uri", uri},
                {"range", rangeJson(targetLines, span->offset, span->offset + span->length)}};
}

json LanguageServer::completion(const json& params) {
    Position position = positionField(params);
    Document* open = document(params);
    json items = json::array();
    if (open) {
        LineIndex lines(open->analysis->text());
        for (const CompletionEntry& entry : open->analysis->completion(lines.offset(position))) {
            json item{{"label", entry.label}, {"kind", static_cast<int>(entry.kind)}};
            if (!entry.detail.empty()) item["detail"] = entry.detail;
            items.push_back(std::move(item));
        }
    }
    return json{{"isIncomplete", false}, {"items", std::move(items)}};
}

json LanguageServer::documentSymbols(const json& params) {
    Document* open = document(params);
    json result = json::array();
    if (!open) return result;
    LineIndex lines(open->analysis->text());
    for (const DocumentSymbolInfo& symbol : open->analysis->symbols())
        result.push_back(symbolJson(symbol, lines));
    return result;
}

json LanguageServer::formatting(const json& params) {
    Document* open = document(params);
    json edits = json::array();
    if (!open || !formatter_) return edits;
    const std::string& text = open->analysis->text();
    DiagnosticEngine diagnostics;
    std::optional<std::string> formatted = formatter_(text, open->path, diagnostics);
    if (!formatted || *formatted == text) return edits;
    // One edit over the whole document.
    LineIndex lines(text);
    edits.push_back(json{{"range", rangeJson(lines, 0, text.size())}, {"newText", *formatted}});
    return edits;
}

// ---- output ---------------------------------------------------------------------

void LanguageServer::respond(const json& id, json result) {
    send(json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

void LanguageServer::respondError(const json& id, int code, const std::string& message) {
    send(json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

void LanguageServer::notify(const std::string& method, json params) {
    send(json{{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}});
}

void LanguageServer::send(const json& message) {
    if (outputFailed_) return;
    // Texts from documents may hold bytes that are not UTF-8 (a diagnostic
    // quoting a stray byte, say): they are replaced, never a reason to fail.
    std::string body = message.dump(-1, ' ', false, json::error_handler_t::replace);
    if (!writeFrame(out_, body)) outputFailed_ = true;
}

int runLanguageServer(Formatter formatter) {
    prepareStandardStreams();
    LanguageServer server(std::cin, std::cout, std::move(formatter));
    return server.run();
}

} // namespace zarn::lsp
