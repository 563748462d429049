// The url module: URL and URLSearchParams objects over shared native records,
// and the percent-encoding functions.
//
// A URL object's data fields are copies taken when it is made; its methods
// work on the record the object owns. So setParam shows in getParam and
// toString of the same object but not in its href, search, query or
// searchParams fields.
#include <memory>

#include "zarn/runtime/NativeApi.h"
#include "zarn/stdlib/SystemModules.h"
#include "zarn/stdlib/Url.h"
#include "zarn/stdlib/UrlCodec.h"

namespace zarn::stdlib {
namespace {

void setText(Interpreter& interp, ClassInstanceObject* object, std::string_view name,
             const std::string& text) {
    setField(interp, object, name, makeString(interp, text));
}

Value makeSearchParamsObject(Interpreter& interp, std::shared_ptr<URLSearchParams> params) {
    using Params = URLSearchParams;
    return Value(bindInstance<Params>(
        interp, "URLSearchParams", std::move(params),
        {
            {"get",
             [](Interpreter& in, Params& p, const NativeArgs& args) {
                 return makeString(in, args.has(0) ? p.get(args.stringAt(0)) : std::string{});
             }},
            {"has",
             [](Interpreter&, Params& p, const NativeArgs& args) {
                 return Value::fromBool(args.has(0) && p.has(args.stringAt(0)));
             }},
            {"set",
             [](Interpreter&, Params& p, const NativeArgs& args) {
                 if (args.size() >= 2) p.set(args.stringAt(0), args.stringAt(1));
                 return Value();
             }},
            {"delete",
             [](Interpreter&, Params& p, const NativeArgs& args) {
                 if (args.has(0)) p.remove(args.stringAt(0));
                 return Value();
             }},
            {"keys", [](Interpreter& in, Params& p,
                        const NativeArgs&) { return makeStringArray(in, p.keys()); }},
            {"values", [](Interpreter& in, Params& p,
                          const NativeArgs&) { return makeStringArray(in, p.values()); }},
            {"toString", [](Interpreter& in, Params& p,
                            const NativeArgs&) { return makeString(in, p.toString()); }},
        }));
}

Value makeUrlObject(Interpreter& interp, ParsedURL parsed) {
    auto url = std::make_shared<ParsedURL>(std::move(parsed));
    ClassInstanceObject* object = bindInstance<ParsedURL>(
        interp, "URL", url,
        {
            {"getParam",
             [](Interpreter& in, ParsedURL& u, const NativeArgs& args) {
                 return makeString(in,
                                   args.has(0) ? u.params.get(args.stringAt(0)) : std::string{});
             }},
            {"setParam",
             [](Interpreter&, ParsedURL& u, const NativeArgs& args) {
                 if (args.size() >= 2) u.params.set(args.stringAt(0), args.stringAt(1));
                 return Value();
             }},
            {"toString", [](Interpreter& in, ParsedURL& u,
                            const NativeArgs&) { return makeString(in, u.toString()); }},
        });
    RootScope roots(interp);
    roots.push(Value(object));
    setText(interp, object, "href", url->href);
    setText(interp, object, "protocol", url->protocol);
    setText(interp, object, "host", url->host);
    setText(interp, object, "hostname", url->hostname);
    setField(interp, object, "port", Value::fromInt(url->port));
    setText(interp, object, "pathname", url->pathname);
    setText(interp, object, "search", url->search);
    setText(interp, object, "query", url->query);
    setText(interp, object, "hash", url->hash);
    setText(interp, object, "path", url->path());
    setField(interp, object, "searchParams",
             makeSearchParamsObject(interp, std::make_shared<URLSearchParams>(url->params)));
    return Value(object);
}

// A member that maps one text to another; "" without an argument.
void addTextMember(Interpreter& interp, ClassInstanceObject* module, std::string_view name,
                   std::string (*transform)(std::string_view)) {
    addMember(interp, module, name, [transform](Interpreter& in, const NativeArgs& args) {
        return makeString(in, args.has(0) ? transform(args.stringAt(0)) : std::string{});
    });
}

} // namespace

void initUrlModule(Interpreter& interp) {
    ClassInstanceObject* module = makeModule(interp, "url");
    addMember(interp, module, "parse", [](Interpreter& in, const NativeArgs& args) {
        return makeUrlObject(in, args.has(0) ? ParsedURL::parse(args.stringAt(0)) : ParsedURL{});
    });
    addTextMember(interp, module, "encode", percentEncode);
    addTextMember(interp, module, "decode", percentDecode);
    addTextMember(interp, module, "encodeURI", encodeURIText);
    addTextMember(interp, module, "decodeURI", percentDecode);
    addMember(interp, module, "searchParams", [](Interpreter& in, const NativeArgs& args) {
        return makeSearchParamsObject(
            in, std::make_shared<URLSearchParams>(URLSearchParams::fromQuery(args.stringAt(0))));
    });
}

} // namespace zarn::stdlib
