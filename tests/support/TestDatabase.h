#pragma once
// The database of one server test, on the backend the test runs on. CTest
// runs the server tests twice: as they are (an SQLite file in the test's
// temporary folder) and with EVT_TEST_BACKEND=postgresql (label
// server-postgresql), where each test works in a schema of its own of the
// database EVT_TEST_POSTGRESQL names (./dev test starts a throwaway cluster
// and sets it).
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "corvana/postgresql/Postgresql.h"

namespace corvana::test {

inline bool OnPostgres() {
    const char* backend = std::getenv("EVT_TEST_BACKEND");
    return backend && std::string(backend) == "postgresql";
}

// Why a PostgreSQL test cannot run here; empty when it can.
inline std::string PostgresMissing() {
    const char* url = std::getenv("EVT_TEST_POSTGRESQL");
    if (url && *url) return {};
    return "EVT_TEST_POSTGRESQL não definido: rode ./dev test, que sobe um PostgreSQL "
           "descartável";
}

// A fresh, empty database: `dir`/`file` on SQLite; on PostgreSQL a new
// schema, dropped with everything in it by the destructor.
class TestDatabase {
public:
    TestDatabase(const std::string& dir, const std::string& file = "evt.db") {
        if (!OnPostgres()) {
            location_ = dir + "/" + file;
            return;
        }
        static std::atomic<int> counter{0};
        const std::string base = std::getenv("EVT_TEST_POSTGRESQL");
        schema_ = "t" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
        admin_ = corvana::postgresql::Connect(base, {});
        admin_->ExecuteScript("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE; CREATE SCHEMA " +
                              schema_);
        location_ = corvana::postgresql::InSchema(base, schema_);
    }
    ~TestDatabase() {
        if (!admin_) return;
        try {
            admin_->ExecuteScript("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
        } catch (...) {
            // A cluster that went away takes the schema with it.
        }
    }
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    // The path or URL to open.
    const std::string& Location() const { return location_; }

private:
    std::string location_;
    std::string schema_;
    std::unique_ptr<corvana::db::Connection> admin_;
};

}  // namespace corvana::test
