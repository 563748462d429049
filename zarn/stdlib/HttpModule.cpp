// The http module: the client functions, HttpClient, HttpHeaders,
// HttpCookies, Request and Response objects over shared native records, and
// HttpServer objects whose route handlers are script functions.
//
// Data fields of Request and Response objects are copies taken when the
// object is made; the methods work on the shared record. Only `status` also
// rewrites the Response object's statusCode and statusText fields.
#include <cstdio>
#include <memory>

#include "zarn/runtime/StopSignal.h"
#include "zarn/stdlib/HttpClient.h"
#include "zarn/stdlib/HttpServer.h"
#include "zarn/stdlib/NetScript.h"

namespace zarn::stdlib {
namespace {

// The methods shared by HttpHeaders and HttpCookies objects.
template <typename List>
Value makeListObject(Interpreter& interp, std::string_view className, std::shared_ptr<List> list) {
    ClassInstanceObject* object = makeInstance(interp, className);
    RootScope roots(interp);
    roots.push(Value(object));
    bindMethod(interp, object, "get", [list](Interpreter& in, const NativeArgs& args) {
        return makeString(in, list->get(args.stringAt(0)));
    });
    bindMethod(interp, object, "set", [list](Interpreter&, const NativeArgs& args) {
        if (args.size() >= 2) list->set(args.stringAt(0), args.stringAt(1));
        return Value();
    });
    bindMethod(interp, object, "has", [list](Interpreter&, const NativeArgs& args) {
        return Value::fromBool(args.has(0) && list->has(args.stringAt(0)));
    });
    bindMethod(interp, object, "delete", [list](Interpreter&, const NativeArgs& args) {
        if (args.has(0)) list->remove(args.stringAt(0));
        return Value();
    });
    bindMethod(interp, object, "keys", [list](Interpreter& in, const NativeArgs&) {
        return makeStringArray(in, list->keys());
    });
    return Value(object);
}

template <typename Record>
Value headersObject(Interpreter& interp, const std::shared_ptr<Record>& record) {
    return makeListObject(interp, "HttpHeaders",
                          std::shared_ptr<HttpHeaders>(record, &record->headers));
}

template <typename Record>
Value cookiesObject(Interpreter& interp, const std::shared_ptr<Record>& record) {
    return makeListObject(interp, "HttpCookies",
                          std::shared_ptr<HttpCookies>(record, &record->cookies));
}

// A method returning one text of the record.
template <typename Record>
void bindText(Interpreter& interp, ClassInstanceObject* object, std::string_view name,
              const std::shared_ptr<Record>& record, std::string Record::*member) {
    bindMethod(interp, object, name, [record, member](Interpreter& in, const NativeArgs&) {
        return makeString(in, (*record).*member);
    });
}

Value makeRequestObject(Interpreter& interp, const std::shared_ptr<HttpRequest>& request) {
    ClassInstanceObject* object = makeInstance(interp, "Request");
    RootScope roots(interp);
    roots.push(Value(object));
    setTextField(interp, object, "method", request->method);
    setTextField(interp, object, "url", request->url);
    setTextField(interp, object, "path", request->path);
    setTextField(interp, object, "query", request->query);
    setTextField(interp, object, "body", request->body);
    setField(interp, object, "headers", headersObject(interp, request));
    setField(interp, object, "cookies", cookiesObject(interp, request));
    bindText(interp, object, "getMethod", request, &HttpRequest::method);
    bindText(interp, object, "getUrl", request, &HttpRequest::url);
    bindText(interp, object, "getPath", request, &HttpRequest::path);
    bindText(interp, object, "getQuery", request, &HttpRequest::query);
    bindText(interp, object, "getBody", request, &HttpRequest::body);
    bindMethod(interp, object, "getHeader", [request](Interpreter& in, const NativeArgs& args) {
        return makeString(in, request->headers.get(args.stringAt(0)));
    });
    bindMethod(interp, object, "hasHeader", [request](Interpreter&, const NativeArgs& args) {
        return Value::fromBool(args.has(0) && request->headers.has(args.stringAt(0)));
    });
    bindMethod(interp, object, "getCookie", [request](Interpreter& in, const NativeArgs& args) {
        return makeString(in, request->cookies.get(args.stringAt(0)));
    });
    bindMethod(interp, object, "hasCookie", [request](Interpreter&, const NativeArgs& args) {
        return Value::fromBool(args.has(0) && request->cookies.has(args.stringAt(0)));
    });
    bindMethod(interp, object, "getParam", [request](Interpreter& in, const NativeArgs& args) {
        return makeString(in, args.has(0) ? request->param(args.stringAt(0)) : std::string());
    });
    return Value(object);
}

// A method of a Response object that changes the record and returns the
// object itself (captured, so it stays alive with the method).
using Change = std::function<void(Interpreter&, const NativeArgs&)>;

void bindChaining(Interpreter& interp, ClassInstanceObject* object, std::string_view name,
                  Change change) {
    setField(interp, object, name,
             makeNative(interp, std::string(name),
                        [change](Interpreter& in, const NativeArgs& args) {
                            change(in, args);
                            return args.self().captures[0];
                        },
                        {Value(object)}));
}

Value makeResponseObject(Interpreter& interp, const std::shared_ptr<HttpResponse>& response) {
    ClassInstanceObject* object = makeInstance(interp, "Response");
    RootScope roots(interp);
    roots.push(Value(object));
    setField(interp, object, "statusCode", Value::fromInt(response->statusCode));
    setTextField(interp, object, "statusText", response->statusText);
    setTextField(interp, object, "body", response->body);
    setField(interp, object, "headers", headersObject(interp, response));
    setField(interp, object, "cookies", cookiesObject(interp, response));
    bindMethod(interp, object, "getStatusCode", [response](Interpreter&, const NativeArgs&) {
        return Value::fromInt(response->statusCode);
    });
    bindText(interp, object, "getStatusText", response, &HttpResponse::statusText);
    bindText(interp, object, "getBody", response, &HttpResponse::body);
    bindText(interp, object, "text", response, &HttpResponse::body);
    bindMethod(interp, object, "getHeader", [response](Interpreter& in, const NativeArgs& args) {
        return makeString(in, response->headers.get(args.stringAt(0)));
    });
    bindMethod(interp, object, "getCookie", [response](Interpreter& in, const NativeArgs& args) {
        return makeString(in, response->cookies.get(args.stringAt(0)));
    });
    bindChaining(interp, object, "status", [response](Interpreter& in, const NativeArgs& args) {
        if (!args.has(0)) return;
        response->setStatus(args.intAt(0));
        auto* self = static_cast<ClassInstanceObject*>(args.self().captures[0].asObject());
        setField(in, self, "statusCode", Value::fromInt(response->statusCode));
        setField(in, self, "statusText", makeString(in, response->statusText));
    });
    bindChaining(interp, object, "setHeader", [response](Interpreter&, const NativeArgs& args) {
        if (args.size() >= 2) response->headers.set(args.stringAt(0), args.stringAt(1));
    });
    bindChaining(interp, object, "setCookie", [response](Interpreter&, const NativeArgs& args) {
        if (args.size() >= 2) response->cookies.set(args.stringAt(0), args.stringAt(1));
    });
    bindMethod(interp, object, "send", [response](Interpreter&, const NativeArgs& args) {
        response->send(args.stringAt(0));
        return Value();
    });
    bindMethod(interp, object, "json", [response](Interpreter&, const NativeArgs& args) {
        response->sendAs("application/json; charset=utf-8", args.stringAt(0));
        return Value();
    });
    bindMethod(interp, object, "html", [response](Interpreter&, const NativeArgs& args) {
        response->sendAs("text/html; charset=utf-8", args.stringAt(0));
        return Value();
    });
    return Value(object);
}

Value clientRequest(Interpreter& interp, const HttpClient& client, std::string_view method,
                    std::string_view url, std::string_view body) {
    auto response = std::make_shared<HttpResponse>(client.request(method, url, body));
    return makeResponseObject(interp, response);
}

// get and delete take (url); post and put take (url, body); request takes
// (method, url, body). null without the url.
void bindRequestFunctions(const std::function<void(std::string_view, NativeCallable)>& add,
                          std::function<const HttpClient&()> client) {
    for (std::string_view method : {"GET", "DELETE"}) {
        add(method == "GET" ? "get" : "delete",
            [client, method](Interpreter& in, const NativeArgs& args) {
                if (!args.has(0)) return Value();
                return clientRequest(in, client(), method, args.stringAt(0), "");
            });
    }
    for (std::string_view method : {"POST", "PUT"}) {
        add(method == "POST" ? "post" : "put",
            [client, method](Interpreter& in, const NativeArgs& args) {
                if (!args.has(0)) return Value();
                return clientRequest(in, client(), method, args.stringAt(0), args.stringAt(1));
            });
    }
    add("request", [client](Interpreter& in, const NativeArgs& args) {
        if (args.size() < 2) return Value();
        return clientRequest(in, client(), args.stringAt(0), args.stringAt(1), args.stringAt(2));
    });
}

Value makeClientObject(Interpreter& interp) {
    auto client = std::make_shared<HttpClient>();
    ClassInstanceObject* object = makeInstance(interp, "HttpClient");
    RootScope roots(interp);
    roots.push(Value(object));
    bindRequestFunctions(
        [&](std::string_view name, NativeCallable callable) {
            bindMethod(interp, object, name, std::move(callable));
        },
        [client]() -> const HttpClient& { return *client; });
    bindMethod(interp, object, "setTimeout", [client](Interpreter&, const NativeArgs& args) {
        if (args.has(0)) client->timeoutMs = args.intAt(0);
        return Value();
    });
    bindMethod(interp, object, "setHeader", [client](Interpreter&, const NativeArgs& args) {
        if (args.size() >= 2) client->defaultHeaders.set(args.stringAt(0), args.stringAt(1));
        return Value();
    });
    return Value(object);
}

bool isCallable(Value value) {
    GcObject* object = value.asObject();
    return object && (object->objectKind == ObjectKind::Function ||
                      object->objectKind == ObjectKind::NativeFunction);
}

// A script's server: the routing server, the script handlers it calls, and
// its place in the interpreter's list of served servers.
class ScriptServer final : public ServedObject {
public:
    explicit ScriptServer(Interpreter& interp) : interp_(interp) {}

    void addRoute(std::string_view method, std::string_view pattern, Value handler) {
        auto held = std::make_shared<Handle>(interp_, handler);
        Interpreter* interp = &interp_;
        server_.addRoute(method, pattern,
                         [interp, held](const std::shared_ptr<HttpRequest>& request,
                                        const std::shared_ptr<HttpResponse>& response) {
                             RootScope roots(*interp);
                             Value requestObject = makeRequestObject(*interp, request);
                             roots.push(requestObject);
                             Value responseObject = makeResponseObject(*interp, response);
                             roots.push(responseObject);
                             Value arguments[] = {requestObject, responseObject};
                             callValue(*interp, held->get(), arguments);
                         });
    }

    HttpServer& server() { return server_; }
    bool isOpen() const override { return server_.isOpen(); }
    bool poll(int timeoutMs) override { return server_.handleNext(timeoutMs); }
    void stop() override { server_.close(); }

private:
    Interpreter& interp_;
    HttpServer server_;
};

Value makeServerObject(Interpreter& interp) {
    auto server = std::make_shared<ScriptServer>(interp);
    ClassInstanceObject* object = makeInstance(interp, "HttpServer");
    RootScope roots(interp);
    roots.push(Value(object));
    for (std::string_view method : {"get", "post", "put", "delete"}) {
        bindMethod(interp, object, method, [server, method](Interpreter&, const NativeArgs& args) {
            if (args.size() >= 2) server->addRoute(method, args.stringAt(0), args[1]);
            return Value();
        });
    }
    bindMethod(interp, object, "route", [server](Interpreter&, const NativeArgs& args) {
        if (args.size() >= 3) server->addRoute(args.stringAt(0), args.stringAt(1), args[2]);
        return Value();
    });
    bindMethod(interp, object, "listen", [server](Interpreter& in, const NativeArgs& args) {
        if (args.size() == 0) return Value::fromBool(false);
        std::string host = "0.0.0.0";
        int64_t port = 0;
        Value callback;
        if (args.size() == 1) {
            port = args.intAt(0);
        } else if (args.size() == 2 && !args[0].isString()) {
            port = args.intAt(0);
            callback = args[1];
        } else {
            if (!args.stringAt(0).empty()) host = std::string(args.stringAt(0));
            port = args.intAt(1);
            callback = args[2];
        }
        if (!server->server().listen(host, port)) return Value::fromBool(false);
        registerServer(in, server);
        if (isCallable(callback)) callValue(in, callback, {}, args.location());
        return Value::fromBool(true);
    });
    auto serve = [server](Interpreter& in, const NativeArgs&) {
        // The default handlers come back however the loop ends.
        struct StopHandlers {
            StopHandlers() { installStopHandlers(); }
            ~StopHandlers() { removeStopHandlers(); }
        } handlers;
        std::fflush(stdout);
        while (server->isOpen() && !stopRequested() && !runFailed(in)) server->poll(100);
        return Value();
    };
    bindMethod(interp, object, "serve", serve);
    bindMethod(interp, object, "run", serve);
    bindMethod(interp, object, "handleNext", [server](Interpreter&, const NativeArgs& args) {
        int64_t timeout = args.intAt(0);
        if (timeout > 600000) timeout = 600000;
        return Value::fromBool(server->poll(static_cast<int>(timeout)));
    });
    bindMethod(interp, object, "close", [server](Interpreter&, const NativeArgs&) {
        server->stop();
        return Value();
    });
    bindMethod(interp, object, "port", [server](Interpreter&, const NativeArgs&) {
        return Value::fromInt(server->server().port());
    });
    bindMethod(interp, object, "isOpen", [server](Interpreter&, const NativeArgs&) {
        return Value::fromBool(server->isOpen());
    });
    return Value(object);
}

} // namespace

void initHttpModule(Interpreter& interp) {
    ClassInstanceObject* module = makeModule(interp, "http");
    // The module functions use a fresh client each time.
    bindRequestFunctions(
        [&](std::string_view name, NativeCallable callable) {
            addMember(interp, module, name, std::move(callable));
        },
        [client = std::make_shared<const HttpClient>()]() -> const HttpClient& { return *client; });
    addMember(interp, module, "client",
              [](Interpreter& in, const NativeArgs&) { return makeClientObject(in); });
    addMember(interp, module, "server",
              [](Interpreter& in, const NativeArgs&) { return makeServerObject(in); });
    addMember(interp, module, "headers", [](Interpreter& in, const NativeArgs&) {
        return makeListObject(in, "HttpHeaders", std::make_shared<HttpHeaders>());
    });
    addMember(interp, module, "cookies", [](Interpreter& in, const NativeArgs&) {
        return makeListObject(in, "HttpCookies", std::make_shared<HttpCookies>());
    });
}

} // namespace zarn::stdlib
