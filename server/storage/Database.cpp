#include "storage/Database.h"

#include <sqlite3.h>

#include <climits>
#include <iostream>

#include "storage/Schema.h"

namespace evt::server::storage {

// ---------------------------------------------------------------------------
// Backend-independent parts: statement cache, transactions, the pool.

StatementHandle::~StatementHandle() {
    if (!statement_) return;
    try {
        statement_->Reset();
    } catch (...) {
        // A reset only repeats the error of the last run, already raised.
    }
    statement_->leased_ = false;
}

StatementHandle Connection::Prepare(std::string_view sql) {
    auto it = cache_.find(std::string(sql));
    if (it == cache_.end()) {
        auto compiled = Compile(sql);
        compiled->cached_ = true;
        it = cache_.emplace(std::string(sql), std::move(compiled)).first;
    }
    Statement* cached = it->second.get();
    if (!cached->leased_) {
        cached->leased_ = true;
        return StatementHandle(cached, nullptr);
    }
    // The same text is already in use in an enclosing scope: a statement of
    // its own for this use, dropped when the handle ends.
    auto owned = Compile(sql);
    Statement* raw = owned.get();
    raw->leased_ = true;
    return StatementHandle(raw, std::move(owned));
}

Transaction::Transaction(Connection& connection, Connection::TransactionMode mode)
    : connection_(connection) {
    connection_.Begin(mode);
    open_ = true;
}

Transaction::~Transaction() {
    if (!open_) return;
    try {
        connection_.Rollback();
    } catch (...) {
        // The connection rolls back on its own when the rollback itself fails
        // (a lost file); nothing was committed either way.
    }
}

void Transaction::Commit() {
    if (!open_) throw corvana::Error("Transação já encerrada.");
    connection_.Commit();
    open_ = false;
}

Database::Lease::~Lease() {
    if (!connection_) return;
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
    {
        std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            auto connection = std::move(idle_.back());
            idle_.pop_back();
            return Lease(shared_from_this(), std::move(connection));
        }
    }
    return Lease(shared_from_this(), Connect());
}

void Database::Release(std::unique_ptr<Connection> connection) noexcept {
    // Enough idle sessions for the endpoint's workers; more are closed.
    constexpr std::size_t kMaxIdle = 16;
    std::lock_guard lock(mutex_);
    try {
        if (idle_.size() < kMaxIdle) idle_.push_back(std::move(connection));
    } catch (...) {
        // No memory to keep it: the connection is closed instead.
    }
}

// ---------------------------------------------------------------------------
// SQLite backend.

namespace {

constexpr int kBusyTimeoutMs = 5000;

DatabaseError::Kind kindOf(int extendedCode) {
    switch (extendedCode) {
        case SQLITE_CONSTRAINT_UNIQUE:
        case SQLITE_CONSTRAINT_PRIMARYKEY:
            return DatabaseError::Kind::Unique;
        case SQLITE_CONSTRAINT_FOREIGNKEY:
            return DatabaseError::Kind::ForeignKey;
        case SQLITE_CONSTRAINT_CHECK:
            return DatabaseError::Kind::Check;
        case SQLITE_CONSTRAINT_NOTNULL:
            return DatabaseError::Kind::NotNull;
        default:
            break;
    }
    switch (extendedCode & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return DatabaseError::Kind::Busy;
        default:
            return DatabaseError::Kind::Other;
    }
}

[[noreturn]] void raise(sqlite3* db, int rc) {
    const int extended = db ? sqlite3_extended_errcode(db) : rc;
    std::string detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    const auto kind = kindOf(extended);
    if (kind == DatabaseError::Kind::Busy) {
        throw DatabaseError(kind, detail,
                            "O banco de dados está ocupado por outra operação; tente novamente.");
    }
    throw DatabaseError(kind, detail, "Erro no banco de dados: " + detail);
}

class SqliteStatement final : public Statement {
public:
    SqliteStatement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
    ~SqliteStatement() override { sqlite3_finalize(stmt_); }

    void BindNull(int index) override { check(sqlite3_bind_null(stmt_, index)); }
    void BindText(int index, std::string_view text) override {
        // A null pointer would bind NULL; an empty text is a text.
        const char* data = text.data() ? text.data() : "";
        check(sqlite3_bind_text64(stmt_, index, data, text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    }
    void BindInt(int index, std::int64_t value) override {
        check(sqlite3_bind_int64(stmt_, index, value));
    }
    void BindDouble(int index, double value) override {
        check(sqlite3_bind_double(stmt_, index, value));
    }

    bool Step() override {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) {
            changes_ = sqlite3_changes64(db_);
            return false;
        }
        raise(db_, rc);
    }
    void Reset() override {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        changes_ = 0;
    }
    std::int64_t Changes() const override { return changes_; }

    bool IsNull(int column) const override {
        return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
    }
    std::string Text(int column) const override {
        const auto* text = sqlite3_column_text(stmt_, column);
        if (!text) return {};
        return std::string(reinterpret_cast<const char*>(text),
                           static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
    }
    std::int64_t Int(int column) const override { return sqlite3_column_int64(stmt_, column); }
    double Double(int column) const override { return sqlite3_column_double(stmt_, column); }

private:
    void check(int rc) {
        if (rc != SQLITE_OK) raise(db_, rc);
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_;
    std::int64_t changes_ = 0;
};

class SqliteConnection final : public Connection {
public:
    explicit SqliteConnection(const std::string& path) {
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
        const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
        if (rc != SQLITE_OK) {
            std::string detail = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            sqlite3_close_v2(db_);
            db_ = nullptr;
            throw DatabaseError(
                DatabaseError::Kind::Other, detail,
                "Não foi possível abrir o banco de dados '" + path + "': " + detail);
        }
        try {
            sqlite3_extended_result_codes(db_, 1);
            sqlite3_busy_timeout(db_, kBusyTimeoutMs);
            // WAL lets readers work while one writer commits; synchronous=FULL
            // syncs the log on every commit, so an acknowledged save survives
            // a crash or a power cut.
            if (QueryText("PRAGMA journal_mode=WAL") != "wal") {
                throw corvana::Error("O banco de dados '" + path +
                                     "' não aceitou o modo WAL (journal_mode).");
            }
            // A 16 MiB page cache keeps the indexes of a large import in
            // memory until the commit instead of spilling them mid-way.
            ExecuteScript("PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON; PRAGMA cache_size=-16384;");
            if (QueryText("PRAGMA foreign_keys") != "1") {
                throw corvana::Error("O SQLite em uso não verifica chaves estrangeiras.");
            }
        } catch (const corvana::Error& e) {
            ClearStatementCache();
            sqlite3_close_v2(db_);
            db_ = nullptr;
            // "file is not a database" and its kind read better with the file.
            throw corvana::Error("Não foi possível abrir o banco de dados '" + path +
                                 "': " + e.what());
        }
    }
    ~SqliteConnection() override {
        ClearStatementCache();
        sqlite3_close_v2(db_);
    }

    void ExecuteScript(std::string_view sql) override {
        const std::string text(sql);
        const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) raise(db_, rc);
    }

    int SchemaVersion() override {
        auto st = Prepare("PRAGMA user_version");
        if (!st->Step()) return 0;
        const std::int64_t v = st->Int(0);
        return v > INT_MAX || v < INT_MIN ? -1 : static_cast<int>(v);
    }
    void SetSchemaVersion(int version) override {
        // A pragma takes no parameters; the value is a number of our own.
        ExecuteScript("PRAGMA user_version = " + std::to_string(version));
    }

    void Begin(TransactionMode mode) override {
        if (InTransaction()) throw corvana::Error("Transação já aberta nesta conexão.");
        // IMMEDIATE takes the write lock now: a writer that has read must
        // not find later that another writer got in between.
        ExecuteScript(mode == TransactionMode::Write ? "BEGIN IMMEDIATE" : "BEGIN DEFERRED");
    }
    void Commit() override { ExecuteScript("COMMIT"); }
    void Rollback() override {
        if (InTransaction()) ExecuteScript("ROLLBACK");
    }
    bool InTransaction() const override { return sqlite3_get_autocommit(db_) == 0; }

protected:
    std::unique_ptr<Statement> Compile(std::string_view sql) override {
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                                          SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK) raise(db_, rc);
        if (!stmt) throw corvana::Error("Comando SQL vazio.");
        return std::make_unique<SqliteStatement>(db_, stmt);
    }

private:
    std::string QueryText(const char* sql) {
        auto st = Prepare(sql);
        return st->Step() ? st->Text(0) : std::string();
    }

    sqlite3* db_ = nullptr;
};

class SqliteDatabase final : public Database {
public:
    explicit SqliteDatabase(std::string path) : Database(path), path_(std::move(path)) {}
    std::string Backend() const override { return "sqlite"; }

protected:
    std::unique_ptr<Connection> Connect() override {
        return std::make_unique<SqliteConnection>(path_);
    }

private:
    std::string path_;
};

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::shared_ptr<Database> Database::Open(const std::string& pathOrUrl,
                                         const OpenOptions& options) {
    if (pathOrUrl.empty()) throw corvana::Error("Nenhum banco de dados informado.");
    if (startsWith(pathOrUrl, "postgresql://") || startsWith(pathOrUrl, "postgres://")) {
        // The URL may carry a password: it is not repeated in the message.
        throw corvana::Error(
            "Banco PostgreSQL ainda não suportado; informe o caminho de um arquivo SQLite.");
    }
    std::string path = pathOrUrl;
    if (startsWith(path, "sqlite://")) {
        path = path.substr(9);
    } else if (path.find("://") != std::string::npos) {
        throw corvana::Error("Endereço de banco de dados não reconhecido: '" + pathOrUrl + "'.");
    }
    if (path.empty() || path == ":memory:") {
        // Every pooled connection would see a database of its own.
        throw corvana::Error("Informe o caminho de um arquivo para o banco de dados.");
    }
    auto db = std::make_shared<SqliteDatabase>(path);
    auto first = db->Acquire();
    LogLine log = options.log;
    if (!log) log = [](const std::string& line) { std::cerr << line << std::endl; };
    MigrateSchema(*first, pathOrUrl, log, options.schemaVersion);
    return db;
}

}  // namespace evt::server::storage
