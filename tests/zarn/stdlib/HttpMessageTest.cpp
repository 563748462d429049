#include <gtest/gtest.h>

#include "zarn/stdlib/HttpMessage.h"
#include "zarn/stdlib/HttpServer.h"
#include "zarn/stdlib/Url.h"

using namespace zarn::stdlib;

TEST(HttpHeadersTest, NamesIgnoreCaseAndKeepFirstSpelling) {
    HttpHeaders headers;
    EXPECT_TRUE(headers.set("Content-Type", "a"));
    EXPECT_TRUE(headers.set("content-type", "b"));
    headers.set("X-One", "1");
    EXPECT_EQ(headers.get("CONTENT-TYPE"), "b");
    EXPECT_EQ(headers.keys(), (std::vector<std::string>{"Content-Type", "X-One"}));
    headers.remove("x-one");
    EXPECT_FALSE(headers.has("X-One"));
    EXPECT_EQ(headers.get("missing"), "");
}

TEST(HttpHeadersTest, LineBreaksAreRefused) {
    HttpHeaders headers;
    EXPECT_FALSE(headers.set("X-A", "1\r\nSet-Cookie: evil=1"));
    EXPECT_FALSE(headers.set("X-A\n", "1"));
    EXPECT_FALSE(headers.set("", "1"));
    EXPECT_FALSE(headers.set("A:B", "1"));
    EXPECT_TRUE(headers.pairs().empty());
    HttpCookies cookies;
    EXPECT_FALSE(cookies.set("a", "1\r\nX: y"));
    EXPECT_FALSE(cookies.set("a=b", "1"));
    EXPECT_TRUE(cookies.set("Session", "x"));
    EXPECT_FALSE(cookies.has("session"));
}

TEST(HttpMessageTest, StatusTexts) {
    EXPECT_EQ(statusTextFor(201), "Created");
    EXPECT_EQ(statusTextFor(404), "Not Found");
    EXPECT_EQ(statusTextFor(503), "Service Unavailable");
    EXPECT_EQ(statusTextFor(418), "OK");
    EXPECT_EQ(statusTextFor(200), "OK");
}

TEST(HttpMessageTest, SendKeepsContentTypeJsonReplacesIt) {
    HttpResponse response;
    response.headers.set("Content-Type", "text/csv");
    response.send("a,b");
    EXPECT_EQ(response.headers.get("Content-Type"), "text/csv");
    response.sendAs("application/json; charset=utf-8", "{}");
    EXPECT_EQ(response.headers.get("content-type"), "application/json; charset=utf-8");
    EXPECT_EQ(response.body, "{}");
    HttpResponse plain;
    plain.send("x");
    EXPECT_EQ(plain.headers.get("Content-Type"), "text/plain; charset=utf-8");
}

TEST(HttpMessageTest, RequestTextAddsMissingHeadersOnly) {
    HttpHeaders headers;
    EXPECT_EQ(requestText("GET", "/a?b=1", "h:8080", headers, ""),
              "GET /a?b=1 HTTP/1.1\r\nHost: h:8080\r\nUser-Agent: Zarn-HttpClient/1.0\r\n"
              "Connection: close\r\n\r\n");
    headers.set("user-agent", "me");
    headers.set("Connection", "keep-alive");
    EXPECT_EQ(requestText("POST", "/", "h", headers, "abc"),
              "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\nuser-agent: me\r\n"
              "Connection: keep-alive\r\n\r\nabc");
}

TEST(HttpMessageTest, ParseResponseHeadersCookiesAndLength) {
    HttpResponse response;
    ASSERT_TRUE(parseResponse("HTTP/1.1 201 Created Now\r\ncontent-length: 3\r\n"
                              "Set-Cookie:  id = 7 ; Path=/\r\nX:  y \r\n\r\nabcdef",
                              response));
    EXPECT_EQ(response.statusCode, 201);
    EXPECT_EQ(response.statusText, "Created Now");
    EXPECT_EQ(response.body, "abc");
    EXPECT_EQ(response.headers.get("Content-Length"), "3");
    EXPECT_EQ(response.headers.get("set-cookie"), "id = 7 ; Path=/");
    EXPECT_EQ(response.cookies.get("id"), "7");
    EXPECT_EQ(response.headers.get("x"), "y");

    HttpResponse noLength;
    ASSERT_TRUE(parseResponse("HTTP/1.0 200 OK\r\n\r\nall of it", noLength));
    EXPECT_EQ(noLength.body, "all of it");

    HttpResponse bad;
    EXPECT_FALSE(parseResponse("garbage", bad));
    EXPECT_FALSE(parseResponse("HTTP/1.1 abc OK\r\n\r\n", bad));
    EXPECT_FALSE(parseResponse("", bad));
    EXPECT_EQ(bad.statusCode, 200);
}

TEST(HttpMessageTest, ContentLengthConversion) {
    EXPECT_EQ(contentLengthOf("GET / HTTP/1.1\r\nContent-Length: 12"), 12u);
    EXPECT_EQ(contentLengthOf("GET / HTTP/1.1\r\nCONTENT-length:\t5 "), 5u);
    EXPECT_FALSE(contentLengthOf("GET / HTTP/1.1\r\nContent-Length: -1").has_value());
    EXPECT_FALSE(contentLengthOf("GET / HTTP/1.1\r\nContent-Length: 99999999999999999999"));
    EXPECT_FALSE(contentLengthOf("GET / HTTP/1.1\r\nX-Content-Length: 4").has_value());
    EXPECT_TRUE(headHasHeader("GET / HTTP/1.1\r\nContent-Length: x", "content-length"));
}

TEST(HttpMessageTest, ParseRequest) {
    HttpRequest request;
    ASSERT_TRUE(parseRequest("POST /s/x?q=a+b&q=2 HTTP/1.1\r\nHost: h\r\n"
                             "Cookie: a=1; b ; ; c = 3\r\nContent-Length: 2\r\n\r\nhi!",
                             request));
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url, "/s/x?q=a+b&q=2");
    EXPECT_EQ(request.path, "/s/x");
    EXPECT_EQ(request.query, "q=a+b&q=2");
    EXPECT_EQ(request.param("q"), "a b");
    EXPECT_EQ(request.cookies.keys(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(request.cookies.get("c"), "3");
    EXPECT_EQ(request.body, "hi");
    request.routeParams["q"] = "route";
    EXPECT_EQ(request.param("q"), "route");

    HttpRequest bad;
    EXPECT_FALSE(parseRequest("", bad));
    EXPECT_FALSE(parseRequest("GET\r\n\r\n", bad));
    EXPECT_FALSE(parseRequest("\r\nGET / HTTP/1.1\r\n\r\n", bad));
}

TEST(HttpMessageTest, ResponseText) {
    HttpResponse response;
    response.setStatus(404);
    response.send("nope");
    response.cookies.set("a", "1");
    response.cookies.set("b", "2");
    EXPECT_EQ(responseText(response),
              "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\nConnection: close\r\n"
              "Content-Type: text/plain; charset=utf-8\r\nSet-Cookie: a=1; Path=/\r\n"
              "Set-Cookie: b=2; Path=/\r\n\r\nnope");
}

TEST(HttpRouteTest, ParametersAndWildcards) {
    std::map<std::string, std::string> params;
    Route users = makeRoute("GET", "/users/:id");
    EXPECT_TRUE(matchRoute(users, "get", "/users/4%202", params));
    EXPECT_EQ(params["id"], "4 2");
    EXPECT_FALSE(matchRoute(users, "GET", "/users/42/x", params));
    EXPECT_FALSE(matchRoute(users, "GET", "/users", params));
    EXPECT_FALSE(matchRoute(users, "POST", "/users/1", params));

    Route files = makeRoute("GET", "/static/*");
    EXPECT_TRUE(matchRoute(files, "GET", "/static/a/b", params));
    EXPECT_TRUE(matchRoute(files, "GET", "/static", params));
    EXPECT_FALSE(matchRoute(files, "GET", "/other", params));

    Route any = makeRoute("AnY", "/x");
    EXPECT_TRUE(matchRoute(any, "PATCH", "/x/", params));
    EXPECT_TRUE(matchRoute(makeRoute("*", "/"), "GET", "/", params));
}

TEST(HttpServerAnswerTest, NotFoundAndHandlerFailure) {
    HttpServer server;
    server.addRoute("get", "/boom",
                    [](const auto&, const auto&) { throw std::runtime_error("broken"); });
    server.addRoute("get", "/ok/:name", [](const auto& request, const auto& response) {
        response->send("hello " + request->param("name"));
    });
    auto request = std::make_shared<HttpRequest>();
    request->method = "GET";
    request->path = "/boom";
    auto response = std::make_shared<HttpResponse>();
    server.answer(request, response);
    EXPECT_EQ(response->statusCode, 500);
    EXPECT_EQ(response->body, "500 Internal Server Error: broken");

    request->path = "/ok/ann";
    response = std::make_shared<HttpResponse>();
    server.answer(request, response);
    EXPECT_EQ(response->body, "hello ann");

    request->path = "/nothing";
    response = std::make_shared<HttpResponse>();
    server.answer(request, response);
    EXPECT_EQ(response->statusCode, 404);
    EXPECT_EQ(response->statusText, "Not Found");
    EXPECT_EQ(response->body, "404 Not Found: /nothing");
}

TEST(UrlAuthorityTest, UserInformationAndBracketedHosts) {
    ParsedURL withUser = ParsedURL::parse("http://user:pw@example.org:8080/x");
    EXPECT_EQ(withUser.hostname, "example.org");
    EXPECT_EQ(withUser.host, "example.org:8080");
    EXPECT_EQ(withUser.port, 8080);
    EXPECT_EQ(withUser.toString(), "http://user:pw@example.org:8080/x");
    ParsedURL v6 = ParsedURL::parse("http://[::1]:8080/a");
    EXPECT_EQ(v6.hostname, "[::1]");
    EXPECT_EQ(v6.port, 8080);
    EXPECT_EQ(v6.toString(), "http://[::1]:8080/a");
    ParsedURL v6Default = ParsedURL::parse("https://[fe80::1]");
    EXPECT_EQ(v6Default.hostname, "[fe80::1]");
    EXPECT_EQ(v6Default.port, 443);
    EXPECT_EQ(ParsedURL::parse("http:///x").hostname, "");
}
