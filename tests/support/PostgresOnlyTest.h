#pragma once
// A base for the tests of what only PostgreSQL does: skipped on the SQLite
// run and where no cluster was set up; `database` is a schema of the test's
// own, set up by a fixture in SetUpOnPostgres.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "support/TestDatabase.h"

namespace corvana::test {

class PostgresOnlyTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnPostgres()) GTEST_SKIP() << "só no PostgreSQL";
        if (!PostgresMissing().empty()) GTEST_SKIP() << PostgresMissing();
        database = std::make_unique<TestDatabase>(std::filesystem::temp_directory_path().string());
        SetUpOnPostgres();
    }
    virtual void SetUpOnPostgres() {}

    // A new session of the test's database.
    std::unique_ptr<corvana::db::Connection> Connect() const {
        return corvana::postgresql::Connect(database->Location(), {});
    }

    std::unique_ptr<TestDatabase> database;
};

}  // namespace corvana::test
