#pragma once
// What the fuzz targets share: a broken promise of the code under test ends
// the run as a crash, so that libFuzzer keeps the input as a reproducer.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

[[noreturn]] inline void Fail(std::string_view what, std::string_view detail = {}) {
    std::fprintf(stderr, "\n*** %.*s\n%.*s\n", static_cast<int>(what.size()), what.data(),
                 static_cast<int>(detail.size()), detail.data());
    std::abort();
}

inline void Check(bool holds, std::string_view what, std::string_view detail = {}) {
    if (!holds) Fail(what, detail);
}

}  // namespace fuzz
