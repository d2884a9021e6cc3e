#include "corvana/net/TNetConnection.h"

#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>

#include "corvana/core/Corvana.h"
#include "corvana/data/Error.h"

namespace corvana {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;

// The largest answer taken: the 99,998-guest list is about 16 MB. Above it
// the reply is a transport failure rather than an allocation that may sink
// the host.
constexpr std::uint64_t kMaxAnswerBytes = std::uint64_t{512} * 1024 * 1024;
constexpr std::uint32_t kMaxHeaderBytes = 64 * 1024;
// Beast reads at most what the buffer holds beyond 512 bytes, up to 64 KiB: a
// buffer left small reads a 16 MB answer 512 bytes per system call.
constexpr std::size_t kReadChunk = 64 * 1024;

// A path segment with every byte outside the unreserved set percent-encoded,
// so that a name cannot add segments or a query to the path.
std::string encodeSegment(const std::string& text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
            u == '-' || u == '.' || u == '_' || u == '~') {
            out += c;
        } else {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 0x0F];
        }
    }
    return out;
}

// The {"$error": text} message of a refusal, or "" when the body is not one.
std::string serverMessage(const std::string& body) {
    try {
        const Variant answer = Variant::fromJson(body);
        if (answer.isError()) return answer.errorMessage();
    } catch (const Error&) {
    }
    return {};
}

// A host name or address fit for the Host header: printable, no blanks.
bool validHost(const std::string& host) {
    if (host.empty()) return false;
    for (char c : host) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 0x7F) return false;
    }
    return true;
}

bool isIpAddress(const std::string& host) {
    beast::error_code ec;
    asio::ip::make_address(host, ec);
    return !ec;
}

// `text` with every occurrence of `secret` masked, for a message that shows
// what the server wrote.
std::string withoutSecret(std::string text, const std::string& secret) {
    if (secret.empty()) return text;
    for (auto at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
        text.replace(at, secret.size(), "***");
    return text;
}

// Why the server's certificate was refused, for the user.
std::string certificateProblem(long result, const std::string& host, const std::string& caFile) {
    switch (result) {
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return "emitido para outro nome de servidor, não para " + host;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            return caFile.empty()
                       ? "emitido por uma autoridade que o sistema não reconhece (informe o "
                         "certificado da autoridade em TLSCAFile)"
                       : "emitido por uma autoridade que não está em " + caFile + " (TLSCAFile)";
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return "vencido";
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return "ainda não válido";
        default:
            return std::string("inválido (") + X509_verify_cert_error_string(result) + ")";
    }
}

using Response = http::response<http::string_body>;

}  // namespace

struct TNetConnection::Impl {
    std::string serverName;
    std::string host;
    int port = 0;
    bool throwException = true;
    bool connected = false;
    std::vector<std::string> methods;
    std::string lastError;
    std::chrono::milliseconds connectTimeout{3000};
    std::chrono::milliseconds readTimeout{120000};

    // Read from the settings at each connect: HTTPS and the certificates it
    // trusts, and the access token every request carries.
    bool useTls = false;
    std::string caFile;
    std::string token;
    std::optional<ssl::context> tlsContext;

    // The transport: one HTTP connection (plain or TLS), kept alive between
    // calls. It may be closed while the module stays connected (the server
    // ended the kept-alive connection); the next call opens it again.
    asio::io_context io;
    std::optional<beast::tcp_stream> plain;
    std::optional<beast::ssl_stream<beast::tcp_stream>> secure;
    beast::flat_buffer buffer;

    Impl() { buffer.reserve(kReadChunk); }

    bool transportOpen() const { return plain || secure; }
    beast::tcp_stream& tcpLayer() { return secure ? beast::get_lowest_layer(*secure) : *plain; }
    // Runs `f` on the open transport's stream, whichever kind it is.
    template <class F>
    decltype(auto) onStream(F&& f) {
        if (secure) return f(*secure);
        return f(*plain);
    }

    std::string address() const { return host + ":" + std::to_string(port); }
    std::string unreachable() const {
        return "Não foi possível conectar ao servidor de aplicação em " + address() + ".";
    }
    Error noAnswer(const std::string& what) const {
        return Error("O servidor de aplicação em " + address() + " não respondeu " + what +
                     " (tempo esgotado ou conexão interrompida).");
    }

    // Runs one asynchronous operation of the stream to its end on the
    // calling thread; the stream's expiry bounds it.
    template <class Start>
    beast::error_code run(Start&& start) {
        bool done = false;
        beast::error_code result = asio::error::operation_aborted;
        io.restart();
        start([&](beast::error_code ec, auto&&...) {
            result = ec;
            done = true;
        });
        while (!done && io.run_one() != 0) {
        }
        return result;
    }

    // Without a TLS closing handshake: the server waits for nothing from it.
    void closeTransport() {
        if (transportOpen()) {
            beast::error_code ignored;
            tcpLayer().socket().shutdown(tcp::socket::shutdown_both, ignored);
            tcpLayer().socket().close(ignored);
            secure.reset();
            plain.reset();
        }
        buffer.clear();
        // Handlers of the closed socket and its timer are dropped with it.
        io.restart();
        io.poll();
    }

    // Whether the kept-alive connection can carry the next request: nothing
    // may be waiting on it. A server that closed it (its idle time-out, a
    // stop) left an end of stream there; anything else would be out of step.
    bool idleTransportUsable() {
        if (!transportOpen() || !tcpLayer().socket().is_open() || buffer.size() != 0) return false;
        pollfd p{tcpLayer().socket().native_handle(), POLLIN, 0};
        return ::poll(&p, 1, 0) == 0;
    }

    // The TLS settings of a connect: the server's certificate chain checked
    // against TLSCAFile, or the system's store when it is not set.
    void prepareTls() {
        tlsContext.reset();
        if (!useTls) return;
        try {
            tlsContext.emplace(ssl::context::tls_client);
        } catch (const boost::system::system_error&) {
            throw Error(
                "Não foi possível preparar a conexão segura (TLS) com o servidor de "
                "aplicação.");
        }
        SSL_CTX_set_min_proto_version(tlsContext->native_handle(), TLS1_2_VERSION);
        tlsContext->set_verify_mode(ssl::verify_peer);
        beast::error_code ec;
        if (caFile.empty())
            tlsContext->set_default_verify_paths(ec);
        else
            tlsContext->load_verify_file(caFile, ec);
        if (ec)
            throw Error(caFile.empty()
                            ? "Não foi possível ler os certificados de autoridade do sistema."
                            : "Não foi possível ler os certificados de autoridade do arquivo " +
                                  caFile + " (TLSCAFile).");
    }

    // Raises the "unreachable" error when nothing answers at the address,
    // and a certificate error, before any request, when the server's does
    // not pass.
    void openTransport() {
        closeTransport();
        tcp::resolver resolver(io);
        beast::error_code ec;
        const auto endpoints = resolver.resolve(host, std::to_string(port), ec);
        if (ec) throw Error(unreachable());
        if (tlsContext)
            secure.emplace(io, *tlsContext);
        else
            plain.emplace(io);
        tcpLayer().expires_after(connectTimeout);
        ec = run([&](auto handler) { tcpLayer().async_connect(endpoints, std::move(handler)); });
        if (ec) {
            closeTransport();
            throw Error(unreachable());
        }
        // Without it a kept-alive call waits ~40 ms on delayed ACKs.
        tcpLayer().socket().set_option(tcp::no_delay(true), ec);
        if (secure) handshakeTls();
    }

    void handshakeTls() {
        SSL* ssl = secure->native_handle();
        X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        const bool byAddress = isIpAddress(host);
        // The name the certificate must carry (an address goes by its own
        // field), and the name the server picks its certificate by.
        if ((byAddress ? X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str())
                       : X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size())) != 1 ||
            (!byAddress && SSL_set_tlsext_host_name(ssl, host.c_str()) != 1)) {
            closeTransport();
            throw Error("Endereço inválido para o servidor de aplicação: \"" + address() + "\".");
        }
        tcpLayer().expires_after(connectTimeout);
        const beast::error_code ec =
            run([&](auto handler) { secure->async_handshake(ssl::stream_base::client, handler); });
        if (!ec) return;
        const long verified = SSL_get_verify_result(ssl);
        closeTransport();
        if (verified != X509_V_OK)
            throw Error("Certificado do servidor de aplicação em " + address() +
                        " recusado: " + certificateProblem(verified, host, caFile) + ".");
        if (ec == beast::error::timeout) throw noAnswer("ao pedido de conexão");
        throw Error("Falha na conexão segura (TLS) com o servidor de aplicação em " + address() +
                    " (" + ec.message() + "); confira se o servidor atende em HTTPS (WebTLS).");
    }

    http::request<http::string_body> request(http::verb verb, std::string target) const {
        http::request<http::string_body> req{verb, target, 11};
        req.set(http::field::host, host + ":" + std::to_string(port));
        if (!token.empty()) req.set(http::field::authorization, "Bearer " + token);
        req.keep_alive(true);
        return req;
    }

    // The server's message in a refusal, never showing the token.
    std::string shownMessage(const Response& res) const {
        return withoutSecret(serverMessage(res.body()), token);
    }
    Error accessDenied(const std::string& message) const {
        return Error(message.empty() ? "Acesso negado pelo servidor de aplicação em " + address() +
                                           " (HTTP 401)."
                                     : "Acesso negado pelo servidor de aplicação: " + message);
    }

    enum class Failure { None, Send, Receive, TooLarge, Malformed };

    // One request and its answer on the open transport. `answered` tells
    // whether any byte of the answer came.
    Failure exchange(http::request<http::string_body>& req, Response& res, bool& answered) {
        answered = false;
        tcpLayer().expires_after(readTimeout);
        beast::error_code ec = onStream([&](auto& stream) {
            return run([&](auto handler) { http::async_write(stream, req, std::move(handler)); });
        });
        if (ec) return Failure::Send;
        http::response_parser<http::string_body> parser;
        parser.body_limit(kMaxAnswerBytes);
        parser.header_limit(kMaxHeaderBytes);
        tcpLayer().expires_after(readTimeout);
        ec = onStream([&](auto& stream) {
            return run([&](auto handler) {
                http::async_read(stream, buffer, parser, std::move(handler));
            });
        });
        answered = parser.got_some() || buffer.size() != 0;
        if (ec) {
            if (ec == http::error::body_limit) return Failure::TooLarge;
            if (ec.category() == http::make_error_code(http::error::end_of_stream).category() &&
                ec != http::error::end_of_stream && ec != http::error::partial_message)
                return Failure::Malformed;
            return Failure::Receive;
        }
        res = parser.release();
        return Failure::None;
    }

    // Sends `req` and returns its answer. A kept-alive connection the server
    // has closed is opened again, and a request that found it closing (the
    // connection ended before any answer came) is sent once more on a new
    // one. Raises corvana::Error on a transport failure, with `what` saying
    // what went unanswered; the transport is then closed.
    Response send(http::request<http::string_body>& req, const std::string& what) {
        bool reused = transportOpen();
        if (reused && !idleTransportUsable()) {
            openTransport();
            reused = false;
        } else if (!reused) {
            openTransport();
        }
        req.prepare_payload();
        for (;;) {
            Response res;
            bool answered = false;
            const Failure failure = exchange(req, res, answered);
            if (failure == Failure::None) {
                if (!res.keep_alive()) closeTransport();
                return res;
            }
            if (reused && !answered && (failure == Failure::Send || failure == Failure::Receive)) {
                openTransport();
                reused = false;
                continue;
            }
            closeTransport();
            switch (failure) {
                case Failure::Send:
                    throw Error("Falha ao enviar " + what + " ao servidor de aplicação em " +
                                address() + " (conexão interrompida).");
                case Failure::TooLarge:
                    throw Error("A resposta do servidor de aplicação em " + address() + " " + what +
                                " excede o limite de " +
                                std::to_string(kMaxAnswerBytes / (1024 * 1024)) + " MiB.");
                case Failure::Malformed:
                    throw Error("Resposta ilegível do servidor de aplicação em " + address() + " " +
                                what + " (não é HTTP válido).");
                default:
                    throw noAnswer(what);
            }
        }
    }

    // Opens the HTTP connection and checks, with the handshake, that the
    // server hosts the module. Raises corvana::Error.
    void connect() {
        if (serverName.empty())
            throw Error(
                "Informe o nome do módulo remoto (ServerName) antes de conectar ao servidor de "
                "aplicação.");
        if (!validHost(host) || port < 1 || port > 65535)
            throw Error("Endereço inválido para o servidor de aplicação: \"" + address() + "\".");
        closeTransport();
        token = Corvana::AccessToken();
        useTls = Corvana::WebTLS();
        caFile = Corvana::TLSCAFile();
        prepareTls();
        auto req = request(http::verb::get, "/" + encodeSegment(serverName));
        Response res = send(req, "ao pedido de conexão");
        if (res.result_int() != 200) {
            closeTransport();
            const std::string message = shownMessage(res);
            if (res.result_int() == 401) throw accessDenied(message);
            if (res.result_int() == 404)
                throw Error("O servidor de aplicação em " + address() +
                            " não hospeda o módulo remoto " + serverName +
                            (message.empty() ? "." : " (" + message + ")."));
            throw Error(message.empty() ? "O servidor de aplicação em " + address() +
                                              " recusou a conexão (HTTP " +
                                              std::to_string(res.result_int()) + ")."
                                        : message);
        }
        std::vector<std::string> announced;
        const auto handshake = nlohmann::json::parse(res.body(), nullptr, false);
        bool valid = handshake.is_object() && handshake.contains("module") &&
                     handshake["module"].is_string() && handshake.contains("methods") &&
                     handshake["methods"].is_array();
        if (valid) {
            for (const auto& m : handshake["methods"]) {
                if (!m.is_string()) {
                    valid = false;
                    break;
                }
                announced.push_back(m.get<std::string>());
            }
        }
        if (!valid) {
            closeTransport();
            throw Error("Resposta inválida do servidor de aplicação em " + address() +
                        " ao pedido de conexão.");
        }
        if (handshake["module"].get<std::string>() != serverName) {
            closeTransport();
            throw Error("O servidor de aplicação em " + address() + " respondeu pelo módulo " +
                        handshake["module"].get<std::string>() + " em vez de " + serverName + ".");
        }
        methods = std::move(announced);
        connected = true;
        lastError.clear();
    }

    // A new address: the open connection, if any, was to the old one. (The
    // value is taken by reference: GCC 12 at -O3 takes a moved-in string
    // compared here for uninitialized and stops a release build.)
    template <class T>
    void change(T& member, const T& value) {
        if (value == member) return;
        close();
        member = value;
    }

    void close() {
        closeTransport();
        tlsContext.reset();
        token.clear();
        connected = false;
        methods.clear();
    }
};

TNetConnection::TNetConnection() : impl_(std::make_unique<Impl>()) {
    impl_->host = Corvana::WebURL();
    impl_->port = Corvana::WebPort();
}

TNetConnection::TNetConnection(std::string serverName) : TNetConnection() {
    impl_->serverName = std::move(serverName);
}

TNetConnection::~TNetConnection() = default;

const std::string& TNetConnection::ServerName() const {
    return impl_->serverName;
}

void TNetConnection::SetServerName(std::string name) {
    impl_->change(impl_->serverName, name);
}

const std::string& TNetConnection::Host() const {
    return impl_->host;
}

void TNetConnection::SetHost(std::string host) {
    impl_->change(impl_->host, host);
}

int TNetConnection::Port() const {
    return impl_->port;
}

void TNetConnection::SetPort(int port) {
    impl_->change(impl_->port, port);
}

bool TNetConnection::Connected() const {
    return impl_->connected;
}

void TNetConnection::SetConnected(bool connected) {
    if (connected == impl_->connected) return;
    if (connected)
        Open();
    else
        Close();
}

void TNetConnection::Open() {
    impl_->close();
    try {
        connectOnce();
    } catch (const Error&) {
        if (impl_->throwException) throw;
    }
}

void TNetConnection::connectOnce() {
    try {
        if (BeforeConnect) BeforeConnect(*this);
        impl_->connect();
    } catch (const Error& e) {
        impl_->close();
        impl_->lastError = e.what();
        throw;
    }
}

void TNetConnection::Close() {
    impl_->close();
}

bool TNetConnection::ThrowException() const {
    return impl_->throwException;
}

void TNetConnection::SetThrowException(bool value) {
    impl_->throwException = value;
}

Variant TNetConnection::Call(const std::string& method, std::vector<Variant> args) {
    Variant answer;
    send(method, std::move(args),
         [&](const std::string& body) { answer = Variant::fromJson(body); });
    return answer;
}

std::optional<PackedData> TNetConnection::CallData(const std::string& method,
                                                   std::vector<Variant> args, Variant& other) {
    std::optional<PackedData> packed;
    send(method, std::move(args),
         [&](const std::string& body) { packed = PackedData::fromAnswerJson(body, other); });
    return packed;
}

void TNetConnection::send(const std::string& method, std::vector<Variant> args,
                          const std::function<void(const std::string&)>& read) {
    // One attempt; a call cannot go on without a server, so this raises
    // whatever ThrowException says.
    if (!impl_->connected) connectOnce();
    auto req = impl_->request(http::verb::post,
                              "/" + encodeSegment(impl_->serverName) + "/" + encodeSegment(method));
    req.set(http::field::content_type, "application/json");
    req.body() = Variant(Variant::Array(std::move(args))).toJson();
    Response res;
    try {
        res = impl_->send(req, "à chamada " + method);
    } catch (const Error&) {
        // The connection is in doubt; the next call connects again.
        impl_->close();
        throw;
    }
    if (res.result_int() == 200) {
        try {
            read(res.body());
            return;
        } catch (const Error& e) {
            throw Error("Resposta ilegível do servidor de aplicação em " + impl_->address() +
                        " à chamada " + method + ": " + e.what());
        }
    }
    const std::string message = impl_->shownMessage(res);
    if (res.result_int() == 401) {
        // The next call connects again with the token then in force.
        const Error denied = impl_->accessDenied(message);
        impl_->close();
        throw denied;
    }
    if (!message.empty()) throw Error(message);
    throw Error("O servidor de aplicação em " + impl_->address() + " recusou a chamada " + method +
                " (HTTP " + std::to_string(res.result_int()) + ").");
}

const std::vector<std::string>& TNetConnection::Methods() const {
    return impl_->methods;
}

const std::string& TNetConnection::LastError() const {
    return impl_->lastError;
}

void TNetConnection::SetConnectTimeout(std::chrono::milliseconds timeout) {
    impl_->connectTimeout = timeout;
}

void TNetConnection::SetReadTimeout(std::chrono::milliseconds timeout) {
    impl_->readTimeout = timeout;
}

}  // namespace corvana
