#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "corvana/db/Connection.h"

namespace evt::server::storage {

// The database interface the server shares with the host's connection
// (framework/db/api): errors, statements, connections, transactions.
using corvana::db::Backend;
using corvana::db::Connection;
using corvana::db::CopyIn;
using corvana::db::DatabaseError;
using corvana::db::kUnavailableText;
using corvana::db::Statement;
using corvana::db::StatementHandle;
using corvana::db::Transaction;

// A database: where the server keeps its data, with a pool of connections so
// that concurrent calls each work on a session of their own.
//
//   auto db = Database::Open("/var/lib/evt/eventos.db");
//   auto conn = db->Acquire();
//   Transaction tx(*conn);
//   conn->Prepare("UPDATE ...")->BindAll(a, b).Execute();
//   tx.Commit();
class Database : public std::enable_shared_from_this<Database> {
public:
    virtual ~Database() = default;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    struct OpenOptions {
        // Where the lines for the server's log go (what a schema migration
        // found and kept for the user to look at); standard error when empty.
        std::function<void(const std::string&)> log;
        // The schema version to bring the database to; 0 is the version this
        // server knows. An older one builds a database as an earlier server
        // left it (tests of the migrations).
        int schemaVersion = 0;
    };

    // Opens (creating when missing) the database an address names
    // (corvana::db::ParseAddress: an SQLite file, or a PostgreSQL database by
    // libpq's URL, the password from PGPASSWORD or a password file) and
    // brings its schema to the version this server knows.
    // Raises corvana::Error with a Portuguese text when the database cannot
    // be opened, belongs to a newer server, or the URL is not understood.
    // No text repeats a password the URL carries.
    static std::shared_ptr<Database> Open(const std::string& pathOrUrl, const OpenOptions& options);
    static std::shared_ptr<Database> Open(const std::string& pathOrUrl) {
        return Open(pathOrUrl, OpenOptions{});
    }

    // Exclusive use of one connection until the lease ends.
    class Lease {
    public:
        Lease(Lease&& other) noexcept
            : owner_(std::move(other.owner_)), connection_(std::move(other.connection_)) {}
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        Connection* operator->() const { return connection_.get(); }
        Connection& operator*() const { return *connection_; }

    private:
        friend class Database;
        Lease(std::shared_ptr<Database> owner, std::unique_ptr<Connection> connection)
            : owner_(std::move(owner)), connection_(std::move(connection)) {
            ++owner_->leased_;
        }
        std::shared_ptr<Database> owner_;
        std::unique_ptr<Connection> connection_;
    };
    // A session of the pool, or a new one. A session that idled longer than
    // kIdleCheck is asked first whether it still answers (a database
    // restarted meanwhile ended it), and dropped when it does not.
    Lease Acquire();
    // Sessions leased now, and idle in the pool (GET /metrics).
    int SessionsInUse() const { return leased_.load(); }
    std::size_t SessionsIdle();
    // Closes every idle session: called when one was found lost, since the
    // others, opened before the same restart, are lost too.
    void DropIdle() noexcept;
    static constexpr std::chrono::seconds kIdleCheck{30};

    // Where the database lives: the file, or the URL without its password
    // (for messages and logs).
    const std::string& Location() const { return location_; }
    virtual storage::Backend Backend() const = 0;

protected:
    explicit Database(std::string location) : location_(std::move(location)) {}
    // A new session with the database, ready for use.
    virtual std::unique_ptr<Connection> Connect() = 0;

private:
    void Release(std::unique_ptr<Connection> connection) noexcept;

    std::string location_;
    std::mutex mutex_;
    struct Idle {
        std::unique_ptr<Connection> connection;
        std::chrono::steady_clock::time_point since;
    };
    std::vector<Idle> idle_;
    std::atomic<int> leased_{0};
};

}  // namespace evt::server::storage
