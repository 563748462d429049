// The language server: reads requests and notifications from a stream, keeps
// the open documents and their analyses, and answers on another stream.
#pragma once

#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/lsp/Analysis.h"
#include "zarn/lsp/LspCommand.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace zarn::lsp {

class LanguageServer {
public:
    // An empty formatter answers every formatting request with no edits.
    LanguageServer(std::istream& in, std::ostream& out, Formatter formatter);

    // Serves until `exit` or the end of the input. Returns the exit status:
    // 0 after an orderly shutdown and exit, 1 otherwise.
    int run();

private:
    struct Document {
        std::string uri;
        std::string path;
        int64_t version = 0;
        std::unique_ptr<DocumentAnalysis> analysis;
        std::set<std::string> moduleUris; // other files its diagnostics were published for
    };

    // Handles one message body. False when the server must stop.
    bool handle(const std::string& body);
    void dispatchRequest(const nlohmann::json& id, const std::string& method,
                         const nlohmann::json& params);
    void dispatchNotification(const std::string& method, const nlohmann::json& params);

    nlohmann::json initializeResult() const;
    void openDocument(const std::string& uri, std::string text, int64_t version);
    void changeDocument(const nlohmann::json& params);
    void closeDocument(const std::string& uri);
    void publishDiagnostics(Document& document);

    Document* document(const nlohmann::json& params);
    nlohmann::json hover(const nlohmann::json& params);
    nlohmann::json definition(const nlohmann::json& params);
    nlohmann::json completion(const nlohmann::json& params);
    nlohmann::json documentSymbols(const nlohmann::json& params);
    nlohmann::json formatting(const nlohmann::json& params);

    // The text of a file for position conversion: an open document's, else
    // the file on disk ("" when unreadable).
    std::string fileText(const std::string& path) const;

    void respond(const nlohmann::json& id, nlohmann::json result);
    void respondError(const nlohmann::json& id, int code, const std::string& message);
    void notify(const std::string& method, nlohmann::json params);
    void send(const nlohmann::json& message);

    std::istream& in_;
    std::ostream& out_;
    Formatter formatter_;
    std::map<std::string, Document> documents_; // by URI
    bool initialized_ = false;
    bool shutdownRequested_ = false;
    bool exitRequested_ = false;
    bool outputFailed_ = false;
};

} // namespace zarn::lsp
