#pragma once
// Fixture of the screen tests: real Qt widgets under the offscreen platform,
// the real application server on an ephemeral loopback port over a copy of
// the seeded demo database in a temporary folder, the host's connection on
// the same file, and scripted dialogs, busy animation and cursor.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <memory>

#include "corvana/core/Corvana.h"
#include "corvana/core/ScriptedServices.h"
#include "corvana/db/DBGeral.h"
#include "rdm/RdmListConv.h"
#include "storage/Database.h"
#include "support/SeededDatabase.h"
#include "support/TestServer.h"

namespace corvana::test {

inline QApplication& ScreenApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "screen-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class ScreenFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ScreenApplication();
        static int counter = 0;
        dir = std::filesystem::temp_directory_path() /
              ("evt-screens-" + std::to_string(::getpid())) / ("t" + std::to_string(++counter));
        std::filesystem::create_directories(dir);
        dbPath = (dir / "evt.db").string();
        CopySeededDatabase(dbPath);
        StartServer();
        Corvana::ResetSettings();
        Corvana::SetWebURL("127.0.0.1");
        Corvana::SetWebPort(port);
        Corvana::SetDatabaseURL(dbPath);
        Corvana::SetFiliProc("0001");
        Corvana::SetNomeFiliProc("Matriz");
        Corvana::SetModuFili(false);
        corvana::db::dtmDBGeral().Open(dbPath);
    }

    void TearDown() override {
        CloseScreens();
        QTest::qWait(0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        StopServer();
        corvana::db::dtmDBGeral().Close();
        db.reset();
        Corvana::ResetSettings();
        std::error_code ec;
        std::filesystem::remove_all(dir.parent_path(), ec);
    }

    // Closes whatever screens the test left open (a screen test defines it).
    virtual void CloseScreens() {}

    // The module the server hosts; a test that records or replaces calls
    // puts its own in front of the real one. Asked at every start.
    virtual std::shared_ptr<evt::server::RemoteDataModule> ServerModule() {
        return std::make_shared<evt::server::RdmListConv>(db);
    }

    // The modules the server hosts beside ServerModule's (none here).
    virtual ServerModules OtherModules() { return {}; }

    // Starts the server over `db`, on `port` once one was chosen (a restart
    // comes back where the screens look for it), else on a free one.
    void StartServer() {
        if (!db) db = evt::server::storage::Database::Open(dbPath);
        ServerModules modules = {ServerModule()};
        for (auto& other : OtherModules()) modules.push_back(std::move(other));
        server = StartTestServer(
            std::move(modules), QuietLimits(), port,
            [](std::chrono::milliseconds step) { QTest::qWait(static_cast<int>(step.count())); });
        port = server->Port();
    }

    void StopServer() {
        if (server) server->Stop();
        server.reset();
    }

    corvana::services::ScriptedServicesScope services;
    std::filesystem::path dir;
    std::string dbPath;
    std::shared_ptr<evt::server::storage::Database> db;
    std::unique_ptr<evt::server::AppServer> server;
    int port = 0;
};

}  // namespace corvana::test
