// An upgrade as a site makes it: the current evt07800-server (the real
// program) started on a database an earlier server wrote. The earlier
// database is made by running the migrations up to version 1, the schema of
// the first released server (released migrations are never edited, so they
// are that server's), and filled as that server stored guests: its keys
// folded case only. The server brings it to the current schema: every
// guest kept as stored, every key computed again. A database of a newer
// server is refused with a clear message and left as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ListConvTestSupport.h"
#include "storage/Database.h"
#include "storage/Schema.h"
#include "support/ServerProcess.h"

namespace {

using corvana::test::BackgroundProgram;
using corvana::test::ReadFile;
using testing::HasSubstr;
namespace fs = std::filesystem;
namespace storage = evt::server::storage;

const std::string kServer = EVT_SERVER_BIN;

class Upgrade : public ::testing::Test {
protected:
    void SetUp() override {
        if (corvana::test::OnPostgres()) GTEST_SKIP() << "o arquivo SQLite de um servidor anterior";
        char pattern[] = "/tmp/evt07800-upgrade-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    std::string dir_;
};

struct StoredGuest {
    std::string number, name, rg, nameKey, rgKey;
};

std::vector<StoredGuest> StoredGuests(const std::string& file) {
    std::vector<StoredGuest> guests;
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT NRLISTACONVOREV, NMLISTACONVOREV, coalesce(NRRGLISTAOREV, ''), "
                       "coalesce(NMCHAVE, ''), coalesce(RGCHAVE, '') FROM LISTACONVOREV "
                       "ORDER BY NRLISTACONVOREV",
                       -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
        StoredGuest g;
        for (int i = 0; i < 5; ++i) {
            const unsigned char* t = sqlite3_column_text(st, i);
            std::string value = t ? reinterpret_cast<const char*>(t) : "";
            (i == 0   ? g.number
             : i == 1 ? g.name
             : i == 2 ? g.rg
             : i == 3 ? g.nameKey
                      : g.rgKey) = value;
        }
        guests.push_back(g);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return guests;
}

int UserVersion(const std::string& file) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr);
    const int version = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return version;
}

TEST_F(Upgrade, ADatabaseOfTheFirstSchemaIsKeptWithItsKeysComputedAgain) {
    const std::string file = dir_ + "/evt07800.db";
    listconv_test::WriteOlderDatabase(
        file, 1, {"01"},
        "INSERT INTO LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV, "
        "NMLISTACONVOREV, NMCHAVE, NRRGLISTAOREV, RGCHAVE, QUANTIDADE) VALUES "
        "('0001', '0000000007', '01', '00001', 'José da Silva', 'josé da silva', "
        "'12.345.678-9', '123456789', 1),"
        "('0001', '0000000007', '01', '00002', 'Ana Lima', 'ana lima', NULL, NULL, 2),"
        "('0001', '0000000007', '01', '00003', 'Jose da Silva', 'jose da silva', "
        "'98.765.432-1', '987654321', 1),"
        "('0001', '0000000007', '01', '00004', 'Conceição\xC2\xA0"
        "Araújo', 'conceição\xC2\xA0"
        "araújo', '11\xE2\x80\x93"
        "22', '11\xE2\x80\x93"
        "22', 3);");
    ASSERT_EQ(UserVersion(file), 1);
    const auto before = StoredGuests(file);

    {
        BackgroundProgram server({kServer, "--db", file, "--port", "0"}, dir_ + "/servidor.log");
        const int port = server.ServerPort();
        ASSERT_GT(port, 0) << server.Log();
        corvana::test::HttpTestClient client(port);
        const auto handshake =
            client.Request("GET", "/evt07800.rdmListConv", "", {}, std::chrono::seconds(10));
        EXPECT_EQ(handshake.status, 200) << handshake.body;
        EXPECT_THAT(handshake.body, HasSubstr("\"evt07800.rdmListConv\""));
        const auto list = client.Request(
            "POST", "/evt07800.rdmListConv/GetConvOrceve", R"(["0001","0000000007","01"])",
            {{"Content-Type", "application/json"}}, std::chrono::seconds(10));
        EXPECT_EQ(list.status, 200);
        EXPECT_THAT(list.body, HasSubstr("Conceição"));
        EXPECT_EQ(server.Stop(), 0) << server.Log();
        // The twin the accents made is named in the log.
        EXPECT_THAT(server.Log(), HasSubstr("00003 'Jose da Silva'")) << server.Log();
    }

    EXPECT_EQ(UserVersion(file), storage::CurrentSchemaVersion());
    const auto after = StoredGuests(file);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        const StoredGuest& g = after[i];
        // Kept as stored.
        EXPECT_EQ(g.number, before[i].number);
        EXPECT_EQ(g.name, before[i].name);
        EXPECT_EQ(g.rg, before[i].rg);
        // Keyed as this server keys them.
        const std::string key = storage::GuestNameKey(g.name);
        EXPECT_TRUE(g.nameKey == key || g.nameKey == storage::TwinKey(key, g.number))
            << g.name << ": " << g.nameKey;
        EXPECT_EQ(g.rgKey, storage::GuestDocumentKey(g.rg).value_or("")) << g.rg;
    }
    EXPECT_EQ(after[2].nameKey, storage::TwinKey("jose da silva", "00003"));
    EXPECT_EQ(after[3].nameKey, "conceicao araujo");
    EXPECT_EQ(after[3].rgKey, "1122");
}

TEST_F(Upgrade, ADatabaseOfANewerServerIsRefusedAndLeftAsItWas) {
    const std::string file = dir_ + "/evt07800.db";
    storage::Database::Open(file)->Acquire()->SetSchemaVersion(storage::CurrentSchemaVersion() + 1);
    const std::string before = ReadFile(file);
    BackgroundProgram server({kServer, "--db", file, "--port", "0"}, dir_ + "/servidor.log");
    EXPECT_EQ(server.Wait(), 1) << server.Log();
    EXPECT_THAT(server.Log(),
                HasSubstr("está na versão " + std::to_string(storage::CurrentSchemaVersion() + 1) +
                          " do esquema, mais nova que a versão " +
                          std::to_string(storage::CurrentSchemaVersion()) +
                          " que este servidor conhece. Atualize o servidor."));
    EXPECT_EQ(ReadFile(file), before);
}

}  // namespace
