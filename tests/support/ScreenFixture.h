#pragma once
// Fixture of the screen tests: real Qt widgets under the offscreen platform,
// the real application server on an ephemeral loopback port over a copy of
// a seeded SQLite file in a temporary folder, the host's connection on the
// same file, and scripted dialogs, busy animation and cursor.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "corvana/core/Corvana.h"
#include "corvana/core/ScriptedServices.h"
#include "corvana/db/DBGeral.h"
#include "endpoint/AppServer.h"
#include "rdm/RdmListConv.h"
#include "storage/Database.h"
#include "storage/DemoData.h"

namespace corvana::test {

inline QApplication& ScreenApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "screen-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// The demo database, seeded once per test program and copied for each test.
inline const std::filesystem::path& SeededTemplate() {
    static std::filesystem::path path = [] {
        auto dir = std::filesystem::temp_directory_path() /
                   ("evt-screens-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        auto file = dir / "template.db";
        {
            auto db = evt::server::storage::Database::Open(file.string());
            evt::server::storage::SeedDemo(*db);
        }
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                            ("evt-screens-" + std::to_string(::getpid())),
                                        ec);
        });
        return file;
    }();
    return path;
}

class ScreenFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ScreenApplication();
        static int counter = 0;
        dir = SeededTemplate().parent_path() / ("t" + std::to_string(++counter));
        std::filesystem::create_directories(dir);
        dbPath = (dir / "evt.db").string();
        std::filesystem::copy_file(SeededTemplate(), dbPath);
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
        std::filesystem::remove_all(dir, ec);
    }

    // Closes whatever screens the test left open (a screen test defines it).
    virtual void CloseScreens() {}

    void StartServer() {
        if (!db) db = evt::server::storage::Database::Open(dbPath);
        evt::server::AppServer::Limits limits;
        limits.logCalls = false;
        server = std::make_unique<evt::server::AppServer>(
            std::vector<std::shared_ptr<evt::server::RemoteDataModule>>{
                std::make_shared<evt::server::RdmListConv>(db)},
            limits);
        bool bound = false;
        for (int attempt = 0; attempt < 50 && !bound; ++attempt) {
            bound = server->Bind("127.0.0.1", port);
            if (!bound) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_TRUE(bound) << "porta " << port;
        port = server->Port();
        server->Start();
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
