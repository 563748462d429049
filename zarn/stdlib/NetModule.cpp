// The net module: name look-up and Socket, TCPConnection, TCPServer,
// UDPSocket and UDPPacket objects over shared native records.
#include <memory>

#include "zarn/stdlib/Net.h"
#include "zarn/stdlib/NetScript.h"

namespace zarn::stdlib {
namespace {

constexpr size_t kDefaultReceive = 4096;

// A size argument: the default when missing, 0 for negative values.
size_t sizeArgument(const NativeArgs& args, size_t index) {
    if (!args.has(index)) return kDefaultReceive;
    int64_t value = args.intAt(index);
    return value < 0 ? 0 : static_cast<size_t>(value);
}

Value makePacketObject(Interpreter& interp, Datagram packet) {
    auto shared = std::make_shared<Datagram>(std::move(packet));
    ClassInstanceObject* object = makeInstance(interp, "UDPPacket");
    RootScope roots(interp);
    roots.push(Value(object));
    setTextField(interp, object, "data", shared->data);
    setTextField(interp, object, "address", shared->address);
    setField(interp, object, "port", Value::fromInt(shared->port));
    bindMethod(interp, object, "getData", [shared](Interpreter& in, const NativeArgs&) {
        return makeString(in, shared->data);
    });
    bindMethod(interp, object, "getAddress", [shared](Interpreter& in, const NativeArgs&) {
        return makeString(in, shared->address);
    });
    bindMethod(interp, object, "getPort",
               [shared](Interpreter&, const NativeArgs&) { return Value::fromInt(shared->port); });
    return Value(object);
}

// The members shared by Socket and UDPSocket: bind, sendTo, receiveFrom.
void bindDatagramMethods(Interpreter& interp, ClassInstanceObject* object,
                         const std::shared_ptr<NativeSocket>& socket) {
    bindMethod(interp, object, "bind", [socket](Interpreter&, const NativeArgs& args) {
        return Value::fromBool(args.size() >= 2 && socket->bind(args.stringAt(0), args.intAt(1)));
    });
    bindMethod(interp, object, "sendTo", [socket](Interpreter&, const NativeArgs& args) {
        if (args.size() < 3) return Value::fromInt(-1);
        return Value::fromInt(socket->sendTo(args.stringAt(0), args.stringAt(1), args.intAt(2)));
    });
    bindMethod(interp, object, "receiveFrom", [socket](Interpreter& in, const NativeArgs& args) {
        return makePacketObject(in, socket->receiveFrom(sizeArgument(args, 0)));
    });
    bindMethod(interp, object, "close", [socket](Interpreter&, const NativeArgs&) {
        socket->close();
        return Value();
    });
    bindMethod(interp, object, "isOpen", [socket](Interpreter&, const NativeArgs&) {
        return Value::fromBool(socket->isOpen());
    });
}

Value makeSocketObject(Interpreter& interp, std::shared_ptr<NativeSocket> socket) {
    ClassInstanceObject* object = makeInstance(interp, "Socket");
    RootScope roots(interp);
    roots.push(Value(object));
    bindDatagramMethods(interp, object, socket);
    bindMethod(interp, object, "connect", [socket](Interpreter&, const NativeArgs& args) {
        return Value::fromBool(args.size() >= 2 &&
                               socket->connect(args.stringAt(0), args.intAt(1)));
    });
    bindMethod(interp, object, "listen", [socket](Interpreter&, const NativeArgs& args) {
        int64_t backlog = args.has(0) ? args.intAt(0) : 128;
        if (backlog < 0) backlog = 0;
        if (backlog > 65535) backlog = 65535;
        return Value::fromBool(socket->listen(static_cast<int>(backlog)));
    });
    bindMethod(interp, object, "accept", [socket](Interpreter& in, const NativeArgs&) {
        auto client = socket->accept();
        return client ? makeSocketObject(in, std::move(client)) : Value();
    });
    bindMethod(interp, object, "send", [socket](Interpreter&, const NativeArgs& args) {
        if (!args.has(0)) return Value::fromInt(socket->isOpen() ? 0 : -1);
        return Value::fromInt(socket->send(args.stringAt(0)));
    });
    bindMethod(interp, object, "receive", [socket](Interpreter& in, const NativeArgs& args) {
        return makeString(in, socket->receive(sizeArgument(args, 0)));
    });
    bindMethod(interp, object, "setNonBlocking", [socket](Interpreter&, const NativeArgs& args) {
        return Value::fromBool(args.has(0) && socket->setNonBlocking(isTruthy(args[0])));
    });
    bindMethod(interp, object, "setTimeout", [socket](Interpreter&, const NativeArgs& args) {
        if (args.has(0)) socket->setTimeout(args.intAt(0));
        return Value();
    });
    bindMethod(interp, object, "getRemoteAddress", [socket](Interpreter& in, const NativeArgs&) {
        return makeString(in, socket->remoteAddress());
    });
    bindMethod(interp, object, "getRemotePort", [socket](Interpreter&, const NativeArgs&) {
        return Value::fromInt(socket->remotePort());
    });
    bindMethod(interp, object, "getLocalAddress", [socket](Interpreter& in, const NativeArgs&) {
        return makeString(in, socket->localAddress());
    });
    bindMethod(interp, object, "getLocalPort", [socket](Interpreter&, const NativeArgs&) {
        return Value::fromInt(socket->localPort());
    });
    return Value(object);
}

Value makeConnectionObject(Interpreter& interp, std::shared_ptr<TCPConnection> connection) {
    ClassInstanceObject* object = makeInstance(interp, "TCPConnection");
    RootScope roots(interp);
    roots.push(Value(object));
    bindMethod(interp, object, "write", [connection](Interpreter&, const NativeArgs& args) {
        if (!args.has(0)) return Value::fromInt(connection->isOpen() ? 0 : -1);
        return Value::fromInt(connection->write(args.stringAt(0)));
    });
    bindMethod(interp, object, "read", [connection](Interpreter& in, const NativeArgs& args) {
        return makeString(in, connection->read(sizeArgument(args, 0)));
    });
    bindMethod(interp, object, "readLine", [connection](Interpreter& in, const NativeArgs&) {
        return makeString(in, connection->readLine());
    });
    bindMethod(interp, object, "close", [connection](Interpreter&, const NativeArgs&) {
        connection->close();
        return Value();
    });
    bindMethod(interp, object, "isOpen", [connection](Interpreter&, const NativeArgs&) {
        return Value::fromBool(connection->isOpen());
    });
    bindMethod(interp, object, "getRemoteAddress",
               [connection](Interpreter& in, const NativeArgs&) {
                   return makeString(in, connection->remoteAddress());
               });
    bindMethod(interp, object, "getRemotePort", [connection](Interpreter&, const NativeArgs&) {
        return Value::fromInt(connection->remotePort());
    });
    return Value(object);
}

Value makeServerObject(Interpreter& interp, std::shared_ptr<TCPServer> server) {
    ClassInstanceObject* object = makeInstance(interp, "TCPServer");
    RootScope roots(interp);
    roots.push(Value(object));
    bindMethod(interp, object, "accept", [server](Interpreter& in, const NativeArgs&) {
        auto connection = server->accept();
        return connection ? makeConnectionObject(in, std::move(connection)) : Value();
    });
    bindMethod(interp, object, "close", [server](Interpreter&, const NativeArgs&) {
        server->close();
        return Value();
    });
    bindMethod(interp, object, "port", [server](Interpreter&, const NativeArgs&) {
        return Value::fromInt(server->port());
    });
    bindMethod(interp, object, "address", [server](Interpreter& in, const NativeArgs&) {
        return makeString(in, server->address());
    });
    bindMethod(interp, object, "isOpen", [server](Interpreter&, const NativeArgs&) {
        return Value::fromBool(server->isOpen());
    });
    return Value(object);
}

Value makeUdpObject(Interpreter& interp) {
    auto udp = std::make_shared<NativeSocket>(SocketFamily::IPv4, SocketKind::Datagram);
    ClassInstanceObject* object = makeInstance(interp, "UDPSocket");
    RootScope roots(interp);
    roots.push(Value(object));
    bindDatagramMethods(interp, object, udp);
    bindMethod(interp, object, "port",
               [udp](Interpreter&, const NativeArgs&) { return Value::fromInt(udp->localPort()); });
    bindMethod(interp, object, "address", [udp](Interpreter& in, const NativeArgs&) {
        return makeString(in, udp->localAddress());
    });
    return Value(object);
}

} // namespace

void initNetModule(Interpreter& interp) {
    ClassInstanceObject* module = makeModule(interp, "net");
    addMember(interp, module, "resolve", [](Interpreter& in, const NativeArgs& args) {
        return makeString(in, args.has(0) ? resolveHost(args.stringAt(0)) : std::string());
    });
    addMember(interp, module, "lookup", [](Interpreter& in, const NativeArgs& args) {
        return makeStringArray(in, args.has(0) ? lookupHost(args.stringAt(0))
                                               : std::vector<std::string>());
    });
    addMember(interp, module, "socket", [](Interpreter& in, const NativeArgs& args) {
        SocketFamily family = args.stringAt(0) == "ipv6" ? SocketFamily::IPv6 : SocketFamily::IPv4;
        SocketKind kind = args.stringAt(1) == "udp" ? SocketKind::Datagram : SocketKind::Stream;
        return makeSocketObject(in, std::make_shared<NativeSocket>(family, kind));
    });
    addMember(interp, module, "tcpConnect", [](Interpreter& in, const NativeArgs& args) {
        if (args.size() < 2) return Value();
        auto connection = TCPConnection::connect(args.stringAt(0), args.intAt(1));
        return connection ? makeConnectionObject(in, std::move(connection)) : Value();
    });
    addMember(interp, module, "tcpListen", [](Interpreter& in, const NativeArgs& args) {
        if (args.size() < 2) return Value();
        auto server = TCPServer::listen(args.stringAt(0), args.intAt(1));
        return server ? makeServerObject(in, std::move(server)) : Value();
    });
    addMember(interp, module, "udp",
              [](Interpreter& in, const NativeArgs&) { return makeUdpObject(in); });
}

} // namespace zarn::stdlib
