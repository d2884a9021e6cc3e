#pragma once
#include <stdexcept>
#include <string>

namespace corvana {

// The one exception type of the framework for faults the user should read:
// bad input, a malformed packet, a refused operation. Texts are Portuguese.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// A silent refusal: whoever raised it has already shown its message
// (Consiste::MensErro). The UI guard swallows it without a second message.
class EAbort : public Error {
public:
    explicit EAbort(const std::string& message = "Operação cancelada.") : Error(message) {}
};

// A JSON text whose value would hold more memory than its reader was allowed
// (Variant::fromJson with a budget). Nothing of the value is kept.
class MemoryLimitError : public Error {
public:
    using Error::Error;
};

}  // namespace corvana
