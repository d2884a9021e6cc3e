// Write transactions that lock by key (Connection::TransactionMode::
// WriteByKey, LockKeys): on PostgreSQL writers of different keys run at once,
// writers of one key one at a time, and a Write transaction excludes them
// all; an SQLite file has one writer whatever the mode.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "corvana/data/Error.h"
#include "corvana/postgresql/Postgresql.h"
#include "corvana/sqlite/Sqlite.h"
#include "support/PostgresOnlyTest.h"

namespace fs = std::filesystem;
using corvana::db::Connection;
using corvana::db::DatabaseError;
using corvana::db::Transaction;
using Mode = corvana::db::Connection::TransactionMode;

namespace {

// The kind of the error a call raised; Other when it raised none.
template <class F>
DatabaseError::Kind Raised(F&& work) {
    try {
        work();
    } catch (const DatabaseError& e) {
        return e.kind();
    }
    return DatabaseError::Kind::Other;
}

class KeyLockTest : public corvana::test::PostgresOnlyTest {
protected:
    void SetUpOnPostgres() override {
        a = Connect();
        b = Connect();
    }
    // The kind of what `work` on `connection` raised, waiting for a lock
    // 0.2 s instead of the usual 5 s; what must succeed waits as usual.
    template <class F>
    DatabaseError::Kind Refused(Connection& connection, F&& work) {
        connection.ExecuteScript("SET lock_timeout = 200");
        const auto kind = Raised(work);
        connection.ExecuteScript("SET lock_timeout = 5000");
        return kind;
    }
    std::unique_ptr<Connection> a, b;
};

}  // namespace

TEST_F(KeyLockTest, WritersOfOtherKeysGoOnAndOfTheSameKeyWait) {
    Transaction first(*a, Mode::WriteByKey);
    a->LockKeys({"lista 1", "lista 2"});
    {
        Transaction other(*b, Mode::WriteByKey);
        b->LockKeys({"lista 3"});
        // Locked twice by one writer: nothing to wait for.
        b->LockKeys({"lista 3"});
        other.Commit();
    }
    EXPECT_EQ(Refused(*b,
                      [&] {
                          Transaction other(*b, Mode::WriteByKey);
                          b->LockKeys({"lista 3", "lista 2"});
                      }),
              DatabaseError::Kind::Busy);
    // The database's writer waits for the writers by key...
    EXPECT_EQ(Refused(*b, [&] { Transaction whole(*b, Mode::Write); }), DatabaseError::Kind::Busy);
    first.Commit();
    {
        // ... and they for it.
        Transaction whole(*b, Mode::Write);
        b->LockKeys({"lista 1"});  // nothing more to take
        EXPECT_EQ(Refused(*a, [&] { Transaction other(*a, Mode::WriteByKey); }),
                  DatabaseError::Kind::Busy);
        // The locks are the schema's: another schema of the same database
        // (another site's data, another test's) takes its own at once.
        corvana::test::TestDatabase apart(fs::temp_directory_path().string());
        auto c = corvana::postgresql::Connect(apart.Location(), {});
        EXPECT_EQ(Refused(*c, [&] { Transaction w(*c, Mode::Write); }), DatabaseError::Kind::Other);
        EXPECT_EQ(Refused(*c,
                          [&] {
                              Transaction w(*c, Mode::WriteByKey);
                              c->LockKeys({"lista 1"});
                          }),
                  DatabaseError::Kind::Other);
        whole.Commit();
    }
    Transaction again(*a, Mode::WriteByKey);
    a->LockKeys({"lista 2", "lista 1"});
    again.Commit();
}

TEST_F(KeyLockTest, KeysAreLockedOnlyInsideAWriteTransaction) {
    EXPECT_THROW(a->LockKeys({"lista 1"}), corvana::Error);
    Transaction read(*a, Mode::Read);
    EXPECT_THROW(a->LockKeys({"lista 1"}), corvana::Error);
}

TEST(KeyLockSqliteTest, AFileHasOneWriterWhateverTheMode) {
    const fs::path dir = fs::temp_directory_path() / ("keylock-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        corvana::sqlite::ConnectOptions options;
        options.create = true;
        options.busyTimeoutMs = 100;
        auto a = corvana::sqlite::Connect((dir / "t.db").string(), options);
        auto b = corvana::sqlite::Connect((dir / "t.db").string(), options);
        EXPECT_THROW(a->LockKeys({"lista 1"}), corvana::Error);
        Transaction first(*a, Mode::WriteByKey);
        a->LockKeys({"lista 1"});
        EXPECT_EQ(Raised([&] { Transaction other(*b, Mode::WriteByKey); }),
                  DatabaseError::Kind::Busy);
        first.Commit();
    }
    fs::remove_all(dir);
}
