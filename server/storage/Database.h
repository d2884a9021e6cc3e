#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "corvana/data/Error.h"

namespace evt::server::storage {

// A failure reported by the database. kind() tells the refusals the server
// maps to user texts (a unique index, a foreign key) from the rest; detail()
// is the backend's own text, which for a unique violation names the index or
// its columns.
class DatabaseError : public corvana::Error {
public:
    enum class Kind { Unique, ForeignKey, Check, NotNull, Busy, Other };
    DatabaseError(Kind kind, std::string detail, const std::string& message)
        : corvana::Error(message), kind_(kind), detail_(std::move(detail)) {}
    Kind kind() const { return kind_; }
    const std::string& detail() const { return detail_; }

private:
    Kind kind_;
    std::string detail_;
};

// A prepared statement of one connection. Parameters are positional, written
// "?" in the SQL text and bound from 1; columns are read from 0. A backend
// implements the virtual members; the rest are conveniences over them.
class Statement {
public:
    virtual ~Statement() = default;
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    virtual void BindNull(int index) = 0;
    virtual void BindText(int index, std::string_view text) = 0;
    virtual void BindInt(int index, std::int64_t value) = 0;
    virtual void BindDouble(int index, double value) = 0;

    // Runs the statement to its next row: true while a row is available,
    // false when done. Raises DatabaseError.
    virtual bool Step() = 0;
    // Makes the statement ready to run again and clears its bindings.
    virtual void Reset() = 0;
    // Rows inserted, changed or deleted by the last completed run.
    virtual std::int64_t Changes() const = 0;

    virtual bool IsNull(int column) const = 0;
    // The column's text; empty for NULL.
    virtual std::string Text(int column) const = 0;
    virtual std::int64_t Int(int column) const = 0;
    virtual double Double(int column) const = 0;

    void Bind(int index, std::nullptr_t) { BindNull(index); }
    void Bind(int index, std::string_view text) { BindText(index, text); }
    void Bind(int index, const std::string& text) { BindText(index, text); }
    void Bind(int index, const char* text) { BindText(index, text); }
    void Bind(int index, int value) { BindInt(index, value); }
    void Bind(int index, std::int64_t value) { BindInt(index, value); }
    void Bind(int index, double value) { BindDouble(index, value); }
    template <typename T>
    void Bind(int index, const std::optional<T>& value) {
        if (value)
            Bind(index, *value);
        else
            BindNull(index);
    }
    // Binds the values to parameters 1, 2, ...
    template <typename... A>
    Statement& BindAll(const A&... values) {
        int index = 1;
        (Bind(index++, values), ...);
        return *this;
    }

    // Runs a statement that returns no rows (or whose rows are not wanted)
    // and answers the number of rows it changed.
    std::int64_t Execute() {
        while (Step()) {
        }
        return Changes();
    }
    std::optional<std::string> OptText(int column) const {
        if (IsNull(column)) return std::nullopt;
        return Text(column);
    }

private:
    friend class Connection;
    friend class StatementHandle;
    bool leased_ = false;
    bool cached_ = false;
};

// Use of a prepared statement for one scope: on leaving it the statement is
// reset, its bindings cleared, and it goes back to its connection's cache.
class StatementHandle {
public:
    StatementHandle(Statement* statement, std::unique_ptr<Statement> owned)
        : statement_(statement), owned_(std::move(owned)) {}
    StatementHandle(StatementHandle&& other) noexcept
        : statement_(std::exchange(other.statement_, nullptr)), owned_(std::move(other.owned_)) {}
    StatementHandle& operator=(StatementHandle&&) = delete;
    ~StatementHandle();

    Statement* operator->() const { return statement_; }
    Statement& operator*() const { return *statement_; }

private:
    Statement* statement_;
    std::unique_ptr<Statement> owned_;
};

// One session with the database, used by one thread at a time.
class Connection {
public:
    virtual ~Connection() = default;
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // A prepared statement for this SQL text, compiled once per connection
    // and reused. Using the same text twice at once is allowed: the second
    // use gets a statement of its own.
    StatementHandle Prepare(std::string_view sql);

    // Runs SQL text without parameters (schema scripts); several statements
    // separated by ";" are allowed.
    virtual void ExecuteScript(std::string_view sql) = 0;

    // The schema version recorded in the database (0 for a new one).
    virtual int SchemaVersion() = 0;
    virtual void SetSchemaVersion(int version) = 0;

    // Transaction control; use the Transaction scope rather than these.
    enum class TransactionMode { Read, Write };
    virtual void Begin(TransactionMode mode) = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    virtual bool InTransaction() const = 0;

protected:
    virtual std::unique_ptr<Statement> Compile(std::string_view sql) = 0;
    // Drops the cached statements; a backend calls it before it closes.
    void ClearStatementCache() { cache_.clear(); }

private:
    std::unordered_map<std::string, std::unique_ptr<Statement>> cache_;
};

// A unit of work on one connection: everything done between its start and
// Commit() is applied together or not at all. Leaving the scope without
// Commit() (a refusal, an exception) rolls everything back.
//
// A Write transaction takes the database's write lock at its start, so two
// writers queue up (within the busy timeout) instead of failing half-way.
class Transaction {
public:
    explicit Transaction(Connection& connection,
                         Connection::TransactionMode mode = Connection::TransactionMode::Write);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void Commit();

private:
    Connection& connection_;
    bool open_ = false;
};

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

    // Opens (creating when missing) the database a path or URL names and
    // brings its schema to the version this server knows:
    //   "/path/eventos.db", "sqlite:///path/eventos.db"  an SQLite file;
    //   "postgresql://..."                                not supported yet.
    // Raises corvana::Error with a Portuguese text when the database cannot
    // be opened, belongs to a newer server, or the URL is not understood.
    static std::shared_ptr<Database> Open(const std::string& pathOrUrl,
                                          const OpenOptions& options);
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
            : owner_(std::move(owner)), connection_(std::move(connection)) {}
        std::shared_ptr<Database> owner_;
        std::unique_ptr<Connection> connection_;
    };
    Lease Acquire();

    // Where the database lives: the file (for messages and logs).
    const std::string& Location() const { return location_; }
    // "sqlite" (later also "postgresql").
    virtual std::string Backend() const = 0;

protected:
    explicit Database(std::string location) : location_(std::move(location)) {}
    // A new session with the database, ready for use.
    virtual std::unique_ptr<Connection> Connect() = 0;

private:
    void Release(std::unique_ptr<Connection> connection) noexcept;

    std::string location_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Connection>> idle_;
};

}  // namespace evt::server::storage
