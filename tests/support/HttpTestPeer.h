#pragma once
// A scripted HTTP server on a loopback port, for the client's tests: each
// request is answered by the test's script, which can also answer bytes
// that are not HTTP, close the connection without answering, or close it
// after answering without saying so. It records what came.
#include <sys/socket.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvana::test {

class HttpTestPeer {
public:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;

    struct Reply {
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
        // Sent as is instead of a response built from the fields above.
        std::string raw;
        // Close the connection without answering.
        bool drop = false;
        // Close the connection after answering, with no "Connection: close".
        bool closeAfter = false;

        static Reply Json(std::string body, int status = 200) {
            Reply r;
            r.body = std::move(body);
            r.status = status;
            return r;
        }
        static Reply Html(std::string body) {
            Reply r = Json(std::move(body));
            r.contentType = "text/html";
            return r;
        }
        static Reply Raw(std::string bytes) {
            Reply r;
            r.raw = std::move(bytes);
            return r;
        }
        static Reply Drop() {
            Reply r;
            r.drop = true;
            return r;
        }
        Reply& ThenClose() {
            closeAfter = true;
            return *this;
        }
    };
    struct Seen {
        Request request;
        int connection;  // numbered from 1 in the order accepted
        int index;       // the request's place on its connection, from 1
    };
    // The reply to a request; runs on the connection's thread.
    using Script = std::function<Reply(const Seen&)>;

    explicit HttpTestPeer(Script script) : script_(std::move(script)) {
        namespace asio = boost::asio;
        acceptor_.open(asio::ip::tcp::v4());
        acceptor_.set_option(asio::socket_base::reuse_address(true));
        acceptor_.bind({asio::ip::make_address("127.0.0.1"), 0});
        acceptor_.listen();
        port_ = acceptor_.local_endpoint().port();
        accepting_ = std::thread([this] { Accept(); });
    }
    ~HttpTestPeer() {
        // shutdown() wakes the blocked accept and reads without touching the
        // sockets' objects from this thread.
        ::shutdown(acceptor_.native_handle(), SHUT_RDWR);
        accepting_.join();
        {
            std::lock_guard lock(mutex_);
            for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
        }
        for (auto& t : serving_) t.join();
    }
    HttpTestPeer(const HttpTestPeer&) = delete;
    HttpTestPeer& operator=(const HttpTestPeer&) = delete;

    int Port() const { return port_; }
    std::vector<Seen> Requests() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    int Connections() const {
        std::lock_guard lock(mutex_);
        return connections_;
    }

    // The handshake answer of a server that hosts `module` with `methods`.
    static Reply Handshake(const std::string& module, const std::string& methods = "") {
        return Reply::Json("{\"module\":\"" + module + "\",\"methods\":[" + methods + "]}");
    }

private:
    void Accept() {
        for (;;) {
            boost::asio::ip::tcp::socket socket(io_);
            boost::system::error_code ec;
            acceptor_.accept(socket, ec);
            if (ec) return;
            std::lock_guard lock(mutex_);
            const int number = ++connections_;
            open_.push_back(socket.native_handle());
            serving_.emplace_back(
                [this, number, s = std::move(socket)]() mutable { Serve(std::move(s), number); });
        }
    }

    void Serve(boost::asio::ip::tcp::socket socket, int number) {
        namespace http = boost::beast::http;
        boost::beast::flat_buffer buffer;
        boost::system::error_code ec;
        for (int index = 1;; ++index) {
            Seen seen{{}, number, index};
            http::read(socket, buffer, seen.request, ec);
            if (ec) break;
            {
                std::lock_guard lock(mutex_);
                seen_.push_back(seen);
            }
            const Reply reply = script_(seen);
            if (reply.drop) break;
            if (!reply.raw.empty()) {
                boost::asio::write(socket, boost::asio::buffer(reply.raw), ec);
            } else {
                http::response<http::string_body> res{static_cast<http::status>(reply.status), 11};
                res.set(http::field::content_type, reply.contentType);
                res.body() = reply.body;
                res.keep_alive(seen.request.keep_alive());
                res.prepare_payload();
                http::write(socket, res, ec);
            }
            if (ec || reply.closeAfter || !reply.raw.empty()) break;
        }
        std::lock_guard lock(mutex_);
        open_.remove(socket.native_handle());
        socket.shutdown(boost::asio::socket_base::shutdown_both, ec);
        socket.close(ec);
    }

    Script script_;
    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_{io_};
    int port_ = 0;
    std::thread accepting_;
    mutable std::mutex mutex_;
    std::list<int> open_;
    std::vector<std::thread> serving_;
    std::vector<Seen> seen_;
    int connections_ = 0;
};

}  // namespace corvana::test
