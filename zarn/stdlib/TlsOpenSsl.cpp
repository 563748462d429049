// TLS client sessions through OpenSSL.
#include "zarn/stdlib/Tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace zarn::stdlib {

struct TlsSession::State {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    BIO_METHOD* transport = nullptr;
    ~State() {
        if (ssl) {
            SSL_shutdown(ssl);
            SSL_free(ssl); // frees the transport BIO too
        }
        if (context) SSL_CTX_free(context);
        if (transport) BIO_meth_free(transport);
    }
};

namespace {

// The session's bytes go through send with MSG_NOSIGNAL and recv, so that a
// peer that has gone never ends the process with SIGPIPE (OpenSSL's own
// socket transport writes with write()).
int socketOf(BIO* bio) { return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio))); }

int transportWrite(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    ssize_t n;
    do {
        n = ::send(socketOf(bio), data, static_cast<size_t>(size), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

int transportRead(BIO* bio, char* data, int size) {
    BIO_clear_retry_flags(bio);
    ssize_t n;
    do {
        n = ::recv(socketOf(bio), data, static_cast<size_t>(size), 0);
    } while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

long transportControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int transportCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* makeTransport() {
    BIO_METHOD* method = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "zarn socket");
    if (!method) return nullptr;
    BIO_meth_set_write(method, transportWrite);
    BIO_meth_set_read(method, transportRead);
    BIO_meth_set_ctrl(method, transportControl);
    BIO_meth_set_create(method, transportCreate);
    return method;
}

bool isAddressLiteral(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string lastError(const char* what) {
    unsigned long code = ERR_get_error();
    std::string text = what;
    if (code != 0) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        text += ": ";
        text += buffer;
    }
    ERR_clear_error();
    return text;
}

} // namespace

TlsSession::TlsSession(std::unique_ptr<State> state) : state_(std::move(state)) {}
TlsSession::~TlsSession() = default;

std::unique_ptr<TlsSession> TlsSession::start(NativeSocket& socket, std::string_view hostView,
                                              std::string& error) {
    std::string host(hostView);
    if (!socket.isOpen() || host.find('\0') != std::string::npos) {
        error = "no connection";
        return nullptr;
    }
    auto state = std::make_unique<State>();
    state->context = SSL_CTX_new(TLS_client_method());
    if (!state->context) {
        error = lastError("TLS set-up failed");
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(state->context, TLS1_2_VERSION);
    SSL_CTX_set_verify(state->context, SSL_VERIFY_PEER, nullptr);
    // Reads SSL_CERT_FILE and SSL_CERT_DIR, else the system's store.
    SSL_CTX_set_default_verify_paths(state->context);
    state->ssl = SSL_new(state->context);
    state->transport = makeTransport();
    BIO* bio = state->transport ? BIO_new(state->transport) : nullptr;
    if (!state->ssl || !bio) {
        if (bio) BIO_free(bio);
        error = lastError("TLS set-up failed");
        return nullptr;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(socket.handle())));
    SSL_set_bio(state->ssl, bio, bio);
    X509_VERIFY_PARAM* param = SSL_get0_param(state->ssl);
    if (isAddressLiteral(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    } else {
        SSL_set_tlsext_host_name(state->ssl, host.c_str());
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
    }
    if (SSL_connect(state->ssl) != 1) {
        long verify = SSL_get_verify_result(state->ssl);
        if (verify != X509_V_OK) {
            error = std::string("certificate verification failed: ") +
                    X509_verify_cert_error_string(verify);
            ERR_clear_error();
        } else {
            error = lastError("TLS handshake failed");
        }
        return nullptr;
    }
    return std::unique_ptr<TlsSession>(new TlsSession(std::move(state)));
}

int64_t TlsSession::send(std::string_view data) {
    size_t sent = 0;
    while (sent < data.size()) {
        size_t written = 0;
        if (SSL_write_ex(state_->ssl, data.data() + sent, data.size() - sent, &written) != 1) {
            ERR_clear_error();
            return -1;
        }
        sent += written;
    }
    return static_cast<int64_t>(sent);
}

std::string TlsSession::receive(size_t max) {
    std::string buffer(max, '\0');
    size_t got = 0;
    if (max == 0 || SSL_read_ex(state_->ssl, buffer.data(), max, &got) != 1) {
        ERR_clear_error();
        return {};
    }
    buffer.resize(got);
    return buffer;
}

} // namespace zarn::stdlib
