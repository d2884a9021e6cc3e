#pragma once
// One connection of the application server, over plain TCP or TLS, and the
// state the connections share (ServerCore): the handshake, reading a request
// under its limits, handing the call to a worker, writing the answer, closing.
// Each asynchronous step is a pair, doX and its handler onX (doHandshake/
// onHandshake, doReadHeader/onReadHeader, doReadBody/onReadBody, doCall/
// onCalled, doWrite/onWrite, doShutdown/onShutdown); every step that fails
// goes through fail(), which logs why, when there is something to say, and
// closes. Included by AppServer.cpp only.
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
#include "endpoint/AppServer.h"
#include "endpoint/Metrics.h"
#include "endpoint/Router.h"
#include "endpoint/WebService.h"

namespace evt::server::endpoint {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;
using error_code = boost::system::error_code;
using Digest = std::array<unsigned char, 32>;

constexpr const char* kJson = "application/json; charset=utf-8";
constexpr const char* kPrometheusText = "text/plain; version=0.0.4; charset=utf-8";
// TLS 1.2 suites, in the server's order of preference (TLS 1.3 keeps
// OpenSSL's own, all of them AEAD); and the HSTS header of HTTPS answers
// (two years).
constexpr const char* kTls12Suites =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
    "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
    "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";
constexpr const char* kHsts = "max-age=63072000";
// How long a connection closed after a refusal keeps reading (and
// dropping) what the client still sends, so that the close does not reset
// the connection before the client has read the answer.
constexpr Millis kLingerTime{2000};
constexpr std::uint64_t kTrimAfterBytes = 1024 * 1024;
constexpr std::size_t kLingerBytes = 1024 * 1024;
// Lines about connections (not calls) written in one second at most; the
// rest are counted and the count goes with the next line written.
constexpr int kConnectionLinesPerSecond = 10;

inline std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

Digest sha256(std::string_view text) {
    Digest out{};
    unsigned int size = static_cast<unsigned int>(out.size());
    if (EVP_Digest(text.data(), text.size(), out.data(), &size, EVP_sha256(), nullptr) != 1)
        throw corvana::Error("Falha ao calcular o resumo do token de acesso.");
    return out;
}

// "10 s", "0.5 s".
inline std::string secondsText(Millis time) {
    if (time.count() % 1000 == 0) return std::to_string(time.count() / 1000) + " s";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(time.count()) / 1000);
    return text;
}

// The time a transfer of `bytes` may take.
inline Millis transferTime(const ServerLimits& limits, std::uint64_t bytes) {
    const std::uint64_t rate = std::max<std::uint64_t>(limits.minTransferRate, 1);
    return limits.bodyTimeout + Millis(bytes * 1000 / rate);
}

// The client's address as the per-address limit counts it: an IPv4 client
// of a dual-stack socket as IPv4.
inline std::string addressText(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string();
    return address.to_string();
}

inline bool isLoopback(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).is_loopback();
    return address.is_loopback();
}

// A strict Content-Length: one header, decimal digits only.
inline bool strictLength(const http::request<http::string_body>& req, std::uint64_t& length) {
    if (req.count(http::field::content_length) != 1) return false;
    const std::string_view text = trim(req[http::field::content_length]);
    if (text.empty() || text.size() > 19) return false;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    length = value;
    return true;
}

inline bool isHttpError(const error_code& ec) {
    return ec.category() == http::make_error_code(http::error::bad_method).category();
}

class Session {
public:
    virtual ~Session() = default;
    // The server stops: a connection waiting for a request closes at once;
    // one whose call is in progress closes once its answer is out.
    virtual void StopNow() = 0;
};

// What every connection shares: the router, the limits, the bookkeeping of
// open connections. Touched only on the I/O thread but for the router and
// the worker pool.
struct ServerCore {
    ServerLimits limits;
    ServerAccess access;
    Router router;
    std::vector<std::shared_ptr<WebService>> web;
    std::optional<Digest> token;
    std::optional<ssl::context> tls;

    Metrics metrics;
    GaugeSource gauges;

    std::set<Session*> sessions;
    std::size_t open = 0;
    std::map<std::string, std::size_t, std::less<>> perAddress;
    std::uint64_t bodiesInFlight = 0;  // bytes of the bodies being read or called
    bool stopping = false;
    std::array<char, 16 * 1024> drainSpace{};

    std::mutex logMutex;
    Clock::time_point logWindow{};
    int linesInWindow = 0;
    std::size_t linesDropped = 0;

    // Declared after what the connections use, so that connections still
    // held by its handlers are destroyed first.
    asio::io_context ioc{1};
    asio::thread_pool workers;

    ServerCore(std::vector<std::shared_ptr<RemoteDataModule>> modules, ServerLimits l,
               ServerAccess a, std::vector<std::shared_ptr<WebService>> services)
        : limits(l),
          access(std::move(a)),
          router(std::move(modules)),
          web(std::move(services)),
          workers(std::max<std::size_t>(l.workerThreads, 1)) {}

    // The web service that answers `path` (its prefix, or a path under it);
    // null for the remote data modules' paths.
    WebService* FindWeb(std::string_view path) const {
        for (const auto& service : web) {
            const std::string prefix = service->Prefix();
            if (path.starts_with(prefix) &&
                (path.size() == prefix.size() || path[prefix.size()] == '/'))
                return service.get();
        }
        return nullptr;
    }

    // A web service's answer, whatever it raises.
    static WebAnswer CallWeb(WebService& service, const WebRequest& request) {
        try {
            return service.Handle(request);
        } catch (const std::exception& e) {
            WebAnswer answer;
            answer.status = 500;
            answer.body = "{\"erro\":\"Erro interno do servidor de aplicação.\"}";
            answer.outcome = std::string("error: ") + Router::Printable(e.what());
            return answer;
        } catch (...) {
            WebAnswer answer;
            answer.status = 500;
            answer.body = "{\"erro\":\"Erro interno do servidor de aplicação.\"}";
            answer.outcome = "error";
            return answer;
        }
    }

    void Write(const std::string& line) {
        std::lock_guard lock(logMutex);
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }

    // A line about a connection rather than a call (a limit, a time-out).
    void ConnectionLine(const std::string& peer, const std::string& text) {
        if (!limits.logCalls || limits.logLevel == LogLevel::Errors) return;
        const auto now = Clock::now();
        if (now - logWindow >= std::chrono::seconds(1)) {
            logWindow = now;
            linesInWindow = 0;
        }
        if (++linesInWindow > kConnectionLinesPerSecond) {
            ++linesDropped;
            return;
        }
        std::string line = "evt07800-server: conexão de " + peer + " " + text;
        if (linesDropped > 0) {
            line += " (" + std::to_string(linesDropped) + " avisos semelhantes omitidos)";
            linesDropped = 0;
        }
        Write(line + "\n");
    }

    // The token check, in constant time whatever the token given.
    enum class Auth { Ok, Missing, Wrong };
    Auth Authorize(const http::request<http::string_body>& req) const {
        if (!token) return Auth::Ok;
        const auto range = req.equal_range(http::field::authorization);
        if (range.first == range.second) return Auth::Missing;
        if (std::next(range.first) != range.second) return Auth::Wrong;
        const std::string_view value = trim(range.first->value());
        if (value.size() < 7 || !beast::iequals(value.substr(0, 7), "Bearer ")) return Auth::Wrong;
        const Digest given = sha256(trim(value.substr(7)));
        return CRYPTO_memcmp(given.data(), token->data(), given.size()) == 0 ? Auth::Ok
                                                                             : Auth::Wrong;
    }
};

// One connection, over plain TCP or TLS: the handshake, then requests one
// after the other. Every wait has a deadline; no thread waits for the
// client.
template <class Stream>
class Connection : public Session, public std::enable_shared_from_this<Connection<Stream>> {
public:
    static constexpr bool kTls = !std::is_same_v<Stream, beast::tcp_stream>;

    Connection(ServerCore& server, Stream stream, std::string peer, bool counted)
        : srv_(server), stream_(std::move(stream)), peer_(std::move(peer)), counted_(counted) {
        srv_.sessions.insert(this);
    }

    ~Connection() override {
        if (cancelHold_) cancelHold_();
        releaseBody();
        srv_.sessions.erase(this);
        --srv_.open;
        if (counted_) {
            const auto it = srv_.perAddress.find(peer_);
            if (it != srv_.perAddress.end() && --it->second == 0) srv_.perAddress.erase(it);
        }
    }

    void Start() {
        lowest().expires_after(srv_.limits.headerTimeout);
        if constexpr (kTls)
            doHandshake();
        else
            begin();
    }

    void StopNow() override {
        // A call in progress finishes and its answer goes out first; a call
        // that waits is answered at once.
        if (state_ == State::Holding) return endHold();
        if (state_ == State::Calling || state_ == State::Writing) return;
        closeNow();
    }

private:
    enum class State { Handshake, Idle, Header, Body, Calling, Holding, Writing, Closing, Done };

    beast::tcp_stream& lowest() { return beast::get_lowest_layer(stream_); }

    // The one way out of a failed step: the reason (none when the client
    // just went away or the server stops) goes to the log, and the
    // connection closes.
    void fail(const std::string& reason = {}) {
        if (!reason.empty()) srv_.ConnectionLine(peer_, "encerrada: " + reason);
        closeNow();
    }

    void doHandshake() {
        state_ = State::Handshake;
        stream_.async_handshake(
            ssl::stream_base::server,
            [self = this->shared_from_this()](const error_code& ec) { self->onHandshake(ec); });
    }

    void onHandshake(const error_code& ec) {
        if (ec == beast::error::timeout)
            return failAtLimit("HeaderTimeout", "negociação TLS não concluída em " +
                                                    secondsText(srv_.limits.headerTimeout) + ".");
        if (ec && ec.category() == asio::error::get_ssl_category())
            return fail(
                "negociação TLS recusada (o cliente não usa HTTPS ou não aceita o "
                "certificado).");
        if (ec) return fail();
        begin();
    }

    void begin() {
        if (!counted_) {
            // Past the per-address limit: answered at once, nothing read.
            srv_.metrics.LimitHit("MaxConnectionsPerAddress");
            srv_.ConnectionLine(
                peer_, "recusada: " + std::to_string(srv_.limits.maxConnectionsPerAddress) +
                           " conexões deste endereço já abertas "
                           "(MaxConnectionsPerAddress).");
            return doWrite(503,
                           Router::Refusal(503,
                                           "Conexões demais deste endereço com o servidor de "
                                           "aplicação; tente novamente em instantes.")
                               .body,
                           false);
        }
        nextRequest(true);
    }

    void nextRequest(bool first) {
        if (srv_.stopping) return fail();
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(
            std::min<std::size_t>(srv_.limits.maxHeaderBytes, UINT32_MAX)));
        // The body's size is checked here from the header (413 before it
        // is read), so the parser takes any length until then.
        parser_->body_limit(boost::none);
        logLine_ = false;
        if (first || buffer_.size() > 0) {
            lowest().expires_after(srv_.limits.headerTimeout);
            return doReadHeader();
        }
        doReadIdle();
    }

    // Between calls: the next request's first byte must come within the
    // keep-alive time; from it, the header has the header time.
    void doReadIdle() {
        state_ = State::Idle;
        lowest().expires_after(srv_.limits.keepAliveTimeout);
        stream_.async_read_some(buffer_.prepare(4096), [self = this->shared_from_this()](
                                                           const error_code& ec, std::size_t n) {
            self->onReadIdle(ec, n);
        });
    }

    void onReadIdle(const error_code& ec, std::size_t n) {
        buffer_.commit(n);
        if (ec) return fail();
        lowest().expires_after(srv_.limits.headerTimeout);
        doReadHeader();
    }

    void doReadHeader() {
        state_ = State::Header;
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = this->shared_from_this()](
                                    const error_code& ec, std::size_t) { self->onReadHeader(ec); });
    }

    void onReadHeader(const error_code& ec) {
        if (!ec) return onRequest();
        const auto& partial = parser_->get();
        const bool chunked = partial.count(http::field::transfer_encoding) > 0;
        if (ec == http::error::header_limit)
            return refuseAtLimit("MaxHeaderBytes", 431,
                                 "Cabeçalho da chamada grande demais; o limite é " +
                                     std::to_string(srv_.limits.maxHeaderBytes) + " bytes.");
        if (ec == beast::error::timeout)
            return failAtLimit("HeaderTimeout", "cabeçalho da chamada incompleto após " +
                                                    secondsText(srv_.limits.headerTimeout) + ".");
        if (ec == http::error::bad_transfer_encoding ||
            (ec == http::error::bad_content_length && chunked))
            return refuse(411, chunkedText());
        if (ec == http::error::bad_content_length || ec == http::error::multiple_content_length)
            return refuse(400, "Content-Length inválido.");
        if (isHttpError(ec) && ec != http::error::end_of_stream &&
            ec != http::error::partial_message)
            return refuse(400, "Requisição HTTP malformada.");
        fail();  // the client closed or the server stops
    }

    static std::string chunkedText() {
        return "Corpo da chamada em partes (Transfer-Encoding) não é aceito; envie o corpo inteiro "
               "com Content-Length.";
    }

    // The header is in: everything that can be refused without the body is
    // refused here, and the body is read only if it fits.
    void onRequest() {
        auto& req = parser_->get();
        start_ = Clock::now();
        verb_ = std::string(req.method_string());
        target_ = std::string(req.target());
        path_ = target_.substr(0, target_.find('?'));
        contentType_ = std::string(req[http::field::content_type]);
        keepAlive_ = req.keep_alive() && served_ + 1 < srv_.limits.keepAliveMaxRequests;
        version_ = req.version();
        logLine_ = true;
        ++served_;
        web_ = srv_.FindWeb(path_);
        answerType_.clear();
        answerHeaders_.clear();
        if (web_) {
            webRequest_ = WebRequest{};
            webRequest_.verb = verb_;
            webRequest_.path = path_;
            const auto query = target_.find('?');
            if (query != std::string::npos) webRequest_.query = target_.substr(query + 1);
            webRequest_.contentType = contentType_;
            webRequest_.authorization = std::string(req[http::field::authorization]);
            webRequest_.acceptEncoding = std::string(req[http::field::accept_encoding]);
            webRequest_.ifNoneMatch = std::string(req[http::field::if_none_match]);
            webRequest_.peer = peer_;
        }

        const auto fields = static_cast<std::size_t>(std::distance(req.begin(), req.end()));
        if (fields > srv_.limits.maxHeaderFields)
            return refuseAtLimit("MaxHeaderFields", 431,
                                 "Campos de cabeçalho demais na chamada (" +
                                     std::to_string(fields) + "); o limite é " +
                                     std::to_string(srv_.limits.maxHeaderFields) + ".");
        // A web service checks its own access (the station's token).
        switch (web_ ? ServerCore::Auth::Ok : srv_.Authorize(req)) {
            case ServerCore::Auth::Ok:
                break;
            case ServerCore::Auth::Missing:
                return refuse(401,
                              "Acesso negado: o servidor de aplicação exige o token de acesso "
                              "(AccessToken) em toda chamada.");
            case ServerCore::Auth::Wrong:
                return refuse(401, "Acesso negado: token de acesso inválido.");
        }
        const bool isGet = verb_ == "GET" || verb_ == "HEAD";
        if (!isGet && verb_ != "POST") return refuse(405, Router::VerbRefused(verb_));
        const bool chunked = req.count(http::field::transfer_encoding) > 0;
        std::uint64_t length = 0;
        if (isGet) {
            if (chunked || (req.count(http::field::content_length) > 0 &&
                            (!strictLength(req, length) || length > 0)))
                return refuse(400, "Uma consulta GET não leva corpo.");
            // The server's figures, answered on this thread (they are its).
            if (path_ == "/metrics") {
                outcome_ = "ok";
                return doWrite(200,
                               srv_.metrics.Text(
                                   srv_.open, srv_.gauges ? srv_.gauges() : std::vector<Gauge>{}),
                               keepAlive_ && !srv_.stopping, kPrometheusText);
            }
            return doCall(std::string());
        }
        // Only Content-Length bodies: a chunked body or one read until the
        // connection closes would escape the size check below.
        if (chunked) return refuse(411, chunkedText());
        if (req.count(http::field::content_length) == 0)
            return refuse(411, "Chamada sem Content-Length: informe o tamanho do corpo.");
        if (!strictLength(req, length))
            return refuse(400, "Content-Length inválido: \"" +
                                   Router::Printable(req[http::field::content_length], 40) + "\".");
        // A compressed body could unpack far beyond the size limit.
        if (req.count(http::field::content_encoding) > 0 &&
            !beast::iequals(trim(req[http::field::content_encoding]), "identity"))
            return refuse(415, "Corpo da chamada compactado (Content-Encoding) não é aceito.");
        if (length > srv_.limits.maxBodyBytes)
            return refuseAtLimit("MaxBodyBytes", 413,
                                 "Corpo da chamada grande demais (" + std::to_string(length) +
                                     " bytes); o limite é " +
                                     std::to_string(srv_.limits.maxBodyBytes) + " bytes.");
        if (srv_.bodiesInFlight + length > srv_.limits.maxBodyBytesInFlight)
            return refuseAtLimit("MaxBodyBytesInFlight", 503,
                                 "Servidor de aplicação ocupado com outras chamadas grandes; tente "
                                 "novamente em instantes.");
        srv_.bodiesInFlight += length;
        inFlight_ = length;
        parser_->body_limit(srv_.limits.maxBodyBytes);
        bodyTime_ = transferTime(srv_.limits, length);
        // The client waits for "100 Continue" before it sends the body.
        if (beast::iequals(trim(req[http::field::expect]), "100-continue"))
            return doWriteContinue(req.version());
        doReadBody();
    }

    void doWriteContinue(unsigned version) {
        state_ = State::Body;
        continue_.emplace(http::status::continue_, version);
        lowest().expires_after(srv_.limits.headerTimeout);
        http::async_write(stream_, *continue_,
                          [self = this->shared_from_this()](const error_code& ec, std::size_t) {
                              self->onWriteContinue(ec);
                          });
    }

    void onWriteContinue(const error_code& ec) {
        continue_.reset();
        if (ec) return fail();
        doReadBody();
    }

    void doReadBody() {
        state_ = State::Body;
        if (parser_->is_done()) return doCall(parser_->release().body());
        lowest().expires_after(bodyTime_);
        http::async_read(stream_, buffer_, *parser_,
                         [self = this->shared_from_this()](const error_code& ec, std::size_t) {
                             self->onReadBody(ec);
                         });
    }

    void onReadBody(const error_code& ec) {
        if (!ec) return doCall(parser_->release().body());
        if (ec == beast::error::timeout)
            return failAtLimit("BodyTimeout",
                               "corpo de " + verb_ + " " + Router::Printable(path_, 200) +
                                   " incompleto após " + secondsText(bodyTime_) + ".");
        fail();
    }

    // The call runs on a worker; its answer comes back to this thread.
    void doCall(std::string body) {
        state_ = State::Calling;
        lowest().expires_never();
        if (web_) {
            webRequest_.body = std::move(body);
            return doWebCall([service = web_, request = std::move(webRequest_)] {
                return ServerCore::CallWeb(*service, request);
            });
        }
        asio::post(
            srv_.workers,
            [self = this->shared_from_this(), work = asio::make_work_guard(srv_.ioc), verb = verb_,
             target = target_, type = contentType_, body = std::move(body)]() mutable {
                RouterAnswer answer = self->srv_.router.Handle(verb, target, type, body);
                std::string().swap(body);
                auto& ioc = self->srv_.ioc;
                asio::post(ioc, [self = std::move(self), answer = std::move(answer)]() mutable {
                    self->onCalled(std::move(answer));
                });
            });
    }

    // A web service's call (or the resumption of one that waited) on a
    // worker; its answer comes back to this thread.
    void doWebCall(std::function<WebAnswer()> run) {
        state_ = State::Calling;
        asio::post(
            srv_.workers, [self = this->shared_from_this(), work = asio::make_work_guard(srv_.ioc),
                           run = std::move(run)]() mutable {
                WebAnswer answer;
                try {
                    answer = run();
                } catch (...) {
                    answer.status = 500;
                    answer.body = "{\"erro\":\"Erro interno do servidor de aplicação.\"}";
                    answer.outcome = "error";
                }
                run = nullptr;
                auto& ioc = self->srv_.ioc;
                asio::post(ioc, [self = std::move(self), answer = std::move(answer)]() mutable {
                    self->onWebCalled(std::move(answer));
                });
            });
    }

    void onWebCalled(WebAnswer answer) {
        releaseBody();
        if (answer.hold && !srv_.stopping && state_ == State::Calling) return doHold(answer.hold);
        outcome_ = std::move(answer.outcome);
        answerType_ = std::move(answer.contentType);
        answerHeaders_ = std::move(answer.headers);
        doWrite(answer.status, std::move(answer.body), keepAlive_ && !srv_.stopping);
    }

    // Waits, holding no thread, for the service's wake or its time.
    void doHold(std::shared_ptr<WebAnswer::Hold> hold) {
        state_ = State::Holding;
        hold_ = std::move(hold);
        if (!holdTimer_) holdTimer_.emplace(srv_.ioc);
        holdTimer_->expires_after(hold_->upTo);
        // The timer's handler keeps the connection while it waits.
        holdTimer_->async_wait([self = this->shared_from_this()](const error_code& ec) {
            if (!ec) self->endHold();
        });
        std::weak_ptr<Connection> weak = this->shared_from_this();
        auto& ioc = srv_.ioc;
        cancelHold_ = hold_->subscribe([weak, &ioc] {
            asio::post(ioc, [weak] {
                if (auto self = weak.lock()) self->endHold();
            });
        });
    }

    void endHold() {
        if (state_ != State::Holding) return;
        if (cancelHold_) std::exchange(cancelHold_, nullptr)();
        if (holdTimer_) holdTimer_->cancel();
        auto hold = std::move(hold_);
        doWebCall([hold] {
            WebAnswer answer = hold->resume();
            answer.hold.reset();
            return answer;
        });
    }

    void onCalled(RouterAnswer answer) {
        releaseBody();
        outcome_ = std::move(answer.outcome);
        doWrite(answer.status, std::move(answer.body), keepAlive_ && !srv_.stopping);
    }

    // A refusal: the answer, then the connection closes (the body, if any,
    // was not read).
    void refuse(int status, const std::string& message) {
        RouterAnswer answer = Router::Refusal(status, message);
        outcome_ = std::move(answer.outcome);
        if (!logLine_) {
            // A header that could not be read: what of it was.
            start_ = Clock::now();
            const auto& partial = parser_->get();
            verb_ = std::string(partial.method_string());
            const std::string_view target = partial.target();
            path_ = std::string(target.substr(0, target.find('?')));
            if (verb_.empty()) verb_ = "-";
            if (path_.empty()) path_ = "-";
            logLine_ = true;
        }
        const unsigned version = parser_ ? parser_->get().version() : 11;
        version_ = version >= 10 ? version : 11;
        doWrite(status, std::move(answer.body), false);
    }

    // A refusal, or a connection closed, because a limit was passed: counted
    // for GET /metrics under the limit's setting.
    void refuseAtLimit(const char* setting, int status, const std::string& message) {
        srv_.metrics.LimitHit(setting);
        refuse(status, message);
    }
    void failAtLimit(const char* setting, const std::string& why) {
        srv_.metrics.LimitHit(setting);
        fail(why);
    }

    void doWrite(int status, std::string body, bool keepAlive, const char* type = kJson) {
        state_ = State::Writing;
        status_ = status;
        res_.emplace(static_cast<http::status>(status), version_ >= 10 ? version_ : 11);
        res_->set(http::field::content_type, answerType_.empty() ? type : answerType_.c_str());
        for (const auto& [name, value] : answerHeaders_) res_->set(name, value);
        answerType_.clear();
        answerHeaders_.clear();
        if (status == 401) res_->set(http::field::www_authenticate, "Bearer");
        // Over HTTPS the browser is told to come back only that way.
        if constexpr (kTls) res_->set(http::field::strict_transport_security, kHsts);
        res_->keep_alive(keepAlive);
        res_->body() = std::move(body);
        if (status == 304)
            res_->content_length(boost::none);
        else
            res_->prepare_payload();
        if (verb_ == "HEAD" && status != 304) {
            const auto size = res_->body().size();
            res_->body().clear();
            res_->content_length(size);
        }
        closeAfter_ = !keepAlive;
        lowest().expires_after(transferTime(srv_.limits, res_->body().size()));
        http::async_write(stream_, *res_,
                          [self = this->shared_from_this()](const error_code& ec, std::size_t) {
                              self->onWrite(ec);
                          });
    }

    void onWrite(const error_code& ec) {
        writeLogLine();
        res_.reset();
        if (ec) return fail();
        if (closeAfter_ || srv_.stopping) return doShutdown();
        nextRequest(false);
    }

    // The call's figures, and its line when the level takes it: the
    // method's path, the duration, the outcome (no guest data: a refusal's
    // text names at most the list's keys and a guest's name as the module
    // wrote it) and the client.
    void writeLogLine() {
        if (!logLine_) return;
        logLine_ = false;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
        const bool refused = status_ >= 400 || outcome_.starts_with("refused");
        srv_.metrics.Call(path_ == "/metrics" ? std::string("metrics")
                          : web_              ? std::string("recepcao")
                                              : srv_.router.MethodLabel(path_),
                          refused, ms / 1000);
        if (!srv_.limits.logCalls) return;
        if (srv_.limits.logLevel == LogLevel::Refusals && !refused) return;
        if (srv_.limits.logLevel == LogLevel::Errors && status_ < 500) return;
        char duration[32];
        std::snprintf(duration, sizeof duration, "%.1f", ms);
        const std::string line = "evt07800-server: " + Router::Printable(verb_, 16) + " " +
                                 Router::Printable(path_) + " " + duration + " ms " +
                                 Router::Printable(outcome_) + " (cliente " + peer_ + ")";
        srv_.Write(line + "\n");
    }

    // Closes after the last answer without losing it: the sending side is
    // shut first and what the client still sends is read and dropped for a
    // moment, so that the close does not reset the connection under the
    // answer.
    void doShutdown() {
        state_ = State::Closing;
        const Millis linger = srv_.stopping ? Millis(0) : kLingerTime;
        if constexpr (kTls) {
            lowest().expires_after(std::max(linger, Millis(100)));
            stream_.async_shutdown(
                [self = this->shared_from_this()](const error_code&) { self->closeNow(); });
        } else {
            error_code ignored;
            lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
            if (linger.count() == 0) return closeNow();
            lowest().expires_after(linger);
            doDrain();
        }
    }

    void doDrain() {
        stream_.async_read_some(asio::buffer(srv_.drainSpace),
                                [self = this->shared_from_this()](
                                    const error_code& ec, std::size_t n) { self->onDrain(ec, n); });
    }

    void onDrain(const error_code& ec, std::size_t n) {
        drained_ += n;
        if (ec || drained_ > kLingerBytes || srv_.stopping) return closeNow();
        doDrain();
    }

    // The body's bytes no longer count against the bodies in flight.
    void releaseBody() {
        srv_.bodiesInFlight -= inFlight_;
        // After a large call the allocator keeps the freed pages of its
        // arguments for the next one; once no body is being read or called
        // they go back to the system, so that an idle server is as small as
        // before the call.
        const bool large = inFlight_ >= kTrimAfterBytes;
        inFlight_ = 0;
        if (large && srv_.bodiesInFlight == 0) malloc_trim(0);
    }

    void closeNow() {
        if (state_ == State::Done) return;
        state_ = State::Done;
        error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        lowest().close();
    }

    ServerCore& srv_;
    Stream stream_;
    std::string peer_;
    bool counted_;  // counted against its address's limit
    State state_ = State::Idle;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::optional<http::response<http::empty_body>> continue_;
    std::optional<http::response<http::string_body>> res_;
    Millis bodyTime_{0};
    unsigned version_ = 11;
    std::size_t served_ = 0;
    std::size_t drained_ = 0;
    std::uint64_t inFlight_ = 0;  // counted in srv_.bodiesInFlight
    bool keepAlive_ = false;
    bool closeAfter_ = false;
    // The log line of the request in progress.
    bool logLine_ = false;
    Clock::time_point start_{};
    std::string verb_, target_, path_, contentType_, outcome_;
    int status_ = 0;
    // A web service's call: the service, the request, the answer's type and
    // headers, and the wait of a call that holds.
    WebService* web_ = nullptr;
    WebRequest webRequest_;
    std::string answerType_;
    std::vector<std::pair<std::string, std::string>> answerHeaders_;
    std::shared_ptr<WebAnswer::Hold> hold_;
    std::optional<asio::steady_timer> holdTimer_;
    std::function<void()> cancelHold_;
};

}  // namespace evt::server::endpoint
