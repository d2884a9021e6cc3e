#pragma once
// The database interface of the framework: connections, prepared statements,
// transactions and one policy for database errors, whichever backend is
// behind them (corvana/sqlite/Sqlite.h, corvana/postgresql/Postgresql.h).
// The host's shared connection and the application server's storage work
// through it only. No Qt.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "corvana/data/Error.h"

namespace corvana::db {

// The backends of the layer: an SQLite file, or a PostgreSQL database the
// application servers of several branches share.
enum class Backend { Sqlite, Postgresql };

// A failure reported by the database. kind() tells the refusals a caller
// maps to user texts (a unique index, a foreign key) from the rest; detail()
// is the backend's own text, which for a unique violation names the index or
// its columns. what() is the text for the user: "Erro no banco de dados: "
// and the detail, or a request to try again when the database is busy.
//
// Unavailable: the database could not be reached or the session was lost
// (a restart, a network fault) before anything was committed; what() is
// kUnavailableText and the backend's detail after it. CommitUncertain: the
// session was lost while a COMMIT was on its way, so whether it took effect
// is not known.
class DatabaseError : public corvana::Error {
public:
    enum class Kind {
        Unique,
        ForeignKey,
        Check,
        NotNull,
        Busy,
        Unavailable,
        CommitUncertain,
        Other
    };
    DatabaseError(Kind kind, std::string detail, const std::string& message)
        : corvana::Error(message), kind_(kind), detail_(std::move(detail)) {}
    Kind kind() const { return kind_; }
    const std::string& detail() const { return detail_; }

private:
    Kind kind_;
    std::string detail_;
};

// What a user reads while the database cannot be reached.
inline constexpr const char* kUnavailableText =
    "Banco de dados indisponível; tente de novo em instantes.";

// A prepared statement of one connection. Parameters are bound from 1,
// written "?" (positional) or ":NAME" in the SQL text; columns are read from
// 0. A backend implements the virtual members; the rest are conveniences
// over them.
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
    // A text the caller keeps, unchanged and at the same address, until the
    // statement's next Reset: a backend may then use it where it lies
    // instead of copying it (SQLite); the others copy it as BindText does.
    virtual void BindKeptText(int index, std::string_view text) { BindText(index, text); }

    // The parameters of the SQL text, and one's name as written (":NAME");
    // empty for a positional "?".
    virtual int ParameterCount() const = 0;
    virtual std::string ParameterName(int index) const = 0;

    // Runs the statement to its next row: true while a row is available,
    // false when done. Raises DatabaseError.
    virtual bool Step() = 0;
    // Makes the statement ready to run again and clears its bindings.
    virtual void Reset() = 0;
    // Rows inserted, changed or deleted by the last completed run.
    virtual std::int64_t Changes() const = 0;

    // The result's columns: their names and declared types (the type of the
    // table column a result column comes from; empty for an expression).
    virtual int ColumnCount() const = 0;
    virtual std::string ColumnName(int column) const = 0;
    virtual std::string ColumnType(int column) const = 0;

    virtual bool IsNull(int column) const = 0;
    // The column's text; empty for NULL.
    virtual std::string Text(int column) const = 0;
    // The same without a copy: valid until the next Step, Reset or read of
    // the column in another form.
    virtual std::string_view TextView(int column) const = 0;
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

// Rows streamed into one table in a single operation (PostgreSQL's COPY ...
// FROM STDIN), for a backend where a statement per row, or per few hundred
// rows, costs a round trip and a plan each: Connection::CopyInto opens it.
// Each row gives its cells in the order of the columns named, then EndRow();
// Finish() ends the stream and answers the rows the table took. The table's
// constraints, indexes and triggers apply as to an INSERT; a violation or a
// lost session raises DatabaseError (at the latest at Finish(), since the
// database reads the stream as it comes) and leaves the transaction failed.
// Leaving the scope without Finish() cancels the copy: nothing of it is
// stored, and the transaction is failed. Nothing else may run on the
// connection while a copy is open.
class CopyIn {
public:
    virtual ~CopyIn() = default;
    CopyIn() = default;
    CopyIn(const CopyIn&) = delete;
    CopyIn& operator=(const CopyIn&) = delete;

    virtual void Null() = 0;
    virtual void Text(std::string_view text) = 0;
    virtual void EndRow() = 0;
    virtual std::int64_t Finish() = 0;

    void Cell(std::string_view text) { Text(text); }
    void Cell(const std::string& text) { Text(text); }
    void Cell(const char* text) { Text(text); }
    void Cell(std::nullptr_t) { Null(); }
    template <typename T>
    void Cell(const std::optional<T>& value) {
        if (value)
            Cell(*value);
        else
            Null();
    }
};

// One session with the database, used by one thread at a time (unless it
// was opened shared). Closing it
// (its destruction) finalizes its statements first.
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

    // Runs SQL text without parameters (schema scripts, pragmas); several
    // statements separated by ";" are allowed.
    virtual void ExecuteScript(std::string_view sql) = 0;

    // The schema version recorded in the database (0 for a new one).
    virtual int SchemaVersion() = 0;
    virtual void SetSchemaVersion(int version) = 0;

    // Transaction control; use the Transaction scope rather than these.
    //
    // Read: one snapshot, no lock. Write: takes the database's write lock at
    // its start, so writers run one at a time. WriteByKey: a writer that
    // owns only some units of the data (a guest list) and locks each by its
    // key (LockKeys) before it reads or writes it; writers of other keys go
    // on at once, and a Write transaction waits for every WriteByKey one (and
    // they for it). On a backend with one writer at a time (SQLite) it is
    // Write.
    enum class TransactionMode { Read, Write, WriteByKey };
    virtual void Begin(TransactionMode mode) = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    virtual bool InTransaction() const = 0;

    // In a WriteByKey transaction: waits for the lock of each key (a text
    // the caller makes, one per unit it owns) and holds them until the
    // transaction ends; waiting longer than the lock timeout is
    // DatabaseError::Kind::Busy. Keys are locked in one order whatever order
    // they come in, so two writers that lock several keys in one call never
    // wait on each other in a circle: lock all of a transaction's keys at
    // once. Nothing to do in a Write transaction (it excludes every other
    // writer) or on a backend with one writer; raises corvana::Error
    // outside a write transaction.
    virtual void LockKeys(const std::vector<std::string>& keys) = 0;

    // The SQL dialect the connection speaks.
    virtual db::Backend Backend() const = 0;

    // Whether the backend streams rows into a table (CopyInto): PostgreSQL
    // does; on an SQLite file a prepared INSERT per row is already as cheap.
    virtual bool CanCopy() const { return false; }
    // Opens a copy of rows into `table`, each row giving the `columns` named
    // (the others take their defaults). Names are the caller's own, never
    // user text. Raises corvana::Error on a backend that cannot copy.
    virtual std::unique_ptr<CopyIn> CopyInto(std::string_view table,
                                             const std::vector<std::string>& columns);
    // True once the session is lost (a server that went away): a pool
    // closes it instead of handing it out again.
    virtual bool Broken() const { return false; }
    // Asks the database whether the session still answers (a round trip);
    // false once it is lost. A file always answers.
    virtual bool Ping() { return true; }

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

}  // namespace corvana::db
