#include "endpoint/AppServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include <mutex>
#include <new>

#include <string_view>
#include <thread>
#include <utility>

#include "endpoint/Router.h"

namespace evt::server {

namespace {

using Clock = std::chrono::steady_clock;
using httplib::Request;
using httplib::Response;
using HandlerResponse = httplib::Server::HandlerResponse;

constexpr const char* kJson = "application/json; charset=utf-8";

// What the logger reports for the request the current worker thread is
// serving. A worker serves one connection, one request at a time, so the
// pre-routing handler, the route handler and the logger of one request all
// run on the same thread.
struct CallLog {
    Clock::time_point start;
    bool started = false;
    std::string outcome;
};
thread_local CallLog t_call;

// Set by a refusal that left the request's body unread: the connection is
// closed after the answer, so the body is never taken for a next request.
thread_local bool t_closeAfterAnswer = false;

std::string printable(std::string_view text, std::size_t max = 300) {
    return Router::Printable(text, max);
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

// Answers `status` with {"$error": message}. `close` ends the connection
// after the answer: used when the request's body was left unread.
HandlerResponse refuse(Response& res, int status, const std::string& message, bool close) {
    res.status = status;
    res.set_content(corvana::Variant::serverError(message).toJson(), kJson);
    if (close) {
        res.set_header("Connection", "close");
        t_closeAfterAnswer = true;
    }
    t_call.outcome =
        (status >= 500 ? std::string("error") : std::to_string(status)) + ": " + message;
    return HandlerResponse::Handled;
}

// A strict Content-Length: decimal digits only, one header.
bool parseLength(const Request& req, std::size_t& length) {
    if (req.get_header_value_count("Content-Length") != 1) return false;
    const std::string text = trim(req.get_header_value("Content-Length"));
    if (text.empty() || text.size() > 19) return false;
    std::size_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    length = value;
    return true;
}

// One accepted connection as httplib reads and writes it. It lives as long
// as the connection, so bytes of a next (pipelined) request read ahead with
// the current one are kept; every wait is bounded by the time-outs.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(socket_t sock, int readTimeoutMs, int writeTimeoutMs)
        : sock_(sock), readTimeoutMs_(readTimeoutMs), writeTimeoutMs_(writeTimeoutMs) {}

    bool hasBuffered() const { return offset_ < size_; }

    bool is_readable() const override { return hasBuffered() || waitFor(POLLIN, readTimeoutMs_); }
    bool is_writable() const override { return waitFor(POLLOUT, writeTimeoutMs_); }

    ssize_t read(char* ptr, size_t size) override {
        if (!hasBuffered()) {
            if (!waitFor(POLLIN, readTimeoutMs_)) return -1;
            ssize_t n;
            do {
                n = ::recv(sock_, buffer_, sizeof buffer_, 0);
            } while (n < 0 && errno == EINTR);
            if (n <= 0) return n;
            offset_ = 0;
            size_ = static_cast<std::size_t>(n);
        }
        const std::size_t count = std::min(size, size_ - offset_);
        std::memcpy(ptr, buffer_ + offset_, count);
        offset_ += count;
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (!waitFor(POLLOUT, writeTimeoutMs_)) return -1;
        ssize_t n;
        do {
            n = ::send(sock_, ptr, size, MSG_NOSIGNAL);
        } while (n < 0 && errno == EINTR);
        return n;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        address(::getpeername, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        address(::getsockname, ip, port);
    }
    socket_t socket() const override { return sock_; }

private:
    bool waitFor(short events, int timeoutMs) const {
        pollfd p{sock_, events, 0};
        int n;
        do {
            n = ::poll(&p, 1, timeoutMs);
        } while (n < 0 && errno == EINTR);
        return n > 0;
    }

    void address(int (*query)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        if (query(sock_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return;
        char text[INET6_ADDRSTRLEN] = {};
        if (addr.ss_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(&addr);
            ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
            port = ntohs(in->sin_port);
        } else if (addr.ss_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&addr);
            ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
            port = ntohs(in6->sin6_port);
        }
        ip = text;
    }

    socket_t sock_;
    int readTimeoutMs_;
    int writeTimeoutMs_;
    char buffer_[16 * 1024];
    std::size_t offset_ = 0;
    std::size_t size_ = 0;
};

int milliseconds(time_t sec, time_t usec) {
    const auto ms = static_cast<long long>(sec) * 1000 + static_cast<long long>(usec) / 1000;
    return static_cast<int>(std::clamp<long long>(ms, 1, 24LL * 3600 * 1000));
}

// httplib's server with the connection loop of its own: a connection waiting
// for its next request notices a stop at once (httplib's would hold the stop
// for the whole keep-alive time-out), and a refusal can close it.
class HttpServer : public httplib::Server {
public:
    // Closes a socket bound but never served.
    void CloseUnusedSocket() {
        const auto sock = svr_sock_.exchange(INVALID_SOCKET);
        if (sock != INVALID_SOCKET) {
            ::shutdown(sock, SHUT_RDWR);
            ::close(sock);
        }
    }
    // Connections stop waiting for a next request; calls in progress finish.
    void Stopping() { stopping_ = true; }

private:
    bool process_and_close_socket(socket_t sock) override {
        int yes = 1;
        // Without it a kept-alive call waits ~40 ms on delayed ACKs.
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        ConnectionStream stream(sock, milliseconds(read_timeout_sec_, read_timeout_usec_),
                                milliseconds(write_timeout_sec_, write_timeout_usec_));
        bool ok = true;
        for (std::size_t left = keep_alive_max_count_; left > 0 && nextRequestArrives(stream);
             --left) {
            bool closed = false;
            t_closeAfterAnswer = false;
            ok = process_request(stream, left == 1, closed, nullptr);
            if (!ok || closed || t_closeAfterAnswer) break;
        }
        t_closeAfterAnswer = false;
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return ok;
    }

    // Waits up to the keep-alive time-out for the next request's first
    // byte, in short slices so that a stop is seen at once.
    bool nextRequestArrives(const ConnectionStream& stream) const {
        if (stream.hasBuffered()) return true;
        const auto deadline = Clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
        while (!stopping_ && svr_sock_ != INVALID_SOCKET) {
            pollfd p{stream.socket(), POLLIN, 0};
            const int n = ::poll(&p, 1, 50);
            if (n > 0) return true;
            if ((n < 0 && errno != EINTR) || Clock::now() >= deadline) return false;
        }
        return false;
    }

    std::atomic<bool> stopping_{false};
};

}  // namespace

struct AppServer::Impl {
    Limits limits;
    Router router;
    HttpServer http;
    int port = 0;

    std::mutex stateMutex;
    bool bound = false;
    bool entered = false;  // ListenAfterBind has started
    bool stopRequested = false;
    std::atomic<bool> finished{false};
    std::mutex joinMutex;
    std::thread thread;
    std::mutex logMutex;

    Impl(std::vector<std::shared_ptr<RemoteDataModule>> modules, Limits l)
        : limits(l), router(std::move(modules)) {
        configure();
    }
    void configure();
    HandlerResponse preRouting(const Request& req, Response& res);
    void log(const Request& req, const Response& res);
};

// Requests whose body cannot be read safely are refused here, before httplib
// reads it. The body is then left unread, so the answer asks the client to
// close the connection.
HandlerResponse AppServer::Impl::preRouting(const Request& req, Response& res) {
    t_call = CallLog{Clock::now(), true, {}};
    const bool isGet = req.method == "GET" || req.method == "HEAD";
    if (!isGet && req.method != "POST")
        return refuse(res, 405, Router::VerbRefused(req.method), true);
    if (isGet) {
        std::size_t length = 0;
        if (req.has_header("Transfer-Encoding") ||
            (req.has_header("Content-Length") && (!parseLength(req, length) || length > 0)))
            return refuse(res, 400, "Uma consulta GET não leva corpo.", true);
        return HandlerResponse::Unhandled;
    }

    // Only Content-Length bodies: a chunked body or one read until the
    // connection closes would bypass the size limit.
    if (req.has_header("Transfer-Encoding"))
        return refuse(
            res, 411,
            "Corpo da chamada em partes (Transfer-Encoding) não é aceito; envie o corpo inteiro "
            "com Content-Length.",
            true);
    if (!req.has_header("Content-Length"))
        return refuse(res, 411, "Chamada sem Content-Length: informe o tamanho do corpo.", true);
    std::size_t length = 0;
    if (!parseLength(req, length))
        return refuse(res, 400,
                      "Content-Length inválido: \"" +
                          printable(req.get_header_value("Content-Length"), 40) + "\".",
                      true);
    // A compressed body could unpack far beyond the size limit.
    if (req.has_header("Content-Encoding") &&
        asciiLower(trim(req.get_header_value("Content-Encoding"))) != "identity")
        return refuse(res, 415, "Corpo da chamada compactado (Content-Encoding) não é aceito.",
                      true);
    // The rest is checked once httplib has read the body (413 above the
    // size limit, 404 for an unknown module or method): the connection then
    // stays usable for the client's next call.
    return HandlerResponse::Unhandled;
}

void AppServer::Impl::log(const Request& req, const Response& res) {
    if (!limits.logCalls) {
        t_call = CallLog{};
        return;
    }
    double ms = 0;
    if (t_call.started)
        ms = std::chrono::duration<double, std::milli>(Clock::now() - t_call.start).count();
    std::string outcome = t_call.outcome;
    if (outcome.empty())
        outcome = res.status == 200   ? "ok"
                  : res.status >= 500 ? "error"
                                      : std::to_string(res.status);
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.1f", ms);
    const std::string line = "evt07800-server: " + printable(req.method, 16) + " " +
                             printable(req.path) + " " + duration + " ms " + printable(outcome) +
                             "\n";
    t_call = CallLog{};
    std::lock_guard lock(logMutex);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void AppServer::Impl::configure() {
    const std::size_t threads = limits.workerThreads > 0 ? limits.workerThreads : 1;
    http.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    // One server per port: no SO_REUSEPORT (httplib's default), which would
    // let a second server share the port and take half of the calls.
    http.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Without TCP_NODELAY a kept-alive call waits ~40 ms on delayed ACKs
    // (set again on each accepted connection).
    http.set_tcp_nodelay(true);
    http.set_payload_max_length(limits.maxBodyBytes);
    http.set_read_timeout(limits.readTimeout.count(), 0);
    http.set_write_timeout(limits.writeTimeout.count(), 0);
    http.set_keep_alive_timeout(limits.keepAliveTimeout.count());
    http.set_keep_alive_max_count(limits.keepAliveMaxRequests > 0 ? limits.keepAliveMaxRequests
                                                                  : 1);

    http.set_pre_routing_handler(
        [this](const Request& req, Response& res) { return preRouting(req, res); });

    auto route = [this](const Request& req, Response& res) {
        const RouterAnswer answer =
            router.Handle(req.method, req.path, req.get_header_value("Content-Type"), req.body);
        res.status = answer.status;
        res.set_content(answer.body, kJson);
        t_call.outcome = answer.outcome;
    };
    http.Get(".*", route);
    http.Post(".*", route);

    // Statuses httplib sets by itself (a malformed request, a body over the
    // limit) get the same JSON form.
    http.set_error_handler(
        httplib::Server::HandlerWithResponse([this](const Request&, Response& res) {
            if (!res.body.empty()) return HandlerResponse::Unhandled;
            try {
                std::string message;
                switch (res.status) {
                    case 400:
                        message = "Requisição HTTP malformada.";
                        break;
                    case 413:
                        message = "Corpo da chamada grande demais; o limite é " +
                                  std::to_string(limits.maxBodyBytes) + " bytes.";
                        break;
                    case 414:
                        message = "Endereço da chamada longo demais.";
                        break;
                    default:
                        message = "Falha HTTP " + std::to_string(res.status) + ".";
                        break;
                }
                refuse(res, res.status, message, false);
            } catch (...) {
                return HandlerResponse::Unhandled;
            }
            return HandlerResponse::Handled;
        }));

    http.set_logger([this](const Request& req, const Response& res) {
        try {
            log(req, res);
        } catch (...) {
            t_call = CallLog{};
        }
    });
}

AppServer::AppServer(std::vector<std::shared_ptr<RemoteDataModule>> modules, Limits limits)
    : impl_(std::make_unique<Impl>(std::move(modules), limits)) {}

AppServer::~AppServer() {
    Stop();
}

bool AppServer::Bind(const std::string& host, int port) {
    std::lock_guard lock(impl_->stateMutex);
    if (impl_->bound || impl_->stopRequested || port < 0 || port > 65535) return false;
    if (port == 0) {
        const int chosen = impl_->http.bind_to_any_port(host);
        if (chosen <= 0) return false;
        impl_->port = chosen;
    } else {
        if (!impl_->http.bind_to_port(host, port)) return false;
        impl_->port = port;
    }
    impl_->bound = true;
    return true;
}

int AppServer::Port() const {
    return impl_->port;
}

void AppServer::ListenAfterBind() {
    {
        std::lock_guard lock(impl_->stateMutex);
        if (!impl_->bound || impl_->entered || impl_->stopRequested) {
            impl_->finished = true;
            return;
        }
        impl_->entered = true;
    }
    impl_->http.listen_after_bind();
    impl_->finished = true;
}

void AppServer::Start() {
    std::lock_guard join(impl_->joinMutex);
    if (impl_->thread.joinable()) return;
    impl_->thread = std::thread([this] { ListenAfterBind(); });
    // Return once connections are accepted (bounded: a failed listen ends
    // the thread, which also ends the wait).
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!impl_->http.is_running() && !impl_->finished && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void AppServer::Stop() {
    bool serving = false;
    {
        std::lock_guard lock(impl_->stateMutex);
        impl_->stopRequested = true;
        serving = impl_->entered;
    }
    if (serving) {
        // listen_after_bind may not have marked itself running yet; a stop
        // before that would be lost.
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!impl_->http.is_running() && !impl_->finished && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        impl_->http.Stopping();
        impl_->http.stop();
    } else {
        impl_->http.CloseUnusedSocket();
    }
    std::lock_guard join(impl_->joinMutex);
    if (impl_->thread.joinable() && impl_->thread.get_id() != std::this_thread::get_id())
        impl_->thread.join();
}

std::vector<std::string> AppServer::ModuleNames() const {
    return impl_->router.ModuleNames();
}

}  // namespace evt::server
