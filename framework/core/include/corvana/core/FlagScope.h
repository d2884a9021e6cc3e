#pragma once
#include <utility>

namespace corvana {

// Sets a flag for the lifetime of the scope and gives it back its old value
// at the end, also when an exception passes: a guard against re-entry.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag), saved_(std::exchange(flag, true)) {}
    ~FlagScope() { flag_ = saved_; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
    bool saved_;
};

}  // namespace corvana
