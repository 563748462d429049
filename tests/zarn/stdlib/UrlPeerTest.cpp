// Checks percent-encoding, decoding and query parsing against Python's
// urllib.parse on the same byte strings.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "zarn/stdlib/UrlCodec.h"

namespace zarn::stdlib {
namespace {

constexpr const char* kPeerScript = R"PY(
import sys
from urllib.parse import quote, unquote_to_bytes, parse_qsl
for line in open(sys.argv[1]):
    data = bytes.fromhex(line.strip())
    query = data[1:] if data.startswith(b"?") else data
    pairs = parse_qsl(query.decode("latin-1"), keep_blank_values=True, encoding="latin-1")
    # Every field starts with "x" so that empty results still separate.
    print("x" + quote(data, safe="").encode().hex(),
          "x" + quote(data, safe="#$&+,/:;=?@").encode().hex(),
          "x" + unquote_to_bytes(data.replace(b"+", b" ")).hex(),
          ",".join(k.encode("latin-1").hex() + ":" + v.encode("latin-1").hex() for k, v in pairs) or "-")
)PY";

std::string toHex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (char c : bytes) {
        out.push_back(kDigits[static_cast<unsigned char>(c) >> 4]);
        out.push_back(kDigits[static_cast<unsigned char>(c) & 15]);
    }
    return out;
}

std::string pairsToHex(const std::vector<QueryPair>& pairs) {
    std::string out;
    for (const auto& [key, value] : pairs) {
        if (!out.empty()) out.push_back(',');
        out += toHex(key) + ":" + toHex(value);
    }
    return out.empty() ? "-" : out;
}

TEST(UrlPeerTest, AgreesWithPythonUrllib) {
    if (std::system("python3 -c 'import urllib.parse' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 missing";

    std::vector<std::string> inputs = {
        "",
        "a b/c",
        "a+b%2",
        "%41%4a",
        "%",
        "%%41",
        "%zz%4",
        "100%",
        "~-._",
        "a&b=&=c&&a=2",
        "?x=1&y=%20z",
        "k=a=b",
        "q=a+b%26c",
        "&&&",
        "=",
        "==",
        "a=1&a=2&a",
        "#$&+,/:;=?@!*'()[]{}",
        std::string("nul\0byte=\n\r\t", 13),
        "\xC3\xA9t\xC3\xA9=caf\xC3\xA9&\xFF\xFE=%FF%fe",
        "%e2%82%ac=%E2%82%AC",
        "x=%2",
        "%2x=y",
        "+=+",
        "a%3Db=c%26d",
    };
    std::string all;
    for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
    inputs.push_back(all);

    std::string dir = ::testing::TempDir();
    std::string scriptPath = dir + "/url_peer.py";
    std::string inputPath = dir + "/url_peer_inputs.txt";
    std::ofstream(scriptPath) << kPeerScript;
    {
        std::ofstream inputFile(inputPath);
        for (const auto& input : inputs) inputFile << toHex(input) << "\n";
    }
    std::string command = "python3 '" + scriptPath + "' '" + inputPath + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
    ASSERT_EQ(pclose(pipe), 0) << output;

    std::istringstream lines(output);
    for (const auto& input : inputs) {
        std::string encoded, uriEncoded, decoded, pairs;
        ASSERT_TRUE(lines >> encoded >> uriEncoded >> decoded >> pairs)
            << "no answer for " << toHex(input);
        SCOPED_TRACE("input " + toHex(input));
        EXPECT_EQ("x" + toHex(percentEncode(input)), encoded);
        EXPECT_EQ("x" + toHex(encodeURIText(input)), uriEncoded);
        EXPECT_EQ("x" + toHex(percentDecode(input)), decoded);
        EXPECT_EQ(pairsToHex(parseQuery(input)), pairs);
    }
}

} // namespace
} // namespace zarn::stdlib
