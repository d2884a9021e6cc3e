#pragma once
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "RemoteDataModule.h"
#include "corvana/data/Error.h"
#include "endpoint/Metrics.h"
#include "endpoint/ServerSettings.h"
#include "endpoint/WebService.h"

namespace evt::server {

// Limits and time-outs of the endpoint (docs/server.md). Each has a server
// setting of the same meaning (kServerSettings, docs/configuration.md), whose
// default it takes.
struct ServerLimits {
    // A request's header must be complete within this time from its first
    // byte (on a new connection: from the connection, or from the end of
    // the TLS handshake, which has the same time).
    std::chrono::milliseconds headerTimeout{std::chrono::seconds(DefaultOf("HeaderTimeout"))};
    // How long a connection may stay idle between calls.
    std::chrono::milliseconds keepAliveTimeout{std::chrono::seconds(DefaultOf("KeepAliveTimeout"))};
    // A body must arrive within bodyTimeout plus one second for every
    // minTransferRate bytes of it, and an answer must be taken by the client
    // within the same time for its size: a body trickled byte by byte or an
    // answer never read is cut.
    std::chrono::milliseconds bodyTimeout{std::chrono::seconds(DefaultOf("BodyTimeout"))};
    std::size_t minTransferRate = DefaultOf("MinTransferRate");  // bytes a second
    // Largest request header, request line included, and most header
    // fields (431 past them).
    std::size_t maxHeaderBytes = DefaultOf("MaxHeaderBytes");
    std::size_t maxHeaderFields = DefaultOf("MaxHeaderFields");
    // Largest request body (413 from its Content-Length, before it is
    // read). A 100,000-guest import is about 15 MB.
    std::size_t maxBodyBytes = DefaultOf("MaxBodyBytes");
    // The bodies being read or called at once, all connections together
    // (503 past it, from the Content-Length, before the body is read).
    std::size_t maxBodyBytesInFlight = DefaultOf("MaxBodyBytesInFlight");
    // Connections open at once: past maxConnections a new connection is
    // closed at once; past maxConnectionsPerAddress from one client address
    // it is answered 503 and closed.
    std::size_t maxConnections = DefaultOf("MaxConnections");
    std::size_t maxConnectionsPerAddress = DefaultOf("MaxConnectionsPerAddress");
    // Requests one connection may carry before the server closes it.
    std::size_t keepAliveMaxRequests = 100000;
    // Threads that run the remote methods; connections wait on none.
    std::size_t workerThreads = 16;
    // Log every call and every refusal to standard error; false writes no
    // line at all (the tests).
    bool logCalls = true;
    // Which calls have a line (LogLevel): every one, refusals and errors,
    // or errors only.
    LogLevel logLevel = LogLevel::Calls;
};

// Who may call, and over what.
struct ServerAccess {
    // Required on every request (Authorization: Bearer <token>) when not
    // empty; a bind to an address other than loopback requires one.
    std::string token;
    // PEM files of the certificate (chain) and its private key: with both,
    // the server speaks only HTTPS.
    std::string tlsCertificate;
    std::string tlsKey;
};

// A setting that keeps the server from starting: a bind beyond loopback
// without a token, TLS files missing, unreadable or not matching.
class ServerConfigError : public corvana::Error {
public:
    using corvana::Error::Error;
};

// The HTTP endpoint of the application server, over Boost.Beast: it hosts
// remote data modules by their server name and answers (docs/protocol.md)
//
//   GET  /<server name>           handshake: {"module": name, "methods": [...]}
//   POST /<server name>/<method>  body: JSON array of the positional arguments
//                                 answer: the answer Variant's JSON
//
// through its Router. Connections are served asynchronously by one thread,
// so a slow or idle client holds no thread; the methods run on a pool of
// workerThreads threads and their answers are written back asynchronously.
// Every call is logged to standard error with its method, duration, outcome
// and the client's address (at the level of limits.logLevel), and counted
// for GET /metrics (Metrics.h), which answers in the Prometheus text format
// behind the token like every call.
class AppServer {
public:
    using Limits = ServerLimits;
    using Access = ServerAccess;

    // Raises corvana::Error for modules that cannot be hosted (Router) or
    // a web service whose prefix is not "/<name>" or is a module's, and
    // ServerConfigError for TLS files that cannot be used. The web services
    // (WebService.h) answer the paths under their prefixes, without the
    // access token.
    explicit AppServer(std::vector<std::shared_ptr<RemoteDataModule>> modules, Limits limits = {},
                       Access access = {}, std::vector<std::shared_ptr<WebService>> web = {});
    ~AppServer();  // stops the server if it still runs
    AppServer(const AppServer&) = delete;
    AppServer& operator=(const AppServer&) = delete;

    // Binds the listening socket to `host` (an address or a name; its first
    // address); port 0 picks a free port (see Port()). Returns false when the
    // address cannot be bound (port in use, bad host). Raises
    // ServerConfigError for an address other than loopback without a token.
    bool Bind(const std::string& host, int port);
    // The bound port, 0 before a successful Bind.
    int Port() const;
    // The server speaks HTTPS.
    bool Tls() const;

    // Serves on the calling thread until Stop() is called from another
    // thread (or a signal watcher). Returns at once if Stop() came first.
    void ListenAfterBind();
    // Serves on a background thread; returns at once (connections are
    // accepted from Bind on and served as soon as the thread runs).
    void Start();
    // Stops accepting, closes the connections that wait for a request, lets
    // the calls in progress finish and their answers go out, and joins the
    // background thread. Safe to call more than once and from any thread
    // but a worker's.
    void Stop();

    // Replaces the access token the calls must carry (the program re-reads
    // AccessTokenFile on SIGHUP); a call already read keeps the one it was
    // checked against. An empty token is refused (raises ServerConfigError):
    // a running server never drops the token it started with.
    void SetAccessToken(const std::string& token);

    // Figures the program adds to GET /metrics (the database's sessions);
    // before Bind. Called on the I/O thread at each GET /metrics.
    void SetGauges(GaugeSource gauges);

    // The hosted module's server names, in the order given.
    std::vector<std::string> ModuleNames() const;

    // Raises ServerConfigError when `host` is an address other than
    // loopback (or a name of one) and `access` has no token. A host that
    // cannot be resolved passes (binding it fails).
    static void CheckAccess(const std::string& host, const Access& access);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace evt::server
