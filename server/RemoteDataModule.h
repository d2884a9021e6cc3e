#pragma once
#include <optional>
#include <string>
#include <vector>

#include "corvana/data/Error.h"
#include "corvana/data/Variant.h"

namespace evt::server {

// A request the endpoint refuses before or instead of running it: a wrong
// number or kind of arguments, an unknown method, a malformed packet. The
// endpoint answers it with a 4xx status and the message.
class BadRequest : public corvana::Error {
public:
    using corvana::Error::Error;
};

class UnknownMethod : public BadRequest {
public:
    using BadRequest::BadRequest;
};

// A remote data module hosted by the application server, called by method
// name with positional arguments. Implementations must accept concurrent
// calls from the endpoint's worker threads.
class RemoteDataModule {
public:
    virtual ~RemoteDataModule() = default;
    // The server name clients connect to, e.g. "evt07800.rdmListConv".
    virtual std::string Name() const = 0;
    virtual std::vector<std::string> Methods() const = 0;
    // Runs a method. A refusal the user must read (a repeated name, a row
    // changed by another user, a database failure) comes back as
    // Variant::serverError(text) — an answer, not a transport failure.
    // Raises BadRequest / UnknownMethod for calls that do not fit.
    virtual corvana::Variant Call(const std::string& method,
                                  const std::vector<corvana::Variant>& args) = 0;

    // What the endpoint sends: the JSON text of Call's answer, and the text
    // of the server error when the answer is one. A module may write a
    // large answer straight from its query instead of building it first;
    // the text must be what Call(method, args).toJson() would give.
    struct JsonAnswer {
        std::string text;
        std::optional<std::string> refusal;
    };
    virtual JsonAnswer CallJson(const std::string& method,
                                const std::vector<corvana::Variant>& args) {
        const corvana::Variant answer = Call(method, args);
        JsonAnswer out{answer.toJson(), std::nullopt};
        if (answer.isError()) out.refusal = answer.errorMessage();
        return out;
    }
};

}  // namespace evt::server
