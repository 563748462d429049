// Sockets, the HTTP server and the HTTP client against peers on 127.0.0.1,
// each on a port chosen by the system. Peers run on a second thread and
// every wait is bounded.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "zarn/stdlib/HttpClient.h"
#include "zarn/stdlib/HttpServer.h"
#include "zarn/stdlib/Net.h"

using namespace zarn::stdlib;

namespace {

// Runs body on a thread and joins it when the scope ends.
class Peer {
public:
    explicit Peer(std::function<void()> body) : thread_(std::move(body)) {}
    ~Peer() { thread_.join(); }

private:
    std::thread thread_;
};

// A raw server that accepts one connection, reads the request head, then
// writes answer and closes.
std::shared_ptr<TCPServer> listenLocal() {
    auto server = TCPServer::listen("127.0.0.1", 0);
    EXPECT_TRUE(server);
    return server;
}

void answerOnce(TCPServer& server, std::string answer) {
    server.socket().waitReadable(5000);
    auto connection = server.accept();
    if (!connection) return;
    connection->socket()->setTimeout(2000);
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
        std::string chunk = connection->read(4096);
        if (chunk.empty()) break;
        head += chunk;
    }
    connection->write(answer);
    connection->close();
}

std::string rawExchange(int64_t port, const std::string& request) {
    auto connection = TCPConnection::connect("127.0.0.1", port);
    if (!connection) return "no connection";
    connection->socket()->setTimeout(5000);
    connection->write(request);
    std::string answer;
    for (;;) {
        std::string chunk = connection->read(4096);
        if (chunk.empty()) return answer;
        answer += chunk;
    }
}

std::string url(int64_t port, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

} // namespace

TEST(NetLoopbackTest, ListenerReportsChosenPortAndAddress) {
    auto server = TCPServer::listen("", 0);
    ASSERT_TRUE(server);
    EXPECT_GT(server->port(), 0);
    EXPECT_EQ(server->address(), "0.0.0.0");
    EXPECT_FALSE(TCPServer::listen("127.0.0.1", 70000));
}

TEST(NetLoopbackTest, ReadLineAndReadAhead) {
    auto server = listenLocal();
    auto client = TCPConnection::connect("127.0.0.1", server->port());
    ASSERT_TRUE(client);
    client->socket()->setTimeout(2000);
    auto accepted = server->accept();
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->remoteAddress(), "127.0.0.1");
    EXPECT_EQ(client->remotePort(), server->port());
    accepted->write("a\r\nbcd\r\ne");
    accepted->close();
    EXPECT_EQ(client->readLine(), "a");
    EXPECT_EQ(client->read(2), "bc");
    EXPECT_EQ(client->readLine(), "d");
    EXPECT_EQ(client->readLine(), "e");
    EXPECT_EQ(client->readLine(), "");
}

TEST(NetLoopbackTest, WritingToAGonePeerFailsWithoutSignal) {
    auto server = listenLocal();
    auto client = TCPConnection::connect("127.0.0.1", server->port());
    ASSERT_TRUE(client);
    server->accept()->close();
    std::string block(65536, 'x');
    int64_t result = 0;
    for (int i = 0; i < 200 && result >= 0; ++i) result = client->write(block);
    EXPECT_EQ(result, -1);
    client->close();
    EXPECT_EQ(client->write("x"), -1);
    EXPECT_FALSE(client->isOpen());
}

TEST(NetLoopbackTest, DatagramsCarryTheirSender) {
    NativeSocket receiver(SocketFamily::IPv4, SocketKind::Datagram);
    EXPECT_EQ(receiver.localPort(), 0);
    ASSERT_TRUE(receiver.bind("127.0.0.1", 0));
    ASSERT_GT(receiver.localPort(), 0);
    receiver.setTimeout(2000);
    NativeSocket sender(SocketFamily::IPv4, SocketKind::Datagram);
    EXPECT_EQ(sender.sendTo("ping", "127.0.0.1", receiver.localPort()), 4);
    Datagram packet = receiver.receiveFrom(4096);
    EXPECT_EQ(packet.data, "ping");
    EXPECT_EQ(packet.address, "127.0.0.1");
    EXPECT_EQ(packet.port, sender.localPort());
    EXPECT_EQ(sender.sendTo("x", "127.0.0.1", -5), -1);
    EXPECT_EQ(receiver.receiveFrom(0).data, "");
}

TEST(NetLoopbackTest, HostsWithNulBytesResolveToNothing) {
    EXPECT_EQ(resolveHost(std::string("localhost\0.evil", 15)), "");
    EXPECT_EQ(resolveHost("127.0.0.1"), "127.0.0.1");
    NativeSocket socket(SocketFamily::IPv4, SocketKind::Stream);
    EXPECT_FALSE(socket.connect(std::string("127.0.0.1\0x", 11), 80));
}

TEST(HttpServerLoopbackTest, HandleNextWithoutConnectionReturnsAtOnce) {
    HttpServer server;
    EXPECT_FALSE(server.handleNext(0));
    ASSERT_TRUE(server.listen("127.0.0.1", 0));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(server.handleNext(0));
    EXPECT_FALSE(server.handleNext(50));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(HttpServerLoopbackTest, AnswersRoutesAndRefusesBadRequests) {
    HttpServer server;
    server.limits.receiveTimeoutMs = 300;
    server.limits.maxHeadBytes = 1024;
    server.limits.maxBodyBytes = 64;
    server.addRoute("post", "/echo/:name", [](const auto& request, const auto& response) {
        response->send(request->param("name") + ":" + request->body);
    });
    ASSERT_TRUE(server.listen("127.0.0.1", 0));
    int64_t port = server.port();

    struct Case {
        std::string request;
        std::string expectedStart;
    };
    std::vector<Case> cases = {
        {"POST /echo/a%20b HTTP/1.1\r\nContent-Length: 3\r\n\r\nxyz",
         "HTTP/1.1 200 OK\r\nContent-Length: 7\r\nConnection: close\r\n"
         "Content-Type: text/plain; charset=utf-8\r\n\r\na b:xyz"},
        // Fewer body bytes than announced: refused, not handled short.
        {"POST /echo/a HTTP/1.1\r\nContent-Length: 10\r\n\r\nxyz", "HTTP/1.1 400 Bad Request"},
        {"POST /echo/a HTTP/1.1\r\nContent-Length: 100000\r\n\r\n", "HTTP/1.1 413 Payload"},
        {"GET /" + std::string(2000, 'a') + " HTTP/1.1\r\n", "HTTP/1.1 413 Payload"},
        {"", "HTTP/1.1 400 Bad Request\r\nContent-Length: 11"},
        {"\x16\x03\x01\x02\r\n\r\n", "HTTP/1.1 400 Bad Request"},
        {"GET /missing HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
    };
    for (const Case& c : cases) {
        std::string answer;
        {
            Peer peer([&] { answer = rawExchange(port, c.request); });
            EXPECT_TRUE(server.handleNext(5000));
        }
        EXPECT_EQ(answer.substr(0, c.expectedStart.size()), c.expectedStart) << c.request;
    }
}

TEST(HttpServerLoopbackTest, FailingHandlerIsAnsweredThenEndsTheRun) {
    HttpServer server;
    server.addRoute("get", "/",
                    [](const auto&, const auto&) { throw std::runtime_error("handler gave up"); });
    ASSERT_TRUE(server.listen("127.0.0.1", 0));
    std::string answer;
    {
        Peer peer([&] { answer = rawExchange(server.port(), "GET / HTTP/1.1\r\n\r\n"); });
        EXPECT_THROW(server.handleNext(5000), std::runtime_error);
    }
    EXPECT_NE(answer.find("HTTP/1.1 500 Internal Server Error\r\n"), std::string::npos);
    EXPECT_NE(answer.find("\r\n\r\n500 Internal Server Error: handler gave up"), std::string::npos);
    EXPECT_TRUE(server.isOpen());
}

TEST(HttpServerLoopbackTest, ClientAndServerTalk) {
    HttpServer server;
    server.addRoute("any", "/things/*", [](const auto& request, const auto& response) {
        response->setStatus(201);
        response->cookies.set("seen", "yes");
        response->sendAs("application/json; charset=utf-8",
                         "{\"method\":\"" + request->method + "\",\"body\":\"" + request->body +
                             "\",\"agent\":\"" + request->headers.get("user-agent") + "\"}");
    });
    ASSERT_TRUE(server.listen("127.0.0.1", 0));
    HttpResponse response;
    {
        Peer peer([&] {
            HttpClient client;
            client.timeoutMs = 5000;
            response = client.request("PUT", url(server.port(), "/things/1?x=2"), "data");
        });
        EXPECT_TRUE(server.handleNext(5000));
    }
    EXPECT_EQ(response.statusCode, 201);
    EXPECT_EQ(response.statusText, "Created");
    EXPECT_EQ(response.body,
              "{\"method\":\"PUT\",\"body\":\"data\",\"agent\":\"Zarn-HttpClient/1.0\"}");
    EXPECT_EQ(response.cookies.get("seen"), "yes");
}

TEST(HttpClientLoopbackTest, AnswersFromRawServers) {
    struct Case {
        std::string answer;
        int32_t status;
        std::string body;
    };
    std::vector<Case> cases = {
        {"HTTP/1.1 200 OK\r\ncontent-type: text/plain\r\n\r\nuntil close", 200, "until close"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nabcdef", 200, "ab"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", 502,
         "Incomplete response from 127.0.0.1: expected 10 body bytes, received 3"},
        {"", 502, "Empty response from 127.0.0.1"},
        {"not http\r\n\r\n", 502, "Malformed response from 127.0.0.1"},
        {"HTTP/1.1 200 OK\r\nX: y", 502,
         "Incomplete response from 127.0.0.1: the head did not end"},
    };
    for (const Case& c : cases) {
        auto server = listenLocal();
        HttpResponse response;
        {
            Peer peer([&] { answerOnce(*server, c.answer); });
            HttpClient client;
            client.timeoutMs = 5000;
            response = client.request("GET", url(server->port(), "/"), "");
        }
        EXPECT_EQ(response.statusCode, c.status) << c.answer;
        EXPECT_EQ(response.body, c.body) << c.answer;
    }
}

TEST(HttpClientLoopbackTest, RefusedConnectionIsBadGateway) {
    int64_t port;
    {
        auto server = listenLocal();
        port = server->port();
    }
    HttpClient client;
    HttpResponse response = client.request("GET", url(port, "/"), "");
    EXPECT_EQ(response.statusCode, 502);
    EXPECT_EQ(response.statusText, "Bad Gateway");
    EXPECT_EQ(response.body, "Failed to connect to 127.0.0.1");
    EXPECT_EQ(response.headers.get("Content-Type"), "text/plain; charset=utf-8");
}
