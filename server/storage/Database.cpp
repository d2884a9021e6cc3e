#include "storage/Database.h"

#include <condition_variable>
#include <iostream>
#include <thread>

#include "corvana/db/DatabaseAddress.h"
#include "corvana/postgresql/Postgresql.h"
#include "corvana/sqlite/Sqlite.h"
#include "storage/Schema.h"

namespace evt::server::storage {

// ---------------------------------------------------------------------------
// The pool.

Database::Lease::~Lease() {
    if (!connection_) return;
    --owner_->leased_;
    if (connection_->InTransaction()) {
        try {
            connection_->Rollback();
        } catch (...) {
            return;  // a connection in an unknown state is not reused
        }
    }
    owner_->Release(std::move(connection_));
}

Database::Lease Database::Acquire() {
    for (;;) {
        Idle idle;
        {
            std::lock_guard lock(mutex_);
            if (idle_.empty()) break;
            idle = std::move(idle_.back());
            idle_.pop_back();
        }
        if (std::chrono::steady_clock::now() - idle.since < kIdleCheck || idle.connection->Ping())
            return Lease(shared_from_this(), std::move(idle.connection));
    }
    return Lease(shared_from_this(), Connect());
}

std::size_t Database::SessionsIdle() {
    std::lock_guard lock(mutex_);
    return idle_.size();
}

void Database::DropIdle() noexcept {
    std::vector<Idle> dropped;
    std::lock_guard lock(mutex_);
    dropped.swap(idle_);
}

void Database::Release(std::unique_ptr<Connection> connection) noexcept {
    // Enough idle sessions for the endpoint's workers; more are closed.
    constexpr std::size_t kMaxIdle = 16;
    if (connection->Broken()) return;  // a lost session is closed
    std::lock_guard lock(mutex_);
    try {
        if (idle_.size() < kMaxIdle)
            idle_.push_back({std::move(connection), std::chrono::steady_clock::now()});
    } catch (...) {
        // No memory to keep it: the connection is closed instead.
    }
}

// ---------------------------------------------------------------------------
// SQLite files.

namespace {

std::string queryText(Connection& connection, const char* sql) {
    auto st = connection.Prepare(sql);
    return st->Step() ? st->Text(0) : std::string();
}

// Copies the write-ahead log into the database file on a thread and a
// connection of its own, after a commit left the log at kPages pages or more.
// The committing call then waits only for the log's sync (what makes it
// durable), not for the copy and the file's two syncs; a PASSIVE checkpoint
// never waits for readers or writers, and the log starts over at the first
// write after a complete one, so it stays about as long as before.
class Checkpointer {
public:
    // SQLite's own threshold for its automatic checkpoint.
    static constexpr int kPages = 1000;

    explicit Checkpointer(std::function<std::unique_ptr<Connection>()> connect)
        : connect_(std::move(connect)), thread_([this] { run(); }) {}
    ~Checkpointer() { Stop(); }

    // From a commit's hook: another checkpoint is wanted.
    void Request() {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            wanted_ = true;
        }
        changed_.notify_one();
    }
    void Stop() noexcept {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_one();
        if (thread_.joinable()) thread_.join();
    }

private:
    void run() {
        std::unique_ptr<Connection> connection;
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return wanted_ || stopping_; });
            if (stopping_) return;
            wanted_ = false;
            lock.unlock();
            try {
                if (!connection) connection = connect_();
                connection->ExecuteScript("PRAGMA wal_checkpoint(PASSIVE)");
            } catch (...) {
                // Busy or failed: the next large commit asks again, and the
                // last connection to close copies the log all the same.
                connection.reset();
            }
            lock.lock();
        }
    }

    std::function<std::unique_ptr<Connection>()> connect_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool wanted_ = false;
    bool stopping_ = false;
    std::thread thread_;  // last: it starts once the rest is ready
};

// A session of the server on the file: created when missing, durable. Its
// commits hand the checkpoint to `checkpointer` when there is one.
std::unique_ptr<Connection> connectServer(const std::string& path,
                                          const std::shared_ptr<Checkpointer>& checkpointer) {
    corvana::sqlite::ConnectOptions options;
    options.create = true;
    if (checkpointer) {
        options.afterCommit = [weak = std::weak_ptr<Checkpointer>(checkpointer)](int pages) {
            if (pages < Checkpointer::kPages) return;
            if (auto c = weak.lock()) c->Request();
        };
    }
    auto connection = corvana::sqlite::Connect(path, options);
    try {
        // WAL lets readers work while one writer commits; synchronous=FULL
        // syncs the log on every commit, so an acknowledged save survives
        // a crash or a power cut.
        if (queryText(*connection, "PRAGMA journal_mode=WAL") != "wal") {
            throw corvana::Error("O banco de dados '" + corvana::db::ShownLocation(path) +
                                 "' não aceitou o modo WAL (journal_mode).");
        }
        // A 16 MiB page cache keeps the indexes of a large import in
        // memory until the commit instead of spilling them mid-way.
        connection->ExecuteScript(
            "PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON; PRAGMA cache_size=-16384;");
        if (queryText(*connection, "PRAGMA foreign_keys") != "1") {
            throw corvana::Error("O SQLite em uso não verifica chaves estrangeiras.");
        }
    } catch (const corvana::Error& e) {
        // "file is not a database" and its kind read better with the file.
        throw corvana::Error("Não foi possível abrir o banco de dados '" +
                             corvana::db::ShownLocation(path) + "': " + e.what());
    }
    return connection;
}

class SqliteDatabase final : public Database {
public:
    explicit SqliteDatabase(std::string path)
        : Database(path),
          path_(std::move(path)),
          checkpointer_(std::make_shared<Checkpointer>(
              [path = path_] { return connectServer(path, nullptr); })) {}
    ~SqliteDatabase() override { checkpointer_->Stop(); }
    storage::Backend Backend() const override { return Backend::Sqlite; }

protected:
    std::unique_ptr<Connection> Connect() override { return connectServer(path_, checkpointer_); }

private:
    std::string path_;
    std::shared_ptr<Checkpointer> checkpointer_;
};

// A PostgreSQL database that several servers may share. Location() is the
// URL without its password.
class PostgresDatabase final : public Database {
public:
    explicit PostgresDatabase(std::string url)
        : Database(corvana::db::ShownLocation(url)), url_(std::move(url)) {}
    storage::Backend Backend() const override { return Backend::Postgresql; }

protected:
    std::unique_ptr<Connection> Connect() override {
        corvana::postgresql::ConnectOptions options;
        options.applicationName = "evt07800-server";
        return corvana::postgresql::Connect(url_, options);
    }

private:
    std::string url_;
};

}  // namespace

std::shared_ptr<Database> Database::Open(const std::string& pathOrUrl, const OpenOptions& options) {
    if (pathOrUrl.empty()) throw corvana::Error("Nenhum banco de dados informado.");
    const std::string shown = corvana::db::ShownLocation(pathOrUrl);
    LogLine log = options.log;
    if (!log) log = [](const std::string& line) { std::cerr << line << std::endl; };
    const corvana::db::DatabaseAddress address = corvana::db::ParseAddress(pathOrUrl);
    if (address.backend == Backend::Postgresql) {
        auto db = std::make_shared<PostgresDatabase>(address.location);
        auto first = db->Acquire();
        MigrateSchema(*first, shown, log, options.schemaVersion);
        return db;
    }
    const std::string& path = address.location;
    if (path.empty() || path == ":memory:") {
        // Every pooled connection would see a database of its own.
        throw corvana::Error("Informe o caminho de um arquivo para o banco de dados.");
    }
    auto db = std::make_shared<SqliteDatabase>(path);
    auto first = db->Acquire();
    MigrateSchema(*first, shown, log, options.schemaVersion);
    return db;
}

}  // namespace evt::server::storage
