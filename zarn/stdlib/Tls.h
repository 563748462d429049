// The client side of TLS for "https" URLs (TlsOpenSsl.cpp): a session over
// a connected socket, with the certificate checked against the system's
// trust store (SSL_CERT_FILE and SSL_CERT_DIR select another one) and the
// host name checked against the certificate.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "zarn/stdlib/Socket.h"

namespace zarn::stdlib {

class TlsSession {
public:
    // Shakes hands over the connected socket for host; null with a reason in
    // error when the handshake or the verification fails.
    static std::unique_ptr<TlsSession> start(NativeSocket& socket, std::string_view host,
                                             std::string& error);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Every byte, or -1 when the session fails first.
    int64_t send(std::string_view data);
    // At most max bytes; "" at the end, on a time-out or on error.
    std::string receive(size_t max);

    struct State;

private:
    explicit TlsSession(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace zarn::stdlib
