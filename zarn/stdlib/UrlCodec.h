// Percent-encoding, percent-decoding and query-string handling shared by the
// url module and the HTTP client and server.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zarn::stdlib {

using QueryPair = std::pair<std::string, std::string>;

// Decodes "%XY" escapes (hex digits of either case) into their byte and "+"
// into a space. Anything else, including a "%" that does not start a complete
// escape, is copied unchanged. The decoded bytes are not validated.
std::string percentDecode(std::string_view text);

// Keeps ASCII letters, digits and "-._~"; every other byte becomes "%XY" with
// upper-case hex digits.
std::string percentEncode(std::string_view text);

// Like percentEncode, but also keeps the reserved characters "#$&+,/:;=?@" so
// that a whole URI stays usable.
std::string encodeURIText(std::string_view text);

// Splits a query string into decoded (key, value) pairs in order: one leading
// "?" is dropped, pieces are separated by "&", empty pieces are skipped, and a
// piece without "=" has an empty value. Repeated keys stay separate pairs.
std::vector<QueryPair> parseQuery(std::string_view query);

// Appends the pairs of `query` to `out` (see parseQuery).
void appendQueryPairs(std::string_view query, std::vector<QueryPair>& out);

// Serialises pairs as encode(key) "=" encode(value), joined by "&".
std::string serializeQuery(const std::vector<QueryPair>& pairs);

} // namespace zarn::stdlib
