// The url module: URL and URLSearchParams objects over shared native records,
// and the percent-encoding functions.
//
// A URL object's data fields are copies taken when it is made; its methods
// work on the record the object owns. So setParam shows in getParam and
// toString of the same object but not in its href, search, query or
// searchParams fields.
#include <memory>

#include "zarn/runtime/Interpreter.h"
#include "zarn/stdlib/ScriptObjects.h"
#include "zarn/stdlib/SystemModules.h"
#include "zarn/stdlib/Url.h"
#include "zarn/stdlib/UrlCodec.h"

namespace zarn::stdlib {
namespace {

void setMethod(Interpreter& interp, ClassInstanceObject* object, std::string_view name,
               NativeCallable callable) {
    interp.setField(object, name, interp.makeNative(std::string(name), std::move(callable)));
}

void setText(Interpreter& interp, ClassInstanceObject* object, std::string_view name,
             const std::string& text) {
    interp.setField(object, name, interp.makeString(text));
}

Value makeSearchParamsObject(Interpreter& interp, std::shared_ptr<URLSearchParams> params) {
    ClassInstanceObject* object = makeInstance(interp, "URLSearchParams");
    Interpreter::RootScope roots(interp);
    roots.push(Value(object));
    setMethod(interp, object, "get", [params](Interpreter& in, const NativeArgs& args) {
        return in.makeString(args.has(0) ? params->get(args.stringAt(0)) : std::string{});
    });
    setMethod(interp, object, "has", [params](Interpreter&, const NativeArgs& args) {
        return Value::fromBool(args.has(0) && params->has(args.stringAt(0)));
    });
    setMethod(interp, object, "set", [params](Interpreter&, const NativeArgs& args) {
        if (args.size() >= 2) params->set(args.stringAt(0), args.stringAt(1));
        return Value();
    });
    setMethod(interp, object, "delete", [params](Interpreter&, const NativeArgs& args) {
        if (args.has(0)) params->remove(args.stringAt(0));
        return Value();
    });
    setMethod(interp, object, "keys", [params](Interpreter& in, const NativeArgs&) {
        return makeStringArray(in, params->keys());
    });
    setMethod(interp, object, "values", [params](Interpreter& in, const NativeArgs&) {
        return makeStringArray(in, params->values());
    });
    setMethod(interp, object, "toString", [params](Interpreter& in, const NativeArgs&) {
        return in.makeString(params->toString());
    });
    return Value(object);
}

Value makeUrlObject(Interpreter& interp, ParsedURL parsed) {
    auto url = std::make_shared<ParsedURL>(std::move(parsed));
    ClassInstanceObject* object = makeInstance(interp, "URL");
    Interpreter::RootScope roots(interp);
    roots.push(Value(object));
    setText(interp, object, "href", url->href);
    setText(interp, object, "protocol", url->protocol);
    setText(interp, object, "host", url->host);
    setText(interp, object, "hostname", url->hostname);
    interp.setField(object, "port", Value::fromInt(url->port));
    setText(interp, object, "pathname", url->pathname);
    setText(interp, object, "search", url->search);
    setText(interp, object, "query", url->query);
    setText(interp, object, "hash", url->hash);
    setText(interp, object, "path", url->path());
    interp.setField(object, "searchParams",
                    makeSearchParamsObject(interp, std::make_shared<URLSearchParams>(url->params)));
    setMethod(interp, object, "getParam", [url](Interpreter& in, const NativeArgs& args) {
        return in.makeString(args.has(0) ? url->params.get(args.stringAt(0)) : std::string{});
    });
    setMethod(interp, object, "setParam", [url](Interpreter&, const NativeArgs& args) {
        if (args.size() >= 2) url->params.set(args.stringAt(0), args.stringAt(1));
        return Value();
    });
    setMethod(interp, object, "toString",
              [url](Interpreter& in, const NativeArgs&) { return in.makeString(url->toString()); });
    return Value(object);
}

// A member that maps one text to another; "" without an argument.
void addTextMember(Interpreter& interp, ClassInstanceObject* module, std::string_view name,
                   std::string (*transform)(std::string_view)) {
    interp.addMember(module, name, [transform](Interpreter& in, const NativeArgs& args) {
        return in.makeString(args.has(0) ? transform(args.stringAt(0)) : std::string{});
    });
}

} // namespace

void initUrlModule(Interpreter& interp) {
    ClassInstanceObject* module = interp.makeModule("url");
    interp.addMember(module, "parse", [](Interpreter& in, const NativeArgs& args) {
        return makeUrlObject(in, args.has(0) ? ParsedURL::parse(args.stringAt(0)) : ParsedURL{});
    });
    addTextMember(interp, module, "encode", percentEncode);
    addTextMember(interp, module, "decode", percentDecode);
    addTextMember(interp, module, "encodeURI", encodeURIText);
    addTextMember(interp, module, "decodeURI", percentDecode);
    interp.addMember(module, "searchParams", [](Interpreter& in, const NativeArgs& args) {
        return makeSearchParamsObject(
            in, std::make_shared<URLSearchParams>(URLSearchParams::fromQuery(args.stringAt(0))));
    });
}

} // namespace zarn::stdlib
