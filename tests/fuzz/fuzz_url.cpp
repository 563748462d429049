// Fuzzes URL parsing, percent-encoding, query strings and time formatting over
// arbitrary bytes: nothing may crash, and the documented round trips hold.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "zarn/stdlib/Calendar.h"
#include "zarn/stdlib/Url.h"
#include "zarn/stdlib/UrlCodec.h"

namespace {

using namespace zarn::stdlib;

void require(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    ParsedURL url = ParsedURL::parse(text);
    require(url.href == text);
    require(!url.pathname.empty() && url.pathname.front() == '/');
    require(url.path() == url.pathname + url.search);
    require(url.search.empty() || url.search == "?" + url.query);
    require(url.hash.empty() || url.hash.front() == '#');
    std::string rebuilt = url.toString();
    // Without a scheme separator anywhere in the path, the rebuilt URL parses
    // back to the same path, query and fragment.
    if (url.protocol.empty() && url.host.empty() && url.pathname.find("://") == std::string::npos) {
        ParsedURL again = ParsedURL::parse(rebuilt);
        require(again.pathname == url.pathname && again.query == url.query &&
                again.hash == url.hash);
    }

    require(percentDecode(percentEncode(text)) == text);
    std::vector<QueryPair> pairs = parseQuery(text);
    require(parseQuery(serializeQuery(pairs)) == pairs);

    // The first eight bytes pick a timestamp, the rest is the pattern.
    int64_t timestamp = 0;
    std::memcpy(&timestamp, data, size < sizeof timestamp ? size : sizeof timestamp);
    std::string_view pattern =
        size > sizeof timestamp ? text.substr(sizeof timestamp) : std::string_view{};
    require(formatLocalTime(timestamp, pattern).size() < 128);
    int64_t fields[6] = {};
    std::memcpy(fields, data, size < sizeof fields ? size : sizeof fields);
    localDateToTimestamp(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
    daysInMonth(fields[0], fields[1]);
    return 0;
}
