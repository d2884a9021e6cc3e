#include "corvana/sqlite/Sqlite.h"

#include <sqlite3.h>

#include "corvana/db/DatabaseAddress.h"

#include <climits>
#include <mutex>

namespace corvana::sqlite {

using db::Connection;
using db::DatabaseError;
using db::Statement;

// ---------------------------------------------------------------------------
// SQLite backend.

namespace {

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

// The error policy: every failure of the backend becomes a DatabaseError
// with its kind, the backend's text, and the text the user reads.
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
    void BindKeptText(int index, std::string_view text) override {
        const char* data = text.data() ? text.data() : "";
        check(sqlite3_bind_text64(stmt_, index, data, text.size(), SQLITE_STATIC, SQLITE_UTF8));
    }
    void BindInt(int index, std::int64_t value) override {
        check(sqlite3_bind_int64(stmt_, index, value));
    }
    void BindDouble(int index, double value) override {
        check(sqlite3_bind_double(stmt_, index, value));
    }
    int ParameterCount() const override { return sqlite3_bind_parameter_count(stmt_); }
    std::string ParameterName(int index) const override {
        const char* name = sqlite3_bind_parameter_name(stmt_, index);
        return name ? name : "";
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

    int ColumnCount() const override { return sqlite3_column_count(stmt_); }
    std::string ColumnName(int column) const override {
        const char* name = sqlite3_column_name(stmt_, column);
        return name ? name : "";
    }
    std::string ColumnType(int column) const override {
        const char* type = sqlite3_column_decltype(stmt_, column);
        return type ? type : "";
    }

    bool IsNull(int column) const override {
        return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
    }
    std::string Text(int column) const override { return std::string(TextView(column)); }
    std::string_view TextView(int column) const override {
        const auto* text = sqlite3_column_text(stmt_, column);
        if (!text) return {};
        return {reinterpret_cast<const char*>(text),
                static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
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

// SQLite counts every allocation under a global lock unless told not to;
// nothing here reads those counts. Only possible before the library starts,
// so the first connection of the process says it (later it is refused,
// harmlessly).
void StopMemoryCounts() {
    static std::once_flag once;
    std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

class SqliteConnection final : public Connection {
public:
    SqliteConnection(const std::string& path, const ConnectOptions& options) {
        StopMemoryCounts();
        const int flags = SQLITE_OPEN_READWRITE | (options.create ? SQLITE_OPEN_CREATE : 0) |
                          (options.shared ? SQLITE_OPEN_FULLMUTEX : SQLITE_OPEN_NOMUTEX);
        const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
        if (rc != SQLITE_OK) {
            std::string detail = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            sqlite3_close_v2(db_);
            db_ = nullptr;
            throw DatabaseError(DatabaseError::Kind::Other, detail,
                                "Não foi possível abrir o banco de dados '" +
                                    db::ShownLocation(path) + "': " + detail);
        }
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, options.busyTimeoutMs);
        if (options.afterCommit) {
            afterCommit_ = options.afterCommit;
            // Replaces the automatic checkpoint, itself a hook of this kind.
            sqlite3_wal_hook(db_, &SqliteConnection::walCommitted, this);
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
        // A WriteByKey writer is a writer of the whole file: SQLite has one.
        ExecuteScript(mode == TransactionMode::Read ? "BEGIN DEFERRED" : "BEGIN IMMEDIATE");
        writing_ = mode != TransactionMode::Read;
    }
    void LockKeys(const std::vector<std::string>&) override {
        if (!InTransaction() || !writing_)
            throw corvana::Error("Chaves travadas fora de uma transação de gravação.");
    }
    void Commit() override { ExecuteScript("COMMIT"); }
    void Rollback() override {
        if (InTransaction()) ExecuteScript("ROLLBACK");
    }
    bool InTransaction() const override { return sqlite3_get_autocommit(db_) == 0; }
    db::Backend Backend() const override { return db::Backend::Sqlite; }

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
    static int walCommitted(void* self, sqlite3*, const char*, int pages) {
        try {
            static_cast<SqliteConnection*>(self)->afterCommit_(pages);
        } catch (...) {
            // The commit is done; a hook that fails only leaves the log longer.
        }
        return SQLITE_OK;
    }

    sqlite3* db_ = nullptr;
    bool writing_ = false;
    std::function<void(int)> afterCommit_;
};

}  // namespace

std::unique_ptr<Connection> Connect(const std::string& path, const ConnectOptions& options) {
    return std::make_unique<SqliteConnection>(path, options);
}

}  // namespace corvana::sqlite
