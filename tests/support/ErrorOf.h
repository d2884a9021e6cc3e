#pragma once
#include <string>

#include "corvana/data/Error.h"

namespace corvana::test {

// The message of the corvana::Error that `run` raises; "" when it raises
// none, which no expected message equals.
template <class Run>
std::string ErrorOf(Run&& run) {
    try {
        run();
    } catch (const corvana::Error& e) {
        return e.what();
    }
    return {};
}

}  // namespace corvana::test
