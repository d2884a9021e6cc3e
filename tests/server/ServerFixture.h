#pragma once
// A real application server for tests: a fresh database (an SQLite file in a
// temporary folder, or a PostgreSQL schema of its own: TestDatabase.h), the
// evt07800.rdmListConv and evt07800.rdmRecepcao modules and the reception's
// station calls and page (/recepcao) over it, and the HTTP endpoint on an
// ephemeral loopback port. Calls travel over HTTP like a screen's.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "corvana/data/Error.h"
#include "corvana/data/Variant.h"
#include "endpoint/AppServer.h"
#include "rdm/RdmListConv.h"
#include "rdm/RdmSupport.h"
#include "reception/ChangeFeed.h"
#include "reception/RdmRecepcao.h"
#include "reception/StationApi.h"
#include "storage/Database.h"
#include "storage/ListCheck.h"
#include "support/HttpTestClient.h"
#include "support/TestDatabase.h"
#include "support/TestServer.h"

class ServerFixture : public ::testing::Test {
protected:
    static constexpr const char* kServerName = "evt07800.rdmListConv";

    std::shared_ptr<evt::server::storage::Database> db;
    int port = 0;        // the server's port; kept across StopServer/StartServer
    std::string dir;     // the temporary folder, removed in TearDown
    std::string dbPath;  // <dir>/evt.db, or the URL of the test's PostgreSQL schema
    // Limits of the next StartServer; call logging is off to keep the test
    // output readable.
    evt::server::AppServer::Limits limits = corvana::test::QuietLimits();
    // Whatever a test saved, its guest lists keep their rules when it ends
    // (storage/ListCheck.h); a test that breaks them on purpose clears this.
    bool checkListsAtEnd = true;
    // The station page's files the next StartServer serves (those built in
    // unless a test gives its own), and the longest wait of its change feed.
    std::vector<evt::server::reception::AssetFile> assets = evt::server::reception::BuiltInAssets();
    std::chrono::milliseconds longestWait{std::chrono::seconds(25)};
    // Who may call the next StartServer's server (no access token).
    evt::server::AppServer::Access access;

    void SetUp() override {
        if (corvana::test::OnPostgres() && !corvana::test::PostgresMissing().empty())
            GTEST_SKIP() << corvana::test::PostgresMissing();
        dir = makeTempDir();
        ASSERT_FALSE(dir.empty()) << "não foi possível criar a pasta temporária";
        database_ = std::make_unique<corvana::test::TestDatabase>(dir);
        dbPath = database_->Location();
        StartServer();
    }

    void TearDown() override {
        if (checkListsAtEnd && db && !IsSkipped()) CheckLists();
        StopServer();
        second_.reset();
        secondFeed_.reset();
        secondDb_.reset();
        db.reset();
        database_.reset();
        if (!dir.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        }
    }

    // Every broken rule of the guest lists of `db`, a failure each.
    void CheckLists() {
        try {
            for (const std::string& problem : evt::server::storage::CheckGuestLists(
                     *db->Acquire(), evt::server::rdm::kLastGuestNumber))
                ADD_FAILURE() << problem;
        } catch (const corvana::Error& e) {
            ADD_FAILURE() << "as listas de convidados não puderam ser verificadas: " << e.what();
        }
    }

    // Calls a method of evt07800.rdmListConv on the fixture's kept-alive
    // connection and returns its answer (a refusal comes back as an error
    // Variant). A 4xx/5xx status or a transport failure raises
    // corvana::Error with the status and message.
    corvana::Variant Call(const std::string& method, std::vector<corvana::Variant> args) {
        return CallModule(kServerName, method, std::move(args));
    }

    // The same for a method of another module ("evt07800.rdmRecepcao").
    corvana::Variant CallModule(const std::string& module, const std::string& method,
                                std::vector<corvana::Variant> args) {
        const std::string body =
            corvana::Variant(corvana::Variant::Array(std::move(args))).toJson();
        if (!client_) throw corvana::Error("Servidor de teste parado.");
        const std::string path = "/" + module + "/" + method;
        auto res = client_->Request("POST", path, body, {{"Content-Type", "application/json"}},
                                    std::chrono::seconds(120));
        if (!res) {
            // The server may have closed the kept-alive connection: once more.
            client_->Close();
            res = client_->Request("POST", path, body, {{"Content-Type", "application/json"}},
                                   std::chrono::seconds(120));
        }
        if (!res)
            throw corvana::Error("Falha de comunicação com o servidor de teste: " + res.error);
        if (res.Header("Connection") == "close") client_->Close();
        if (res.status != 200) {
            std::string message = res.body;
            try {
                const auto answer = corvana::Variant::fromJson(res.body);
                if (answer.isError()) message = answer.errorMessage();
            } catch (const corvana::Error&) {
            }
            throw corvana::Error("HTTP " + std::to_string(res.status) + ": " + message);
        }
        return corvana::Variant::fromJson(res.body);
    }

    // Sends one request as given, on a connection of its own, and returns
    // the answer (status, headers, body) unchecked; no answer within `wait`
    // is a reply with status 0.
    corvana::test::HttpReply Raw(const std::string& method, const std::string& path,
                                 const std::string& body,
                                 const std::string& contentType = "application/json",
                                 std::chrono::seconds wait = std::chrono::seconds(60),
                                 int toPort = 0) {
        corvana::test::HttpTestClient client(toPort ? toPort : port);
        corvana::test::HttpTestClient::Headers headers;
        if (!body.empty()) headers.emplace_back("Content-Type", contentType);
        return client.Request(method, path, body, headers, wait);
    }

    void StopServer() {
        client_.reset();
        if (server_) server_->Stop();
        server_.reset();
        module_.reset();
        feed_.reset();
    }

    // The server's modules and web services over `database`, with a change
    // feed of their own.
    std::unique_ptr<evt::server::AppServer> Serve(
        const std::shared_ptr<evt::server::storage::Database>& database, int onPort,
        std::shared_ptr<evt::server::reception::ChangeFeed>& feed) {
        namespace reception = evt::server::reception;
        feed = std::make_shared<reception::ChangeFeed>(database);
        auto station = std::make_shared<reception::StationApi>(database, feed, assets);
        station->SetLongestWait(longestWait);
        auto server = std::make_unique<evt::server::AppServer>(
            corvana::test::ServerModules{std::make_shared<evt::server::RdmListConv>(database),
                                         std::make_shared<reception::RdmRecepcao>(database, feed)},
            limits, access, std::vector<std::shared_ptr<evt::server::WebService>>{station});
        constexpr auto kStep = std::chrono::milliseconds(20);
        for (int attempt = 0; !server->Bind("127.0.0.1", onPort); ++attempt) {
            if (attempt == 50)
                throw std::runtime_error("não foi possível abrir a porta " +
                                         std::to_string(onPort));
            std::this_thread::sleep_for(kStep);
        }
        server->Start();
        return server;
    }

    // Starts the server over `db` (reopening dbPath if db was reset), on
    // `port` when one was already chosen, else on a free one.
    void StartServer() {
        if (!db) db = evt::server::storage::Database::Open(dbPath);
        server_ = Serve(db, port, feed_);
        port = server_->Port();
        client_ = std::make_unique<corvana::test::HttpTestClient>(port);
    }

    // How many station calls wait for changes on the fixture's server.
    std::size_t Waiting() const { return feed_ ? feed_->Waiting() : 0; }

    void RestartServer() {
        StopServer();
        StartServer();
    }

    // A second application server over the same database, with a pool of
    // its own, as another machine of the site would run; answers its port.
    int StartSecondServer() {
        secondDb_ = evt::server::storage::Database::Open(dbPath);
        second_ = Serve(secondDb_, 0, secondFeed_);
        return second_->Port();
    }

private:
    std::unique_ptr<corvana::test::TestDatabase> database_;
    std::shared_ptr<evt::server::storage::Database> secondDb_;
    std::unique_ptr<evt::server::AppServer> second_;
    std::shared_ptr<evt::server::reception::ChangeFeed> feed_, secondFeed_;
    std::shared_ptr<evt::server::RdmListConv> module_;
    std::unique_ptr<evt::server::AppServer> server_;
    std::unique_ptr<corvana::test::HttpTestClient> client_;

    static std::string makeTempDir() {
        std::error_code ec;
        auto base = std::filesystem::temp_directory_path(ec);
        if (ec) base = "/tmp";
        std::string pattern = (base / "evt07800-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return {};
        return pattern;
    }
};
