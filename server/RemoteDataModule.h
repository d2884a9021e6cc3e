#pragma once
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
};

}  // namespace evt::server
