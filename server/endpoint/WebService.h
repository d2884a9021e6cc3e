#pragma once
// A part of the application server that answers plain HTTP under a path of
// its own instead of the remote data modules' protocol: the reception
// station's page and calls under /recepcao (docs/reception.md). The endpoint
// reads the request under its usual limits, does not ask for the server's
// access token there (the service checks its own), runs Handle on a worker
// and writes the answer with the status, type and headers it gives.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace evt::server {

struct WebRequest {
    std::string verb;   // GET, HEAD or POST
    std::string path;   // without the query
    std::string query;  // what follows '?', may be empty
    std::string body;
    std::string contentType;
    std::string authorization;
    std::string acceptEncoding;
    std::string ifNoneMatch;
    std::string peer;  // the client's address
};

struct WebAnswer {
    int status = 200;
    std::string contentType = "application/json; charset=utf-8";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // For the call's log line: "ok", or why it was refused.
    std::string outcome = "ok";

    // A call that waits for something to happen (a long poll): the endpoint
    // holds the connection without a worker until `wake` is called (from any
    // thread) or `upTo` has passed, then runs `resume` on a worker and sends
    // what it answers. `subscribe` registers the wake and answers what
    // cancels it; after the cancel has returned the wake is never called.
    struct Hold {
        std::chrono::milliseconds upTo{0};
        std::function<std::function<void()>(std::function<void()> wake)> subscribe;
        std::function<WebAnswer()> resume;
    };
    std::shared_ptr<Hold> hold;
};

class WebService {
public:
    virtual ~WebService() = default;
    // The path it answers: itself and everything under "<prefix>/"
    // ("/recepcao").
    virtual std::string Prefix() const = 0;
    // Runs on a worker thread, many at once; never throws.
    virtual WebAnswer Handle(const WebRequest& request) = 0;
};

}  // namespace evt::server
