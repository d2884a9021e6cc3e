// evt07800-server --backup, --backup-dir and --restore as an administrator
// runs them (the real program, as a process) on the SQLite file of a server
// that is serving: a backup taken while 20 clients save, and every refusal
// of a bad backup or a bad target (exit code 2, a Portuguese message, the
// live database untouched). PostgreSQL is backed up with pg_dump instead
// (tests/install/postgresql-backup-test.sh).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ListConvTestSupport.h"
#include "storage/Schema.h"
#include "support/ServerProcess.h"

namespace {

using namespace listconv_test;
using corvana::test::BackgroundProgram;
using corvana::test::ReadFile;
using corvana::test::RunProgram;
using testing::HasSubstr;
namespace fs = std::filesystem;

const std::string kServer = EVT_SERVER_BIN;

// The first column of a query on an SQLite file, opened read only.
std::vector<std::string> Query(const std::string& file, const std::string& sql) {
    std::vector<std::string> values;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return {"(não abriu)"};
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(st, 0);
            values.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
        }
    } else {
        values.push_back(std::string("(erro: ") + sqlite3_errmsg(db) + ")");
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return values;
}

class Backup : public ListConvTest {
protected:
    void SetUp() override {
        if (corvana::test::OnPostgres())
            GTEST_SKIP() << "a cópia de um banco PostgreSQL é feita com pg_dump "
                            "(tests/install/postgresql-backup-test.sh)";
        ListConvTest::SetUp();
    }

    std::string File(const std::string& name) const { return dir + "/" + name; }

    // A backup of the fixture's database as it is now, made by the program.
    std::string MakeBackup(const std::string& name) {
        const auto run = RunProgram({kServer, "--db", dbPath, "--backup", File(name)});
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return File(name);
    }

    // Runs the program and expects a refusal: exit code 2, the message,
    // and the live database's file as it was.
    void ExpectRefused(const std::vector<std::string>& args, const std::string& message) {
        const std::string before = ReadFile(dbPath);
        std::vector<std::string> command = {kServer, "--db", dbPath};
        command.insert(command.end(), args.begin(), args.end());
        const auto run = RunProgram(command);
        EXPECT_EQ(run.exitCode, 2) << run.output;
        EXPECT_THAT(run.output, HasSubstr(message));
        EXPECT_EQ(ReadFile(dbPath), before) << "o banco mudou";
        EXPECT_FALSE(fs::exists(dbPath + ".antes-da-restauracao"));
    }

    // The database's file alone holds everything: the pool's connections
    // closed, the WAL checkpointed.
    void Quiesce() {
        StopServer();
        db.reset();
    }
};

TEST_F(Backup, TakenWhileTwentyClientsSaveHoldsEverySaveOfBeforeItBegan) {
    // A list big enough for the copy to take several steps.
    Exec(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
        "INSERT INTO LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV, "
        "NMLISTACONVOREV, NMCHAVE, QUANTIDADE) SELECT '0001', '0000000002', '02', "
        "printf('%05d', i), 'Convidado antigo ' || i, 'convidado antigo ' || i, 1 FROM n;");
    constexpr int kClients = 20;
    std::mutex mutex;
    std::vector<std::string> acknowledged;
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    // Each save's start and end, to tell the saves that ran during the copy.
    using Clock = std::chrono::steady_clock;
    std::vector<std::pair<Clock::time_point, Clock::time_point>> timings;
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            corvana::test::HttpTestClient client(port);
            for (int n = 0; !stop && n < 100000; ++n) {
                const std::string name =
                    "Cliente " + std::to_string(c) + " convidado " + std::to_string(n);
                const std::string body =
                    Variant(Variant::Array{Delta().Insert(NewGuest(kList, name)).Packet()})
                        .toJson();
                const auto started = Clock::now();
                auto res = client.Request("POST", "/evt07800.rdmListConv/SetConvOrceve", body,
                                          {{"Content-Type", "application/json"}},
                                          std::chrono::seconds(60));
                const auto ended = Clock::now();
                {
                    std::lock_guard<std::mutex> hold(mutex);
                    timings.emplace_back(started, ended);
                }
                if (!res || res.status != 200 || res.body != "true") {
                    ++failures;
                    client.Close();
                    continue;
                }
                std::lock_guard<std::mutex> hold(mutex);
                acknowledged.push_back(name);
            }
        });
    }
    auto savedSoFar = [&] {
        std::lock_guard<std::mutex> hold(mutex);
        return acknowledged.size();
    };
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (savedSoFar() < 200 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::string> before;
    {
        std::lock_guard<std::mutex> hold(mutex);
        before = acknowledged;
    }
    const auto backupStarted = Clock::now();
    const auto run = RunProgram({kServer, "--db", dbPath, "--backup", File("copia.db")});
    const auto backupEnded = Clock::now();
    const std::size_t savedDuring = savedSoFar() - before.size();
    stop = true;
    for (auto& t : clients) t.join();

    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("cópia de segurança de '" + dbPath + "' gravada em"));
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GE(before.size(), 200u);
    // How long saves took while the copy ran and otherwise (the machine's
    // load decides both; printed, not judged).
    double slowestDuring = 0, slowestOtherwise = 0;
    for (const auto& [start, end] : timings) {
        const double ms = std::chrono::duration<double, std::milli>(end - start).count();
        double& slowest =
            (end > backupStarted && start < backupEnded) ? slowestDuring : slowestOtherwise;
        slowest = std::max(slowest, ms);
    }
    std::cout << "[          ] " << before.size() << " saves before the backup, " << savedDuring
              << " while it ran; slowest save during it " << slowestDuring << " ms, otherwise "
              << slowestOtherwise << " ms; " << run.output;

    const std::string copy = File("copia.db");
    EXPECT_EQ(Query(copy, "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    const auto names = Query(copy,
                             "SELECT NMLISTACONVOREV FROM LISTACONVOREV WHERE "
                             "NRSEQORCAEVE = '01'");
    const std::set<std::string> inCopy(names.begin(), names.end());
    std::size_t missing = 0;
    for (const std::string& name : before) missing += inCopy.count(name) == 0;
    EXPECT_EQ(missing, 0u) << "guests saved before the backup began are missing from it";
    EXPECT_EQ(Query(copy, "SELECT count(*) FROM LISTACONVOREV WHERE NRSEQORCAEVE = '02'"),
              std::vector<std::string>{"20000"});
    EXPECT_EQ(
        Query(copy, "PRAGMA user_version"),
        std::vector<std::string>{std::to_string(evt::server::storage::CurrentSchemaVersion())});
    EXPECT_FALSE(fs::exists(copy + ".parcial"));
}

TEST_F(Backup, RefusesABadTargetWithoutTouchingTheDatabase) {
    AddGuests({NewGuest(kList, "Ana Souza")});
    Quiesce();
    ExpectRefused({"--backup", File("nao-existe/copia.db")},
                  "A pasta '" + File("nao-existe") + "' da cópia de segurança não existe");
    std::ofstream(File("um-arquivo")) << "x";
    ExpectRefused({"--backup", File("um-arquivo/copia.db")},
                  "'" + File("um-arquivo") + "' não é uma pasta");
    ExpectRefused({"--backup", dbPath}, "não pode ser gravada sobre o próprio banco de dados");
    ExpectRefused({"--backup", dir + "/./" + fs::path(dbPath).filename().string()},
                  "não pode ser gravada sobre o próprio banco de dados");
    ExpectRefused({"--backup", dir}, "é uma pasta");
    // A folder that cannot be written (root writes anywhere but in /proc).
    ExpectRefused({"--backup", "/proc/copia.db"}, "Não é possível gravar na pasta '/proc'");
    const auto missing = RunProgram({kServer, "--db", File("outro.db"), "--backup", File("c.db")});
    EXPECT_EQ(missing.exitCode, 2) << missing.output;
    EXPECT_THAT(missing.output, HasSubstr("não existe; não há o que copiar"));
    EXPECT_FALSE(fs::exists(File("outro.db")));
    const auto pg = RunProgram(
        {kServer, "--db", "postgresql://evt@127.0.0.1:1/eventos", "--backup", File("c.db")});
    EXPECT_EQ(pg.exitCode, 2) << pg.output;
    EXPECT_THAT(pg.output, HasSubstr("pg_dump"));
    checkListsAtEnd = false;
}

TEST_F(Backup, RestoreRefusesEveryBadFileAndARunningServer) {
    AddGuests({NewGuest(kList, "Ana Souza")});
    const std::string good = MakeBackup("boa.db");
    AddGuests({NewGuest(kList, "Bruno Lima")});
    Quiesce();

    ExpectRefused({"--restore", File("nenhum.db")},
                  "O arquivo '" + File("nenhum.db") + "' não existe");
    std::ofstream(File("texto.db")) << "FILIAL;CLIENTE\n0001;Matriz\n";
    ExpectRefused({"--restore", File("texto.db")}, "não é um banco de dados SQLite");
    std::ofstream(File("vazio.db"));
    ExpectRefused({"--restore", File("vazio.db")}, "não é um banco de dados SQLite");
    // Cut in half, at a page's end and in the middle of one.
    const std::string whole = ReadFile(good);
    ASSERT_GT(whole.size(), 8192u);
    std::ofstream(File("truncado.db"), std::ios::binary)
        << whole.substr(0, whole.size() / 2 / 4096 * 4096);
    ExpectRefused({"--restore", File("truncado.db")}, "está truncado");
    std::ofstream(File("cortado.db"), std::ios::binary) << whole.substr(0, whole.size() / 2 + 100);
    ExpectRefused({"--restore", File("cortado.db")}, "está truncado");
    // Pages overwritten in the middle: the header is whole, the tree is not.
    {
        std::string broken = whole;
        for (std::size_t i = 4096 * 2; i < broken.size() - 4096; ++i) broken[i] = '\x5a';
        std::ofstream(File("danificado.db"), std::ios::binary) << broken;
    }
    ExpectRefused({"--restore", File("danificado.db")}, "está danificado");
    // A backup of a newer server's database.
    fs::copy_file(good, File("nova.db"));
    {
        sqlite3* h = nullptr;
        sqlite3_open(File("nova.db").c_str(), &h);
        const int newer = evt::server::storage::CurrentSchemaVersion() + 1;
        sqlite3_exec(h, ("PRAGMA user_version = " + std::to_string(newer)).c_str(), nullptr,
                     nullptr, nullptr);
        sqlite3_close(h);
    }
    ExpectRefused({"--restore", File("nova.db")},
                  "mais nova que a versão " +
                      std::to_string(evt::server::storage::CurrentSchemaVersion()) +
                      " que este servidor conhece");
    // An SQLite file of something else.
    {
        sqlite3* h = nullptr;
        sqlite3_open(File("outra.db").c_str(), &h);
        sqlite3_exec(h, "CREATE TABLE T (A); INSERT INTO T VALUES (1);", nullptr, nullptr, nullptr);
        sqlite3_close(h);
    }
    ExpectRefused({"--restore", File("outra.db")}, "não é um banco das listas de convidados");
    ExpectRefused({"--restore", dbPath}, "é o próprio banco de dados");

    // A server running on the database.
    {
        BackgroundProgram server({kServer, "--db", dbPath, "--port", "0"}, File("servidor.log"));
        ASSERT_GT(server.ServerPort(), 0) << server.Log();
        const auto run = RunProgram({kServer, "--db", dbPath, "--restore", good});
        EXPECT_EQ(run.exitCode, 2) << run.output;
        EXPECT_THAT(run.output, HasSubstr("Um servidor está usando o banco de dados"));
        EXPECT_EQ(server.Stop(), 0) << server.Log();
    }
    EXPECT_EQ(Query(dbPath, "SELECT count(*) FROM LISTACONVOREV"), std::vector<std::string>{"2"});

    // And a good one, with no server: the database is the backup's, the
    // one before kept beside it.
    const auto run = RunProgram({kServer, "--db", dbPath, "--restore", good});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(Query(dbPath, "SELECT NMLISTACONVOREV FROM LISTACONVOREV"),
              std::vector<std::string>{"Ana Souza"});
    EXPECT_EQ(Query(dbPath + ".antes-da-restauracao", "SELECT count(*) FROM LISTACONVOREV"),
              std::vector<std::string>{"2"});
    EXPECT_EQ(Query(dbPath, "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    // A server serves it again.
    StartServer();
    EXPECT_EQ(Column(Guests(kList), "NMLISTACONVOREV"), std::vector<std::string>{"Ana Souza"});
}

TEST_F(Backup, TheNightlyOneKeepsTheNewest) {
    AddGuests({NewGuest(kList, "Ana Souza")});
    fs::create_directories(File("copias"));
    // Older backups of the folder, and a file of the administrator's.
    for (const char* old : {"evt07800-20240101-023000-000.db", "evt07800-20240102-023000-000.db",
                            "evt07800-20240103-023000-000.db"})
        std::ofstream(File("copias/") + old) << "antiga";
    std::ofstream(File("copias/leia-me.txt")) << "x";
    for (int i = 0; i < 2; ++i) {
        const auto run =
            RunProgram({kServer, "--db", dbPath, "--backup-dir", File("copias"), "--keep", "3"});
        ASSERT_EQ(run.exitCode, 0) << run.output;
    }
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(File("copias")))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    ASSERT_EQ(left.size(), 4u);
    EXPECT_EQ(left[0], "evt07800-20240103-023000-000.db");
    EXPECT_THAT(left[1], testing::MatchesRegex("evt07800-[0-9]{8}-[0-9]{6}-[0-9]{3}\\.db"));
    EXPECT_EQ(left[3], "leia-me.txt");
    EXPECT_EQ(Query(File("copias/") + left[2], "SELECT NMLISTACONVOREV FROM LISTACONVOREV"),
              std::vector<std::string>{"Ana Souza"});
    const auto missing =
        RunProgram({kServer, "--db", dbPath, "--backup-dir", File("nenhuma"), "--keep", "3"});
    EXPECT_EQ(missing.exitCode, 2) << missing.output;
    EXPECT_THAT(missing.output, HasSubstr("das cópias de segurança não existe"));
}

}  // namespace
