// Moving a site's data into another database (CopyDatabase, evt07800-server
// --migrate-from): the seeded demo file copied into the test's database (an
// SQLite file, or a PostgreSQL schema under the server-postgresql label).
#include <gmock/gmock.h>
#include <sys/wait.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <optional>
#include <set>

#include "ServerFixture.h"
#include "rdm/RdmListConv.h"
#include "storage/CopyDatabase.h"
#include "storage/DemoData.h"
#include "support/SeededDatabase.h"

using namespace evt::server::storage;
using ::testing::HasSubstr;

namespace {

using Table = std::vector<std::vector<std::optional<std::string>>>;

// The column names, then every row of `table` sorted; a REAL as its double's
// shortest exact text, so that both backends write it alike.
Table Contents(Database& database, const std::string& table) {
    auto connection = database.Acquire();
    auto st = connection->Prepare("SELECT * FROM " + table);
    Table rows;
    while (st->Step()) {
        auto& row = rows.emplace_back();
        for (int c = 0; c < st->ColumnCount(); ++c) {
            if (st->IsNull(c)) {
                row.emplace_back();
            } else if (st->ColumnType(c) == "REAL") {
                char text[32];
                row.emplace_back(
                    std::string(text, std::to_chars(text, text + 32, st->Double(c)).ptr));
            } else {
                row.emplace_back(st->Text(c));
            }
        }
    }
    std::sort(rows.begin(), rows.end());
    std::vector<std::optional<std::string>> names;
    for (int c = 0; c < st->ColumnCount(); ++c) names.emplace_back(st->ColumnName(c));
    rows.insert(rows.begin(), names);
    return rows;
}

// Where two texts first differ, for a failure's message.
std::string Difference(const std::string& a, const std::string& b) {
    const std::size_t at = static_cast<std::size_t>(
        std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
    const std::size_t from = at > 80 ? at - 80 : 0;
    return "byte " + std::to_string(at) + ": " + a.substr(from, 160) + "\n    | " +
           b.substr(from, 160);
}

std::int64_t Count(Database& database, const std::string& table) {
    auto connection = database.Acquire();
    auto st = connection->Prepare("SELECT COUNT(*) FROM " + table);
    return st->Step() ? st->Int(0) : -1;
}

void Execute(Database& database, const std::string& sql) {
    database.Acquire()->ExecuteScript(sql);
}

std::string CopyError(Database& from, Database& to) {
    try {
        CopyDatabase(from, to, [](const std::string&) {});
    } catch (const corvana::Error& e) {
        return e.what();
    }
    return "copiou";
}

class CopyDatabaseTest : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        sourcePath = dir + "/origem.db";
        corvana::test::CopySeededDatabase(sourcePath);
    }

    std::shared_ptr<Database> OpenSource() { return OpenCopySource("sqlite://" + sourcePath, {}); }

    // The big list through the server over the target and straight from the
    // module over the source.
    void ExpectSameBigList(const std::shared_ptr<Database>& source) {
        const std::vector<corvana::Variant> list = {demo::kBigListBranch, demo::kBigListBudget,
                                                    demo::kBigListSequence};
        evt::server::RdmListConv fromSource(source);
        const std::string copied = Call("GetConvOrceve", list).toJson();
        const std::string original = fromSource.Call("GetConvOrceve", list).toJson();
        EXPECT_TRUE(copied == original) << Difference(copied, original);
    }

    std::string sourcePath;
};

TEST_F(CopyDatabaseTest, EveryRowArrivesAsStoredAndASecondCopyIsRefused) {
    auto source = OpenSource();
    // A value SQLite writes as text with 15 digits only, and a name key as
    // a migration left it for a twin: neither is computed again.
    Execute(*source,
            "UPDATE LISTACONVOREV SET QUANTIDADE = 0.1 + 0.2, "
            "NMCHAVE = NMCHAVE || '#GEMEO-' || NRLISTACONVOREV "
            "WHERE CDFILIAL = '0001' AND NRORCAEVENTO = '0000005000' AND NRSEQORCAEVE = '01' "
            "AND NRLISTACONVOREV = '00042'");
    // A list's version and a number removed from it.
    Execute(*source,
            "INSERT INTO LISTACONVVERSAO VALUES ('0001', '0000005000', '01', 3);"
            "INSERT INTO LISTACONVREMOVIDO VALUES ('0001', '0000005000', '01', '05001', 2);");
    // A list with reception, a station and a check-in.
    Execute(*source,
            "INSERT INTO RECEPCAO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDRECEPCAO, NRVERSAO) "
            "VALUES ('0001', '0000005000', '01', 'S', 1);"
            "INSERT INTO RECEPESTACAO (CDESTACAO, CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NMESTACAO, "
            "NMCHAVE, DSTOKEN, DTCRIACAO, DTVALIDADE) VALUES (1, '0001', '0000005000', '01', "
            "'Portaria 1', 'portaria 1', '" +
                std::string(64, 'a') +
                "', '2026-12-08T18:00:00', '2026-12-09T18:00:00');"
                "INSERT INTO RECEPENTRADA (CDESTACAO, IDREQUISICAO, CDFILIAL, NRORCAEVENTO, "
                "NRSEQORCAEVE, NRLISTACONVOREV, IDTIPO, QTPESSOAS, DTENTRADA, DTREGISTRO, "
                "NRVERSAO) VALUES (1, 'r1', '0001', '0000005000', '01', '00042', 'E', 1, "
                "'2026-12-08T20:41:07', '2026-12-08T20:41:08', 1);");

    std::vector<std::string> log;
    const auto copied =
        CopyDatabase(*source, *db, [&](const std::string& line) { log.push_back(line); });

    // Every table of the file is copied whole, row for row.
    std::set<std::string> schemaTables, copiedTables;
    {
        auto connection = source->Acquire();
        auto st = connection->Prepare("SELECT name FROM sqlite_master WHERE type = 'table'");
        while (st->Step()) schemaTables.insert(st->Text(0));
    }
    for (const CopiedTable& t : copied) {
        SCOPED_TRACE(t.table);
        copiedTables.insert(t.table);
        const Table rows = Contents(*source, t.table);
        EXPECT_EQ(t.rows, static_cast<std::int64_t>(rows.size()) - 1);
        EXPECT_GT(t.rows, 0);
        const Table copy = Contents(*db, t.table);
        ASSERT_EQ(copy.size(), rows.size());
        const auto differ = std::mismatch(rows.begin(), rows.end(), copy.begin());
        EXPECT_TRUE(differ.first == rows.end())
            << ::testing::PrintToString(*differ.first) << "\n    copiada como\n"
            << ::testing::PrintToString(*differ.second);
        EXPECT_THAT(log,
                    ::testing::Contains(t.table + ": " + std::to_string(t.rows) +
                                        (t.rows == 1 ? " linha copiada" : " linhas copiadas")));
    }
    EXPECT_EQ(copiedTables, schemaTables);
    ExpectSameBigList(source);

    EXPECT_THAT(CopyError(*source, *db), HasSubstr("já tem dados (tabela FILIAL)"));
    for (const CopiedTable& t : copied) EXPECT_EQ(Count(*db, t.table), t.rows) << t.table;
}

TEST_F(CopyDatabaseTest, WhatCannotBeCopiedWholeLeavesTheTargetAsItWas) {
    const std::string missing = dir + "/nada.db";
    try {
        OpenCopySource("sqlite:" + missing, {});
        ADD_FAILURE() << "um arquivo que não existe foi aberto";
    } catch (const corvana::Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("'" + missing + "' não existe"));
    }
    EXPECT_FALSE(std::filesystem::exists(missing));

    auto source = OpenSource();
    auto expectEmpty = [&] {
        for (const std::string& table : CopiedTables()) EXPECT_EQ(Count(*db, table), 0) << table;
    };
    // A target holding one row in a table copied late: refused before the
    // first table is written.
    Execute(*db, "INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE) VALUES ('999999', 'Já Aqui')");
    EXPECT_THAT(CopyError(*source, *db), HasSubstr("já tem dados (tabela CLIENTE)"));
    Execute(*db, "DELETE FROM CLIENTE");
    expectEmpty();

    // A target that loses a guest of every list as it is written: the counts
    // differ and every table written before is rolled back.
    if (corvana::test::OnPostgres()) {
        Execute(*db,
                "CREATE FUNCTION PERDE_UM() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                "DELETE FROM LISTACONVOREV WHERE CDFILIAL = NEW.CDFILIAL AND "
                "NRORCAEVENTO = NEW.NRORCAEVENTO AND NRSEQORCAEVE = NEW.NRSEQORCAEVE AND "
                "NRLISTACONVOREV = NEW.NRLISTACONVOREV; RETURN NULL; END $$; "
                "CREATE TRIGGER PERDE_UM AFTER INSERT ON LISTACONVOREV FOR EACH ROW "
                "WHEN (NEW.NRLISTACONVOREV = '00007') EXECUTE FUNCTION PERDE_UM()");
    } else {
        Execute(*db,
                "CREATE TRIGGER PERDE_UM AFTER INSERT ON LISTACONVOREV "
                "WHEN NEW.NRLISTACONVOREV = '00007' BEGIN "
                "DELETE FROM LISTACONVOREV WHERE CDFILIAL = NEW.CDFILIAL AND "
                "NRORCAEVENTO = NEW.NRORCAEVENTO AND NRSEQORCAEVE = NEW.NRSEQORCAEVE AND "
                "NRLISTACONVOREV = NEW.NRLISTACONVOREV; END");
    }
    const std::string error = CopyError(*source, *db);
    EXPECT_THAT(error, HasSubstr("A tabela LISTACONVOREV tem " +
                                 std::to_string(Count(*source, "LISTACONVOREV"))));
    EXPECT_THAT(error, HasSubstr("nada foi gravado"));
    expectEmpty();
}

// The command a site runs: the file into the test's database, one line per
// table, exit code 0; no password of the URL in what it writes.
TEST_F(CopyDatabaseTest, TheServerCopiesAFileAndEnds) {
    std::error_code ec;
    const auto exe =
        std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "evt07800-server";
    if (!std::filesystem::exists(exe)) GTEST_SKIP() << "evt07800-server não foi compilado";
    std::string target = dbPath;
    if (corvana::test::OnPostgres() && target.find('@') != std::string::npos) {
        // The test cluster trusts its user: a password is carried, not used.
        target.insert(target.find('@'), ":segredo");
    }
    std::ofstream(dir + "/vazio.conf") << "";
    const std::string command = "timeout 300 '" + exe.string() + "' --config='" + dir +
                                "/vazio.conf' --migrate-from 'sqlite:" + sourcePath + "' --db '" +
                                target + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    const int status = ::pclose(pipe);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    auto source = OpenSource();
    EXPECT_THAT(out, HasSubstr("LISTACONVOREV: " + std::to_string(Count(*source, "LISTACONVOREV")) +
                               " linhas copiadas"));
    EXPECT_THAT(out, HasSubstr("Cópia concluída"));
    EXPECT_THAT(out, ::testing::Not(HasSubstr("segredo")));
    ExpectSameBigList(source);
}

}  // namespace
