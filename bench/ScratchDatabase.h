#pragma once
// A benchmark's own database: an SQLite file in a temporary folder, or a
// schema of its own in the PostgreSQL database EVT_BENCH_POSTGRESQL names
// (./dev bench starts a throwaway cluster that syncs every commit, as the
// SQLite file does). Both are gone when it is.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "corvana/db/Connection.h"
#include "corvana/postgresql/Postgresql.h"

namespace bench {

class ScratchDatabase {
public:
    // `name` names the folder and the schema ("-" as "_"), the process id
    // after it.
    ScratchDatabase(const std::string& name, bool postgres) {
        const std::string pid = std::to_string(::getpid());
        dir_ =
            std::filesystem::temp_directory_path() / (name + "-" + pid + (postgres ? "-pg" : ""));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        location_ = (dir_ / "evt.db").string();
        if (!postgres) return;
        const char* base = std::getenv("EVT_BENCH_POSTGRESQL");
        if (!base || !*base)
            throw std::runtime_error("EVT_BENCH_POSTGRESQL not set (./dev bench sets it)");
        schema_ = name;
        std::replace(schema_.begin(), schema_.end(), '-', '_');
        schema_ += pid;
        admin_ = corvana::postgresql::Connect(base, {});
        admin_->ExecuteScript("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE; CREATE SCHEMA " +
                              schema_);
        location_ = corvana::postgresql::InSchema(base, schema_);
    }
    ~ScratchDatabase() {
        if (admin_) admin_->ExecuteScript("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
        std::filesystem::remove_all(dir_);
    }
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    // The database's address for Database::Open: the file's path or the
    // PostgreSQL address with the schema.
    const std::string& Location() const { return location_; }
    // The temporary folder, for what a benchmark writes beside the database.
    const std::filesystem::path& Dir() const { return dir_; }

private:
    std::filesystem::path dir_;
    std::string location_;
    std::string schema_;
    std::unique_ptr<corvana::db::Connection> admin_;  // PostgreSQL: makes and drops the schema
};

}  // namespace bench
