#include "endpoint/AppServer.h"

#include <malloc.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <array>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/stream_traits.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>

#include "endpoint/Connection.h"
#include "endpoint/Router.h"

namespace evt::server {

using namespace endpoint;

struct AppServer::Impl : ServerCore {
    tcp::acceptor acceptor{ioc};
    asio::steady_timer acceptRetry{ioc};
    int port = 0;

    std::mutex stateMutex;
    std::condition_variable finishedChanged;
    bool bound = false;
    bool entered = false;  // ListenAfterBind has started
    bool stopRequested = false;
    bool finished = false;
    std::mutex joinMutex;
    std::thread thread;

    Impl(std::vector<std::shared_ptr<RemoteDataModule>> modules, Limits l, Access a,
         std::vector<std::shared_ptr<WebService>> web);
    ~Impl();
    void accept();
    void admit(tcp::socket socket);
    void stopOnIoThread();
};

AppServer::Impl::Impl(std::vector<std::shared_ptr<RemoteDataModule>> modules, Limits l, Access a,
                      std::vector<std::shared_ptr<WebService>> web)
    : ServerCore(std::move(modules), l, std::move(a), std::move(web)) {
    if (!access.token.empty()) token = sha256(access.token);
    const bool certificate = !access.tlsCertificate.empty();
    if (certificate != !access.tlsKey.empty())
        throw ServerConfigError(
            "Para HTTPS informe o certificado (TLSCertificate) e a chave (TLSKey); só um foi "
            "informado.");
    if (!certificate) return;
    tls.emplace(ssl::context::tls_server);
    tls->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                     ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 |
                     ssl::context::single_dh_use);
    // The widely used "intermediate" profile: TLS 1.3, and TLS 1.2 with
    // forward secrecy (ECDHE) and authenticated encryption (GCM, ChaCha20)
    // only, in the server's order. CBC suites (LUCKY13), RSA key exchange
    // and finite-field DHE are not offered.
    SSL_CTX* native = tls->native_handle();
    SSL_CTX_set_options(
        native, SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION);
    if (SSL_CTX_set_cipher_list(native, kTls12Suites) != 1)
        throw ServerConfigError("As cifras TLS 1.2 do servidor não estão disponíveis no OpenSSL.");
    error_code ec;
    tls->use_certificate_chain_file(access.tlsCertificate, ec);
    if (ec)
        throw ServerConfigError("Não foi possível usar o certificado TLS " + access.tlsCertificate +
                                " (TLSCertificate): o arquivo falta ou não é um certificado PEM.");
    tls->use_private_key_file(access.tlsKey, ssl::context::pem, ec);
    if (ec)
        throw ServerConfigError("Não foi possível usar a chave TLS " + access.tlsKey +
                                " (TLSKey): o arquivo falta ou não é uma chave PEM.");
    if (SSL_CTX_check_private_key(tls->native_handle()) != 1)
        throw ServerConfigError("A chave TLS " + access.tlsKey +
                                " não corresponde ao certificado " + access.tlsCertificate + ".");
}

AppServer::Impl::~Impl() {
    workers.join();
}

void AppServer::Impl::accept() {
    acceptor.async_accept([this](const error_code& ec, tcp::socket socket) {
        if (stopping || !acceptor.is_open() || ec == asio::error::operation_aborted) return;
        if (!ec) {
            admit(std::move(socket));
        } else if (ec == asio::error::no_descriptors || ec == asio::error::no_buffer_space ||
                   ec == asio::error::no_memory) {
            // Out of file descriptors: wait a moment instead of spinning.
            ConnectionLine("-", "não aceita: o servidor está sem descritores de arquivo livres.");
            acceptRetry.expires_after(Millis(100));
            acceptRetry.async_wait([this](const error_code& wait) {
                if (!wait) accept();
            });
            return;
        }
        accept();
    });
}

void AppServer::Impl::admit(tcp::socket socket) {
    error_code ec;
    const tcp::endpoint remote = socket.remote_endpoint(ec);
    if (ec) return;
    // Without it a kept-alive call waits ~40 ms on delayed ACKs.
    socket.set_option(tcp::no_delay(true), ec);
    const std::string peer = addressText(remote.address());
    if (open >= limits.maxConnections) {
        metrics.LimitHit("MaxConnections");
        ConnectionLine(peer, "fechada: " + std::to_string(open) +
                                 " conexões abertas, o limite do servidor (MaxConnections).");
        socket.close(ec);
        return;
    }
    std::size_t& fromPeer = perAddress[peer];
    const bool counted = fromPeer < limits.maxConnectionsPerAddress;
    if (counted) ++fromPeer;
    if (fromPeer == 0) perAddress.erase(peer);
    ++open;
    if (tls) {
        using Tls = ssl::stream<beast::tcp_stream>;
        std::make_shared<Connection<Tls>>(*this, Tls(beast::tcp_stream(std::move(socket)), *tls),
                                          peer, counted)
            ->Start();
    } else {
        std::make_shared<Connection<beast::tcp_stream>>(*this, beast::tcp_stream(std::move(socket)),
                                                        peer, counted)
            ->Start();
    }
}

void AppServer::Impl::stopOnIoThread() {
    stopping = true;
    error_code ignored;
    acceptor.close(ignored);
    acceptRetry.cancel();
    const std::vector<Session*> current(sessions.begin(), sessions.end());
    for (Session* session : current) session->StopNow();
}

AppServer::AppServer(std::vector<std::shared_ptr<RemoteDataModule>> modules, Limits limits,
                     Access access, std::vector<std::shared_ptr<WebService>> web)
    : impl_(std::make_unique<Impl>(std::move(modules), limits, std::move(access), std::move(web))) {
    const std::vector<std::string> hosted = impl_->router.ModuleNames();
    for (const auto& service : impl_->web) {
        const std::string prefix = service ? service->Prefix() : std::string();
        if (prefix.size() < 2 || prefix.front() != '/' ||
            prefix.find_first_of("/?", 1) != std::string::npos ||
            std::find(hosted.begin(), hosted.end(), prefix.substr(1)) != hosted.end())
            throw corvana::Error("Serviço web inválido no servidor de aplicação: \"" + prefix +
                                 "\".");
    }
}

AppServer::~AppServer() {
    Stop();
}

namespace {

std::optional<tcp::endpoint> resolve(asio::io_context& ioc, const std::string& host, int port) {
    error_code ec;
    tcp::resolver resolver(ioc);
    const auto results = resolver.resolve(
        host, std::to_string(port), tcp::resolver::numeric_service | tcp::resolver::passive, ec);
    if (ec || results.empty()) return std::nullopt;
    return *results.begin();
}

void checkAccess(const std::string& host, const std::optional<tcp::endpoint>& endpoint,
                 bool token) {
    if (endpoint && !isLoopback(endpoint->address()) && !token)
        throw ServerConfigError(
            "O servidor de aplicação só escuta em " + host +
            ", fora do loopback, com um token de acesso: defina AccessToken ou AccessTokenFile "
            "(docs/server.md).");
}

}  // namespace

void AppServer::CheckAccess(const std::string& host, const Access& access) {
    asio::io_context ioc;
    checkAccess(host, resolve(ioc, host, 0), !access.token.empty());
}

bool AppServer::Bind(const std::string& host, int port) {
    std::lock_guard lock(impl_->stateMutex);
    if (impl_->bound || impl_->stopRequested || port < 0 || port > 65535) return false;
    const auto endpoint = resolve(impl_->ioc, host, port);
    checkAccess(host, endpoint, impl_->token.has_value());
    if (!endpoint) return false;
    error_code ec;
    auto& acceptor = impl_->acceptor;
    acceptor.open(endpoint->protocol(), ec);
    // One server per port: SO_REUSEADDR only lets a port just released be
    // bound again; it never lets two servers share it.
    if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor.bind(*endpoint, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error_code ignored;
        acceptor.close(ignored);
        return false;
    }
    impl_->port = acceptor.local_endpoint(ec).port();
    impl_->bound = !ec;
    return impl_->bound;
}

int AppServer::Port() const {
    return impl_->port;
}

bool AppServer::Tls() const {
    return impl_->tls.has_value();
}

void AppServer::ListenAfterBind() {
    {
        std::lock_guard lock(impl_->stateMutex);
        if (!impl_->bound || impl_->entered || impl_->stopRequested) {
            impl_->finished = true;
            impl_->finishedChanged.notify_all();
            return;
        }
        impl_->entered = true;
    }
    impl_->accept();
    for (;;) {
        try {
            impl_->ioc.run();
            break;
        } catch (const std::exception& e) {
            impl_->Write(std::string("evt07800-server: falha inesperada: ") + e.what() + "\n");
        }
    }
    std::lock_guard lock(impl_->stateMutex);
    impl_->finished = true;
    impl_->finishedChanged.notify_all();
}

void AppServer::Start() {
    std::lock_guard join(impl_->joinMutex);
    if (impl_->thread.joinable()) return;
    impl_->thread = std::thread([this] { ListenAfterBind(); });
}

void AppServer::Stop() {
    bool serving = false;
    {
        std::lock_guard lock(impl_->stateMutex);
        impl_->stopRequested = true;
        serving = impl_->entered;
    }
    if (serving) {
        asio::post(impl_->ioc, [impl = impl_.get()] { impl->stopOnIoThread(); });
        std::unique_lock lock(impl_->stateMutex);
        impl_->finishedChanged.wait(lock, [&] { return impl_->finished; });
    } else {
        error_code ignored;
        impl_->acceptor.close(ignored);
    }
    std::lock_guard join(impl_->joinMutex);
    if (impl_->thread.joinable() && impl_->thread.get_id() != std::this_thread::get_id())
        impl_->thread.join();
}

void AppServer::SetAccessToken(const std::string& token) {
    if (token.empty()) throw ServerConfigError("O token de acesso não pode ficar vazio.");
    // The digest is read on the I/O thread, which takes the new one.
    asio::post(impl_->ioc, [impl = impl_.get(), digest = sha256(token)] { impl->token = digest; });
}

void AppServer::SetGauges(GaugeSource gauges) {
    impl_->gauges = std::move(gauges);
}

std::vector<std::string> AppServer::ModuleNames() const {
    return impl_->router.ModuleNames();
}

}  // namespace evt::server
