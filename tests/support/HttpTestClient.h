#pragma once
// A raw HTTP client for the server's tests and benchmarks, on Boost.Beast:
// it sends requests as they are given (malformed or hostile ones too, or
// bytes as they are), over TCP or TLS, from a chosen local address, and
// bounds every wait. Not for two threads at once.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "corvana/data/Error.h"
#include "corvana/data/Variant.h"

namespace corvana::test {

// One answer. status 0: none came (`error` says why).
struct HttpReply {
    int status = 0;
    std::string body;
    boost::beast::http::response<boost::beast::http::string_body> response;
    std::string error;

    explicit operator bool() const { return status != 0; }
    std::string Header(boost::beast::string_view name) const { return std::string(response[name]); }
    // How many times a header field appears.
    std::size_t Count(boost::beast::string_view name) const { return response.count(name); }
};

class HttpTestClient {
public:
    using Headers = std::vector<std::pair<std::string, std::string>>;
    using Millis = std::chrono::milliseconds;

    explicit HttpTestClient(int port, std::string host = "127.0.0.1")
        : port_(port), host_(std::move(host)) {}
    ~HttpTestClient() { Close(); }
    HttpTestClient(const HttpTestClient&) = delete;
    HttpTestClient& operator=(const HttpTestClient&) = delete;

    // Speak TLS, trusting the certificates of `caFile` (PEM) and checking
    // that the server's certificate names the host.
    HttpTestClient& UseTls(std::string caFile) {
        tlsCa_ = std::move(caFile);
        return *this;
    }
    // Connect from this local address (127.0.0.2 is another client of the
    // loopback).
    HttpTestClient& From(std::string address) {
        from_ = std::move(address);
        return *this;
    }

    // Connects (and does the TLS handshake). False on failure, with the
    // reason in LastError().
    bool Connect(Millis wait = Millis(10000)) {
        namespace asio = boost::asio;
        Close();
        tcp_.emplace(ioc_);
        boost::system::error_code ec;
        const auto address = asio::ip::make_address(host_, ec);
        if (ec) return fail("endereço inválido: " + host_);
        const asio::ip::tcp::endpoint server(address, static_cast<unsigned short>(port_));
        if (!from_.empty()) {
            tcp_->socket().open(server.protocol(), ec);
            if (!ec) tcp_->socket().bind({asio::ip::make_address(from_, ec), 0}, ec);
            if (ec) return fail("não foi possível usar o endereço local " + from_);
        }
        bool connected = false;
        run(wait, [&] {
            tcp_->async_connect(server, [&](const boost::system::error_code& e) {
                connected = !e;
                if (e) error_ = e.message();
            });
        });
        if (!connected) return fail("conexão falhou: " + error_);
        tcp_->socket().set_option(asio::ip::tcp::no_delay(true), ec);
        if (!tlsCa_) return true;
        tlsContext_.emplace(asio::ssl::context::tls_client);
        tlsContext_->load_verify_file(*tlsCa_, ec);
        if (ec) return fail("certificado de confiança ilegível: " + *tlsCa_);
        tlsContext_->set_verify_mode(asio::ssl::verify_peer);
        tls_.emplace(std::move(*tcp_), *tlsContext_);
        tcp_.reset();
        tls_->set_verify_callback(asio::ssl::host_name_verification(host_));
        bool shook = false;
        run(wait, [&] {
            tls_->async_handshake(asio::ssl::stream_base::client,
                                  [&](const boost::system::error_code& e) {
                                      shook = !e;
                                      if (e) error_ = e.message();
                                  });
        });
        if (!shook) {
            const std::string why = error_;
            Close();
            return fail("negociação TLS falhou: " + why);
        }
        return true;
    }

    bool Connected() const { return tcp_.has_value() || tls_.has_value(); }
    const std::string& LastError() const { return error_; }

    // Sends `bytes` as they are.
    bool Send(const std::string& bytes, Millis wait = Millis(10000)) {
        if (!Connected() && !Connect()) return false;
        bool sent = false;
        run(wait, [&] {
            withStream([&](auto& stream) {
                boost::asio::async_write(stream, boost::asio::buffer(bytes),
                                         [&](const boost::system::error_code& e, std::size_t) {
                                             sent = !e;
                                             failed(e);
                                         });
            });
        });
        if (!sent) dropIfBroken();
        return sent;
    }

    // Reads one answer (of a HEAD request when `head`), past any 100
    // Continue.
    HttpReply Read(Millis wait = Millis(30000), bool head = false) {
        HttpReply reply;
        do reply = readOne(wait, head);
        while (reply.status == 100);
        return reply;
    }

    // Reads an interim answer: true when it is 100 Continue.
    bool ReadContinue(Millis wait = Millis(30000)) { return readOne(wait, false).status == 100; }

    // Sends a request (connecting first when needed) and reads its answer.
    // A body, or a POST, gets its Content-Length.
    HttpReply Request(const std::string& method, const std::string& target,
                      const std::string& body = {},
                      const Headers& headers = {{"Content-Type", "application/json"}},
                      Millis wait = Millis(30000)) {
        namespace http = boost::beast::http;
        HttpReply reply;
        if (!Connected() && !Connect()) {
            reply.error = error_;
            return reply;
        }
        http::request<http::string_body> req;
        req.method_string(method);
        req.target(target);
        req.version(11);
        req.set(http::field::host, host_);
        for (const auto& [name, value] : headers) req.insert(name, value);
        req.body() = body;
        if (!body.empty() || method == "POST") req.prepare_payload();
        bool written = false;
        run(wait, [&] {
            withStream([&](auto& stream) {
                http::async_write(stream, req,
                                  [&](const boost::system::error_code& e, std::size_t) {
                                      written = !e;
                                      failed(e);
                                  });
            });
        });
        if (!written) {
            reply.error = "envio falhou: " + error_;
            dropIfBroken();
            return reply;
        }
        return Read(wait, method == "HEAD");
    }

    // True when the server closes the connection within `wait`; what it
    // still sends meanwhile is dropped.
    bool WaitClosed(Millis wait) {
        if (!Connected()) return true;
        bool closed = false;
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (!closed && std::chrono::steady_clock::now() < deadline) {
            bool done = false;
            run(std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now()),
                [&] {
                    withStream([&](auto& stream) {
                        stream.async_read_some(
                            boost::asio::buffer(scratch_),
                            [&](const boost::system::error_code& e, std::size_t) {
                                done = true;
                                closed = e && e != boost::asio::error::operation_aborted;
                            });
                    });
                });
            if (!done) break;
        }
        if (closed) Close();
        return closed;
    }

    void Close() {
        boost::system::error_code ignored;
        if (tls_) tls_->next_layer().socket().close(ignored);
        if (tcp_) tcp_->socket().close(ignored);
        tls_.reset();
        tcp_.reset();
        buffer_.clear();
    }

private:
    HttpReply readOne(Millis wait, bool head) {
        namespace http = boost::beast::http;
        HttpReply reply;
        if (!Connected()) {
            reply.error = "sem conexão";
            return reply;
        }
        http::response_parser<http::string_body> parser;
        parser.body_limit(boost::none);
        parser.skip(head);
        bool read = false;
        run(wait, [&] {
            withStream([&](auto& stream) {
                http::async_read(stream, buffer_, parser,
                                 [&](const boost::system::error_code& e, std::size_t) {
                                     read = !e;
                                     failed(e);
                                 });
            });
        });
        if (!read) {
            reply.error = error_.empty() ? "sem resposta" : error_;
            dropIfBroken();
            return reply;
        }
        reply.response = parser.release();
        reply.status = static_cast<int>(reply.response.result_int());
        reply.body = reply.response.body();
        return reply;
    }

    // An operation's error, kept for LastError().
    void failed(const boost::system::error_code& e) {
        broken_ = e && e != boost::asio::error::operation_aborted;
        if (e) error_ = e.message();
    }
    // A connection the server closed or reset is given up: it can carry
    // nothing more (and a reset one never reports the end again).
    void dropIfBroken() {
        if (broken_) Close();
    }

    bool fail(const std::string& why) {
        error_ = why;
        Close();
        return false;
    }

    template <class F>
    void withStream(F f) {
        if (tls_)
            f(*tls_);
        else
            f(*tcp_);
    }

    // Starts an operation and runs it for at most `wait`; one not done by
    // then is cancelled (its handler runs with operation_aborted).
    template <class Start>
    void run(Millis wait, Start start) {
        ioc_.restart();
        start();
        ioc_.run_for(wait);
        if (ioc_.stopped()) return;
        boost::system::error_code ignored;
        if (tls_) tls_->next_layer().socket().cancel(ignored);
        if (tcp_) tcp_->socket().cancel(ignored);
        ioc_.run();
    }

    int port_;
    std::string host_;
    std::string from_;
    std::optional<std::string> tlsCa_;
    boost::asio::io_context ioc_;
    std::optional<boost::beast::tcp_stream> tcp_;
    std::optional<boost::asio::ssl::context> tlsContext_;
    std::optional<boost::asio::ssl::stream<boost::beast::tcp_stream>> tls_;
    boost::beast::flat_buffer buffer_;
    std::string error_;
    bool broken_ = false;
    char scratch_[4096];
};

// The text of a {"$error": ...} body; "" when the body is not one.
// A plain socket connected to the loopback port that sends nothing, for
// tests of what the server does with idle or slow peers (-1 on failure).
inline int ConnectLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline std::string ErrorText(const std::string& body) {
    try {
        const corvana::Variant v = corvana::Variant::fromJson(body);
        return v.isError() ? v.errorMessage() : std::string();
    } catch (const corvana::Error&) {
        return {};
    }
}

}  // namespace corvana::test
