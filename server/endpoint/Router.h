#pragma once
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "RemoteDataModule.h"

namespace evt::server {

// What the endpoint sends back for one request: the status, the JSON body
// and the outcome written on the call's log line.
struct RouterAnswer {
    int status = 200;
    std::string body;     // JSON
    std::string outcome;  // for the log line: "ok", "refused: ...", "404: ...", "error: ..."
};

// The part of the endpoint that knows nothing of sockets (docs/protocol.md):
// the path read as /<server name>[/<method>], the content type, the body read
// as the JSON array of the arguments, the call, and the one error boundary
// that turns whatever the call raises into a status and {"$error": text}.
//
//   GET|HEAD /<server name>           the handshake {"module": ..., "methods": [...]}
//   POST     /<server name>/<method>  the method's answer (a refusal is a 200)
//
// Handle never throws and may be called from many threads at once (the
// modules accept concurrent calls).
class Router {
public:
    // Raises corvana::Error for a null module, a name that cannot be a
    // path segment, or a server name hosted twice.
    explicit Router(std::vector<std::shared_ptr<RemoteDataModule>> modules);

    // verb "GET"/"HEAD"/"POST"..., target the request path (a query after
    // '?' is ignored), contentType may be empty.
    RouterAnswer Handle(std::string_view verb, std::string_view target,
                        std::string_view contentType, std::string_view body) const;

    // The hosted modules' server names, in the order given.
    std::vector<std::string> ModuleNames() const;
    // The method a path calls, as GET /metrics counts it: a hosted method's
    // name, "handshake" for a hosted module's path, "outro" for anything
    // else (so that made-up paths add no names).
    std::string MethodLabel(std::string_view path) const;

    // A refusal: `status` with {"$error": message} and its outcome.
    static RouterAnswer Refusal(int status, const std::string& message);

    // The text the 405 refusal gives for a verb other than GET, HEAD or POST.
    static std::string VerbRefused(std::string_view verb);

    // `text` fit for one log line: control bytes replaced, at most `max`
    // bytes (then "...").
    static std::string Printable(std::string_view text, std::size_t max = 300);

    // Header values as compared: ASCII letters lowercased (media types,
    // codings), and a value's part without the spaces and tabs around it.
    static std::string AsciiLower(std::string_view text);
    static std::string_view TrimSpaces(std::string_view text);

private:
    struct Hosted {
        std::shared_ptr<RemoteDataModule> module;
        std::set<std::string, std::less<>> methods;
        std::string handshake;  // the GET /<server name> answer
    };

    RouterAnswer route(std::string_view verb, std::string_view path, std::string_view contentType,
                       std::string_view body) const;
    std::string notFound(std::string_view path) const;

    std::vector<std::string> order_;
    std::map<std::string, Hosted, std::less<>> hosted_;
};

}  // namespace evt::server
