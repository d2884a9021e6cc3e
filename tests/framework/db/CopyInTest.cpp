// Rows streamed into a table (Connection::CopyInto): PostgreSQL's COPY, which
// the server's import uses; SQLite says it cannot.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "corvana/data/Error.h"
#include "corvana/postgresql/Postgresql.h"
#include "corvana/sqlite/Sqlite.h"
#include "support/TestDatabase.h"

namespace fs = std::filesystem;
using corvana::db::Connection;
using corvana::db::DatabaseError;
using corvana::db::Transaction;

namespace {

class CopyInTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!corvana::test::OnPostgres()) GTEST_SKIP() << "só no PostgreSQL";
        if (!corvana::test::PostgresMissing().empty())
            GTEST_SKIP() << corvana::test::PostgresMissing();
        dir = fs::temp_directory_path() / ("copyin-" + std::to_string(::getpid()));
        database = std::make_unique<corvana::test::TestDatabase>(dir.string());
        connection = corvana::postgresql::Connect(database->Location(), {});
        connection->ExecuteScript(
            "CREATE TABLE T (K TEXT PRIMARY KEY, V TEXT, N DOUBLE PRECISION, "
            "D TEXT DEFAULT 'padrão' CHECK (length(D) <= 6))");
    }
    std::string All() {
        std::string out;
        for (auto st = connection->Prepare("SELECT K, V, N, D FROM T ORDER BY K"); st->Step();) {
            for (int c = 0; c < 4; ++c)
                out += (st->IsNull(c) ? std::string("<nulo>") : st->Text(c)) + (c < 3 ? "|" : "");
            out += "\n";
        }
        return out;
    }
    fs::path dir;
    std::unique_ptr<corvana::test::TestDatabase> database;
    std::unique_ptr<Connection> connection;
};

}  // namespace

TEST_F(CopyInTest, TextsArriveAsTheyWereWhateverTheyHold) {
    ASSERT_TRUE(connection->CanCopy());
    const std::string awkward[] = {"a\\b",        "tab\there", "line\nbreak", "cr\rhere", "\\N", "",
                                   "José ção 中", "end\\",     "quote'\"",    "\\.",      "x"};
    Transaction tx(*connection);
    auto copy = connection->CopyInto("T", {"K", "V", "N"});
    int k = 0;
    for (const std::string& text : awkward) {
        copy->Cell(std::to_string(10 + k++));
        copy->Cell(text);
        copy->Cell("1.5");
        copy->EndRow();
    }
    copy->Cell("99");
    copy->Cell(nullptr);
    copy->Cell(std::optional<std::string>());
    copy->EndRow();
    EXPECT_EQ(copy->Finish(), static_cast<std::int64_t>(std::size(awkward)) + 1);
    copy.reset();
    tx.Commit();
    std::string expected;
    k = 0;
    for (const std::string& text : awkward)
        expected += std::to_string(10 + k++) + "|" + text + "|1.5|padrão\n";
    expected += "99|<nulo>|<nulo>|padrão\n";
    EXPECT_EQ(All(), expected);
}

TEST_F(CopyInTest, AViolationFailsTheCopyAndNothingOfItStays) {
    connection->ExecuteScript("INSERT INTO T (K) VALUES ('b')");
    {
        Transaction tx(*connection);
        auto copy = connection->CopyInto("T", {"K"});
        for (const char* key : {"a", "b", "c"}) {
            copy->Cell(key);
            copy->EndRow();
        }
        try {
            copy->Finish();
            ADD_FAILURE() << "a repeated key was copied";
        } catch (const DatabaseError& e) {
            EXPECT_EQ(e.kind(), DatabaseError::Kind::Unique);
            EXPECT_NE(e.detail().find("T_PKEY"), std::string::npos) << e.detail();
        }
    }
    {
        Transaction tx(*connection);
        auto copy = connection->CopyInto("T", {"K", "D"});
        copy->Cell("d");
        copy->Cell("longo demais");
        copy->EndRow();
        try {
            copy->Finish();
            ADD_FAILURE() << "a text past its check was copied";
        } catch (const DatabaseError& e) {
            EXPECT_EQ(e.kind(), DatabaseError::Kind::Check);
        }
    }
    EXPECT_EQ(All(), "b|<nulo>|<nulo>|padrão\n");
}

TEST_F(CopyInTest, ACopyLeftUnfinishedStoresNothingAndTheConnectionGoesOn) {
    {
        Transaction tx(*connection);
        auto copy = connection->CopyInto("T", {"K"});
        copy->Cell("a");
        copy->EndRow();
        // A row of the wrong width is the caller's mistake, caught before it
        // is sent.
        copy->Cell("b");
        copy->Cell("c");
        EXPECT_THROW(copy->EndRow(), corvana::Error);
    }
    EXPECT_FALSE(connection->InTransaction());
    EXPECT_EQ(All(), "");
    // An unknown column: refused when the copy opens.
    {
        Transaction tx(*connection);
        EXPECT_THROW(connection->CopyInto("T", {"NAO_HA"}), DatabaseError);
    }
    connection->ExecuteScript("INSERT INTO T (K) VALUES ('z')");
    EXPECT_EQ(All(), "z|<nulo>|<nulo>|padrão\n");
}

TEST(CopyInSqliteTest, AFileSaysItDoesNotCopy) {
    const fs::path dir =
        fs::temp_directory_path() / ("copyin-sqlite-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        corvana::sqlite::ConnectOptions options;
        options.create = true;
        auto connection = corvana::sqlite::Connect((dir / "t.db").string(), options);
        EXPECT_FALSE(connection->CanCopy());
        EXPECT_THROW(connection->CopyInto("T", {"K"}), corvana::Error);
    }
    fs::remove_all(dir);
}
