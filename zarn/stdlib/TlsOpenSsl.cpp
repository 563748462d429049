// TLS client sessions through OpenSSL.
#include "zarn/stdlib/Tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace zarn::stdlib {
namespace {

// OpenSSL is opened by the first "https" request, not linked: loading and
// relocating it cost every start of the interpreter about a millisecond and
// two megabytes, for the few programs that speak TLS. The headers give the
// functions' types only; the headers' macros that stand for calls of
// SSL_ctrl, SSL_CTX_ctrl and BIO_clear_flags are written out below.
#define ZARN_TLS_FUNCTIONS(X)                                                                      \
    X(BIO_clear_flags)                                                                             \
    X(BIO_free)                                                                                    \
    X(BIO_get_data)                                                                                \
    X(BIO_get_new_index)                                                                           \
    X(BIO_meth_free)                                                                               \
    X(BIO_meth_new)                                                                                \
    X(BIO_meth_set_create)                                                                         \
    X(BIO_meth_set_ctrl)                                                                           \
    X(BIO_meth_set_read)                                                                           \
    X(BIO_meth_set_write)                                                                          \
    X(BIO_new)                                                                                     \
    X(BIO_set_data)                                                                                \
    X(BIO_set_init)                                                                                \
    X(ERR_clear_error)                                                                             \
    X(ERR_error_string_n)                                                                          \
    X(ERR_get_error)                                                                               \
    X(SSL_CTX_ctrl)                                                                                \
    X(SSL_CTX_free)                                                                                \
    X(SSL_CTX_new)                                                                                 \
    X(SSL_CTX_set_default_verify_paths)                                                            \
    X(SSL_CTX_set_verify)                                                                          \
    X(SSL_connect)                                                                                 \
    X(SSL_ctrl)                                                                                    \
    X(SSL_free)                                                                                    \
    X(SSL_get0_param)                                                                              \
    X(SSL_get_verify_result)                                                                       \
    X(SSL_new)                                                                                     \
    X(SSL_read_ex)                                                                                 \
    X(SSL_set_bio)                                                                                 \
    X(SSL_shutdown)                                                                                \
    X(SSL_write_ex)                                                                                \
    X(TLS_client_method)                                                                           \
    X(X509_VERIFY_PARAM_set1_host)                                                                 \
    X(X509_VERIFY_PARAM_set1_ip_asc)                                                               \
    X(X509_VERIFY_PARAM_set_hostflags)                                                             \
    X(X509_verify_cert_error_string)

struct OpenSsl {
#define ZARN_DECLARE(name) decltype(&::name) name = nullptr;
    ZARN_TLS_FUNCTIONS(ZARN_DECLARE)
#undef ZARN_DECLARE

    // Fills the table from the library; false when it cannot be loaded.
    bool load() {
        void* library = dlopen("libssl.so.3", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) return false;
        bool complete = true;
#define ZARN_LOOK_UP(name)                                                                         \
    name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name));                             \
    complete = complete && name != nullptr;
        ZARN_TLS_FUNCTIONS(ZARN_LOOK_UP)
#undef ZARN_LOOK_UP
        return complete;
    }
};

// The table, loaded by the first call, or null when OpenSSL is missing. Like
// the library it points into, it is loaded once per process and never changes
// afterwards (nor is the library closed: OpenSSL runs its own clean-up at
// exit). The transport callbacks below reach it here because OpenSSL gives
// them nothing but the BIO.
const OpenSsl* openSsl() {
    static const OpenSsl* const table = [] {
        static OpenSsl functions;
        return functions.load() ? &functions : nullptr;
    }();
    return table;
}

} // namespace

struct TlsSession::State {
    const OpenSsl& api;
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    BIO_METHOD* transport = nullptr;
    explicit State(const OpenSsl& functions) : api(functions) {}
    ~State() {
        if (ssl) {
            api.SSL_shutdown(ssl);
            api.SSL_free(ssl); // frees the transport BIO too
        }
        if (context) api.SSL_CTX_free(context);
        if (transport) api.BIO_meth_free(transport);
    }
};

namespace {

// The session's bytes go through send with MSG_NOSIGNAL and recv, so that a
// peer that has gone never ends the process with SIGPIPE (OpenSSL's own
// socket transport writes with write()). The callbacks run only inside calls
// into a loaded library, so the table is there.
int socketOf(BIO* bio) {
    const OpenSsl& api = *openSsl();
    api.BIO_clear_flags(bio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
    return static_cast<int>(reinterpret_cast<intptr_t>(api.BIO_get_data(bio)));
}

int transportWrite(BIO* bio, const char* data, int size) {
    int socket = socketOf(bio);
    ssize_t n;
    do {
        n = ::send(socket, data, static_cast<size_t>(size), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

int transportRead(BIO* bio, char* data, int size) {
    int socket = socketOf(bio);
    ssize_t n;
    do {
        n = ::recv(socket, data, static_cast<size_t>(size), 0);
    } while (n < 0 && errno == EINTR);
    return static_cast<int>(n);
}

long transportControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int transportCreate(BIO* bio) {
    openSsl()->BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* makeTransport(const OpenSsl& api) {
    BIO_METHOD* method =
        api.BIO_meth_new(api.BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "zarn socket");
    if (!method) return nullptr;
    api.BIO_meth_set_write(method, transportWrite);
    api.BIO_meth_set_read(method, transportRead);
    api.BIO_meth_set_ctrl(method, transportControl);
    api.BIO_meth_set_create(method, transportCreate);
    return method;
}

bool isAddressLiteral(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string lastError(const OpenSsl& api, const char* what) {
    unsigned long code = api.ERR_get_error();
    std::string text = what;
    if (code != 0) {
        char buffer[256];
        api.ERR_error_string_n(code, buffer, sizeof buffer);
        text += ": ";
        text += buffer;
    }
    api.ERR_clear_error();
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
    const OpenSsl* functions = openSsl();
    if (functions == nullptr) {
        error = "TLS set-up failed: the OpenSSL library (libssl.so.3) could not be loaded";
        return nullptr;
    }
    const OpenSsl& api = *functions;
    auto state = std::make_unique<State>(api);
    state->context = api.SSL_CTX_new(api.TLS_client_method());
    if (!state->context) {
        error = lastError(api, "TLS set-up failed");
        return nullptr;
    }
    // SSL_CTX_set_min_proto_version, written out.
    api.SSL_CTX_ctrl(state->context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
    api.SSL_CTX_set_verify(state->context, SSL_VERIFY_PEER, nullptr);
    // Reads SSL_CERT_FILE and SSL_CERT_DIR, else the system's store.
    api.SSL_CTX_set_default_verify_paths(state->context);
    state->ssl = api.SSL_new(state->context);
    state->transport = makeTransport(api);
    BIO* bio = state->transport ? api.BIO_new(state->transport) : nullptr;
    if (!state->ssl || !bio) {
        if (bio) api.BIO_free(bio);
        error = lastError(api, "TLS set-up failed");
        return nullptr;
    }
    api.BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(socket.handle())));
    api.SSL_set_bio(state->ssl, bio, bio);
    X509_VERIFY_PARAM* param = api.SSL_get0_param(state->ssl);
    if (isAddressLiteral(host)) {
        api.X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    } else {
        // SSL_set_tlsext_host_name, written out.
        api.SSL_ctrl(state->ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                     const_cast<char*>(host.c_str()));
        api.X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        api.X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
    }
    if (api.SSL_connect(state->ssl) != 1) {
        long verify = api.SSL_get_verify_result(state->ssl);
        if (verify != X509_V_OK) {
            error = std::string("certificate verification failed: ") +
                    api.X509_verify_cert_error_string(verify);
            api.ERR_clear_error();
        } else {
            error = lastError(api, "TLS handshake failed");
        }
        return nullptr;
    }
    return std::unique_ptr<TlsSession>(new TlsSession(std::move(state)));
}

int64_t TlsSession::send(std::string_view data) {
    const OpenSsl& api = state_->api;
    size_t sent = 0;
    while (sent < data.size()) {
        size_t written = 0;
        if (api.SSL_write_ex(state_->ssl, data.data() + sent, data.size() - sent, &written) != 1) {
            api.ERR_clear_error();
            return -1;
        }
        sent += written;
    }
    return static_cast<int64_t>(sent);
}

std::string TlsSession::receive(size_t max) {
    const OpenSsl& api = state_->api;
    std::string buffer(max, '\0');
    size_t got = 0;
    if (max == 0 || api.SSL_read_ex(state_->ssl, buffer.data(), max, &got) != 1) {
        api.ERR_clear_error();
        return {};
    }
    buffer.resize(got);
    return buffer;
}

} // namespace zarn::stdlib
