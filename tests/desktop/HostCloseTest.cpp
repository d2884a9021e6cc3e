// Ending the host in a real window: with long launch values, and with a
// guest that the server has not accepted.
#include <sqlite3.h>

#include "DesktopSession.h"

namespace desktop {

using HostClose = DesktopTest;

namespace {

// Another program writing to the database: while it holds the write lock,
// the server's saves fail (after its busy time-out) and its reads go on.
class WriteLock {
public:
    explicit WriteLock(const std::filesystem::path& file) {
        sqlite3_open(file.c_str(), &db_);
        locked_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~WriteLock() {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool Locked() const { return locked_; }

private:
    sqlite3* db_ = nullptr;
    bool locked_ = false;
};

}  // namespace

// Launch values of 16 bytes and more live on the heap; unloading the
// package at exit must free them once.
TEST_F(HostClose, ExitsCleanlyAfterLongLaunchValues) {
    StartServer();
    StartHost({"0001", "Filial São José Norte", "0000001001", "01"});
    EXPECT_EQ(Dump().Text("edtNmFilial"), "Filial São José Norte");
    const std::optional<int> code = QuitHost();
    ASSERT_TRUE(code.has_value()) << "o host não terminou";
    EXPECT_EQ(*code, 0);
    EXPECT_EQ(Query("SELECT 1").value_or(""), "1");
}

// Closing the main window asks about a change the server did not take, and
// "Não" keeps the host open with the change; once the database is free
// again, Arquivo > Sair sends it and ends the host.
TEST_F(HostClose, KeepsAGuestWhoseSaveFailedUntilTheServerTakesIt) {
    StartOnTheTestList();
    LoadList();

    auto lock = std::make_unique<WriteLock>(dir / "evt.db");
    ASSERT_TRUE(lock->Locked());
    ClickCell(0, "NRRGLISTAOREV");
    Type("7788990");
    Key("Down");
    ASSERT_TRUE(WaitUntil([&] { return !Messages().empty(); }));
    Answer("Return");
    ASSERT_EQ(Calls("SetConvOrceve"), 1);
    // The main window active again before it is closed with the keyboard.
    ASSERT_TRUE(WaitUntil([&] { return Dump().active == "Corvana Eventos"; }));

    // Closing sends the change again; its failure is shown, then the
    // question.
    Key("alt+F4");
    ASSERT_TRUE(WaitUntil([&] { return Messages().size() == 2; }));
    Answer("Return");
    ASSERT_TRUE(WaitForMessage("não foi gravada no servidor", 0));
    Answer("Return");  // "Não", the default answer
    const Snapshot kept = Dump();
    EXPECT_TRUE(host->Running());
    EXPECT_TRUE(kept.boxes.empty());
    EXPECT_EQ(kept.widgets.count("frmListConv"), 1u);

    lock.reset();
    const std::optional<int> code = QuitHost();
    ASSERT_TRUE(code.has_value()) << "o host não terminou";
    EXPECT_EQ(*code, 0);
    EXPECT_EQ(Query("SELECT COUNT(*) FROM LISTACONVOREV WHERE NRORCAEVENTO = '0000001001' "
                    "AND NRRGLISTAOREV = '7788990'"),
              "1");
}

}  // namespace desktop
