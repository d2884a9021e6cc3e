// Rows streamed into a table (Connection::CopyInto): PostgreSQL's COPY, which
// the server's import uses; SQLite says it cannot.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "corvana/data/Error.h"
#include "corvana/postgresql/Postgresql.h"
#include "corvana/sqlite/Sqlite.h"
#include "support/PostgresOnlyTest.h"

namespace fs = std::filesystem;
using corvana::db::Connection;
using corvana::db::DatabaseError;
using corvana::db::Transaction;

namespace {

class CopyInTest : public corvana::test::PostgresOnlyTest {
protected:
    void SetUpOnPostgres() override {
        connection = Connect();
        connection->ExecuteScript(
            "CREATE TABLE T (K TEXT PRIMARY KEY, V TEXT, N DOUBLE PRECISION, "
            "D TEXT DEFAULT 'padrão' CHECK (length(D) <= 6))");
    }
    // The error that finishing a copy of `rows` into T's `columns` raises,
    // in a transaction then rolled back; none when the copy was taken.
    std::optional<DatabaseError> CopyRefused(const std::vector<std::string>& columns,
                                             const std::vector<std::vector<std::string>>& rows) {
        Transaction tx(*connection);
        auto copy = connection->CopyInto("T", columns);
        for (const auto& row : rows) {
            for (const std::string& cell : row) copy->Cell(cell);
            copy->EndRow();
        }
        try {
            copy->Finish();
        } catch (const DatabaseError& e) {
            return e;
        }
        return std::nullopt;
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
    const auto repeated = CopyRefused({"K"}, {{"a"}, {"b"}, {"c"}});
    ASSERT_TRUE(repeated.has_value()) << "a repeated key was copied";
    EXPECT_EQ(repeated->kind(), DatabaseError::Kind::Unique);
    EXPECT_NE(repeated->detail().find("T_PKEY"), std::string::npos) << repeated->detail();
    const auto tooLong = CopyRefused({"K", "D"}, {{"d", "longo demais"}});
    ASSERT_TRUE(tooLong.has_value()) << "a text past its check was copied";
    EXPECT_EQ(tooLong->kind(), DatabaseError::Kind::Check);
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
