#pragma once
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "RemoteDataModule.h"

namespace evt::server {

// Limits and time-outs of the endpoint.
struct ServerLimits {
    // Largest request body accepted (413 above it). A 100,000-guest
    // import is about 15 MB.
    std::size_t maxBodyBytes = std::size_t{256} * 1024 * 1024;
    // Longest wait for each read and each write on a connection.
    std::chrono::seconds readTimeout{60};
    std::chrono::seconds writeTimeout{60};
    // How long an idle kept-alive connection is held open, and how many
    // requests one connection may carry before the server closes it.
    std::chrono::seconds keepAliveTimeout{5};
    std::size_t keepAliveMaxRequests = 100000;
    // Worker threads: each serves one connection at a time, so this is
    // also how many clients can hold a kept-alive connection at once.
    std::size_t workerThreads = 32;
    // Log every call to standard error.
    bool logCalls = true;
};

// The HTTP endpoint of the application server. It hosts remote data modules
// by their server name and answers (docs/protocol.md):
//
//   GET  /<server name>           handshake: {"module": name, "methods": [...]}
//   POST /<server name>/<method>  body: JSON array of the positional arguments
//                                 answer: the answer Variant's JSON
//
// A refusal the module returns (Variant::serverError) is an answer: status 200
// with {"$error": text}. Requests that do not fit the protocol get a 4xx status
// with {"$error": text}; an unexpected failure of a module gets 500. Every call
// is logged to standard error with its duration and outcome.
class AppServer {
public:
    using Limits = ServerLimits;

    explicit AppServer(std::vector<std::shared_ptr<RemoteDataModule>> modules, Limits limits = {});
    ~AppServer();  // stops the server if it still runs
    AppServer(const AppServer&) = delete;
    AppServer& operator=(const AppServer&) = delete;

    // Binds the listening socket; port 0 picks a free port (see Port()).
    // Returns false when the address cannot be bound (port in use, bad host).
    bool Bind(const std::string& host, int port);
    // The bound port, 0 before a successful Bind.
    int Port() const;

    // Serves on the calling thread until Stop() is called from another
    // thread (or a signal watcher). Returns at once if Stop() came first.
    void ListenAfterBind();
    // Serves on a background thread; returns once the server accepts
    // connections.
    void Start();
    // Stops accepting, lets the calls in progress finish, and joins the
    // background thread. Safe to call more than once and from any thread
    // but a worker's.
    void Stop();

    // The hosted module's server names, in the order given.
    std::vector<std::string> ModuleNames() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace evt::server
