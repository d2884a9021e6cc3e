#pragma once
// The demo database the screen and protocol tests start from, each test on a
// copy of its own. Seeding takes seconds: CTest seeds one template per run
// (the test seed_template, a fixture the suites that use it require) and
// passes its path in EVT_SEEDED_TEMPLATE; a test program run by hand seeds
// one of its own, once, in a temporary folder removed at exit.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#include "storage/Database.h"
#include "storage/DemoData.h"

namespace corvana::test {

// Seeds the demo data into a new file at `file`, written beside it first
// and then renamed, so that a reader never finds it half-written.
inline void SeedTemplateFile(const std::filesystem::path& file) {
    const std::filesystem::path partial = file.string() + "." + std::to_string(::getpid());
    std::filesystem::remove(partial);
    {
        auto db = evt::server::storage::Database::Open(partial.string());
        evt::server::storage::SeedDemo(*db);
        // The pool's connections close with the last reference: the
        // write-ahead log is folded into the file before it is renamed.
    }
    std::filesystem::rename(partial, file);
}

inline const std::filesystem::path& SeededTemplate() {
    static const std::filesystem::path path = [] {
        if (const char* given = std::getenv("EVT_SEEDED_TEMPLATE"); given && *given) {
            if (!std::filesystem::exists(given))
                throw std::runtime_error(std::string("banco semeado não encontrado: ") + given);
            return std::filesystem::path(given);
        }
        static const std::filesystem::path dir =
            std::filesystem::temp_directory_path() / ("evt-seeded-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        });
        SeedTemplateFile(dir / "template.db");
        return dir / "template.db";
    }();
    return path;
}

// A copy of the seeded demo database at `file`. A log left beside `file` by an earlier process that
// used the same path (a folder named after a reused process id, left by a run that was killed)
// would be replayed over the fresh copy and corrupt it: it goes first.
inline void CopySeededDatabase(const std::filesystem::path& file) {
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        std::filesystem::remove(file.string() + suffix);
    std::filesystem::copy_file(SeededTemplate(), file,
                               std::filesystem::copy_options::overwrite_existing);
}

}  // namespace corvana::test
