#include "corvana/postgresql/Postgresql.h"

#include <libpq-fe.h>

#include "corvana/db/DatabaseAddress.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <utility>

namespace corvana::postgresql {

using db::Connection;
using db::DatabaseError;
using db::Statement;

namespace {

// The lock of a key: FNV-1a of its bytes, 64 bits. The locks are scoped to
// the session's schema (its data): the schema's name and a zero byte come
// first, so two schemas of one database (a test's, a branch's) never wait
// on each other, and every server of one schema computes the same hash.
std::uint64_t keyHash(std::string_view scope, std::string_view key) {
    std::uint64_t h = 14695981039346656037ull;
    const auto mix = [&h](std::string_view bytes) {
        for (const char c : bytes) {
            h ^= static_cast<unsigned char>(c);
            h *= 1099511628211ull;
        }
    };
    mix(scope);
    mix(std::string_view("\0", 1));
    mix(key);
    return h;
}

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

DatabaseError::Kind kindOf(std::string_view state) {
    if (state == "23505") return DatabaseError::Kind::Unique;
    if (state == "23503") return DatabaseError::Kind::ForeignKey;
    if (state == "23514") return DatabaseError::Kind::Check;
    if (state == "23502") return DatabaseError::Kind::NotNull;
    // Serialization failure, deadlock, lock timeout, statement cancelled.
    if (state == "40001" || state == "40P01" || state == "55P03" || state == "57014")
        return DatabaseError::Kind::Busy;
    return DatabaseError::Kind::Other;
}

// libpq's text on one line: its messages run over several ("FATAL: ...\n
// server closed the connection unexpectedly\n...").
std::string oneLine(std::string text) {
    text = trimmed(std::move(text));
    std::string out;
    bool blank = false;
    for (char c : text) {
        const bool space = c == '\n' || c == '\r' || c == '\t' || c == ' ';
        if (space) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

// The session is gone: a lost connection, or the server ending it
// (administrator command, crash or cannot-connect-now: 57P01 to 57P03;
// connection exceptions: class 08).
bool lostSession(PGconn* conn, std::string_view state) {
    return PQstatus(conn) != CONNECTION_OK || state.substr(0, 2) == "08" || state == "57P01" ||
           state == "57P02" || state == "57P03";
}

[[noreturn]] void raiseUnavailable(const std::string& detail) {
    throw DatabaseError(DatabaseError::Kind::Unavailable, detail,
                        std::string(db::kUnavailableText) + " (" + detail + ")");
}

// The error policy of the layer, from a failed result (or, without one, the
// connection's last message).
[[noreturn]] void raise(PGconn* conn, const PGresult* result) {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    std::string text = primary ? primary : oneLine(PQerrorMessage(conn));
    if (text.empty()) text = "falha sem mensagem do servidor";
    if (lostSession(conn, state ? state : "")) raiseUnavailable(oneLine(PQerrorMessage(conn)));
    const auto kind = kindOf(state ? state : "");
    if (kind == DatabaseError::Kind::Busy) {
        throw DatabaseError(kind, text,
                            "O banco de dados está ocupado por outra operação; tente novamente.");
    }
    std::string detail = text;
    if (const char* constraint =
            result ? PQresultErrorField(result, PG_DIAG_CONSTRAINT_NAME) : nullptr)
        detail = upper(constraint) + ": " + text;
    throw DatabaseError(kind, detail, "Erro no banco de dados: " + text);
}

struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// Serializes the calls of a shared connection; free for one that is not.
class Gate {
public:
    explicit Gate(bool shared) : shared_(shared) {}
    std::unique_lock<std::mutex> Enter() {
        return shared_ ? std::unique_lock<std::mutex>(mutex_) : std::unique_lock<std::mutex>();
    }

private:
    bool shared_;
    std::mutex mutex_;
};

std::string percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        int value = 0;
        if (text[i] == '%' && i + 2 < text.size() &&
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr ==
                text.data() + i + 3) {
            out.push_back(static_cast<char>(value));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The passwords a connection may use, so that no message repeats one: the
// URL's (user:password@ or password=) and PGPASSWORD.
std::vector<std::string> secretsOf(const std::string& url) {
    std::vector<std::string> secrets;
    const auto scheme = url.find("://");
    if (scheme != std::string::npos) {
        const auto start = scheme + 3;
        const auto end = std::min(url.find_first_of("/?#", start), url.size());
        const auto at = url.rfind('@', end - 1);
        if (at != std::string::npos && at >= start) {
            const auto colon = url.find(':', start);
            if (colon < at) secrets.push_back(url.substr(colon + 1, at - colon - 1));
        }
    }
    for (auto key = url.find("password="); key != std::string::npos;
         key = url.find("password=", key + 1)) {
        const auto value = key + 9;
        secrets.push_back(url.substr(value, url.find_first_of("&#", value) - value));
    }
    if (const char* env = std::getenv("PGPASSWORD")) secrets.emplace_back(env);
    std::vector<std::string> all;
    for (const std::string& s : secrets) {
        if (s.empty()) continue;
        all.push_back(s);
        if (std::string decoded = percentDecoded(s); decoded != s) all.push_back(decoded);
    }
    return all;
}

std::string scrubbed(std::string text, const std::vector<std::string>& secrets) {
    for (const std::string& secret : secrets)
        for (auto at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
            text.replace(at, secret.size(), "***");
    return text;
}

// Types as the SQLite layer names them (the declared type of a column).
std::string typeName(Oid type) {
    switch (type) {
        case 16:  // bool
            return "BOOLEAN";
        case 20:  // int8
        case 21:  // int2
        case 23:  // int4
            return "INTEGER";
        case 700:   // float4
        case 701:   // float8
        case 1700:  // numeric
            return "REAL";
        case 25:    // text
        case 1042:  // bpchar
        case 1043:  // varchar
            return "TEXT";
        default:
            return "";
    }
}

class PgStatement final : public Statement {
public:
    PgStatement(PGconn* conn, Gate& gate, std::string name, std::vector<std::string> names)
        : conn_(conn),
          gate_(gate),
          name_(std::move(name)),
          names_(std::move(names)),
          values_(names_.size()) {}
    ~PgStatement() override {
        // The prepared statement dies with the session; a cached one is
        // dropped only when the connection closes.
    }

    void BindNull(int index) override { slot(index).reset(); }
    void BindText(int index, std::string_view text) override { slot(index) = std::string(text); }
    void BindInt(int index, std::int64_t value) override { slot(index) = std::to_string(value); }
    void BindDouble(int index, double value) override {
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, value).ptr;
        std::string written(text, end);
        if (written == "inf") written = "Infinity";
        if (written == "-inf") written = "-Infinity";
        if (written == "nan" || written == "-nan") written = "NaN";
        slot(index) = std::move(written);
    }
    int ParameterCount() const override { return static_cast<int>(names_.size()); }
    std::string ParameterName(int index) const override {
        if (index < 1 || index > ParameterCount()) return "";
        return names_[static_cast<std::size_t>(index - 1)];
    }

    bool Step() override {
        if (!result_) run();
        if (row_ + 1 < rows_) {
            ++row_;
            return true;
        }
        row_ = rows_;
        return false;
    }
    void Reset() override {
        result_.reset();
        rows_ = row_ = -1;
        changes_ = 0;
        for (auto& v : values_) v.reset();
    }
    std::int64_t Changes() const override { return changes_; }

    int ColumnCount() const override { return PQnfields(shape()); }
    std::string ColumnName(int column) const override {
        const char* name = PQfname(shape(), column);
        return name ? upper(name) : "";
    }
    std::string ColumnType(int column) const override { return typeName(PQftype(shape(), column)); }

    bool IsNull(int column) const override {
        return !current() || PQgetisnull(result_.get(), row_, column);
    }
    std::string Text(int column) const override { return std::string(TextView(column)); }
    std::string_view TextView(int column) const override {
        if (IsNull(column)) return {};
        return {PQgetvalue(result_.get(), row_, column),
                static_cast<std::size_t>(PQgetlength(result_.get(), row_, column))};
    }
    std::int64_t Int(int column) const override {
        const std::string_view text = TextView(column);
        if (text == "t") return 1;
        std::int64_t value = 0;
        if (std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc())
            return value;
        return static_cast<std::int64_t>(Double(column));
    }
    double Double(int column) const override {
        const std::string_view text = TextView(column);
        double value = 0;
        // Not strtod: the host's locale may write a decimal comma.
        std::from_chars(text.data(), text.data() + text.size(), value);
        return value;
    }

private:
    std::optional<std::string>& slot(int index) {
        if (index < 1 || index > ParameterCount())
            throw DatabaseError(DatabaseError::Kind::Other, "parâmetro fora da faixa",
                                "Erro no banco de dados: parâmetro " + std::to_string(index) +
                                    " fora da faixa do comando.");
        // A new binding after a run starts the next run.
        if (result_) {
            result_.reset();
            rows_ = row_ = -1;
        }
        return values_[static_cast<std::size_t>(index - 1)];
    }

    void run() {
        std::vector<const char*> values(values_.size());
        std::vector<int> lengths(values_.size());
        for (std::size_t i = 0; i < values_.size(); ++i) {
            values[i] = values_[i] ? values_[i]->c_str() : nullptr;
            lengths[i] = values_[i] ? static_cast<int>(values_[i]->size()) : 0;
        }
        Result result;
        {
            auto lock = gate_.Enter();
            result.reset(PQexecPrepared(conn_, name_.c_str(), static_cast<int>(values.size()),
                                        values.data(), lengths.data(), nullptr, 0));
        }
        const auto status = PQresultStatus(result.get());
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) raise(conn_, result.get());
        rows_ = PQntuples(result.get());
        row_ = -1;
        const char* changed = PQcmdTuples(result.get());
        changes_ = changed && *changed ? std::atoll(changed) : 0;
        result_ = std::move(result);
    }

    bool current() const { return result_ && row_ >= 0 && row_ < rows_; }

    // The result's columns: of the last run, or as the server describes the
    // statement before any.
    const PGresult* shape() const {
        if (result_) return result_.get();
        if (!described_) {
            auto lock = gate_.Enter();
            described_.reset(PQdescribePrepared(conn_, name_.c_str()));
            if (PQresultStatus(described_.get()) != PGRES_COMMAND_OK) {
                Result failed = std::move(described_);
                raise(conn_, failed.get());
            }
        }
        return described_.get();
    }

    PGconn* conn_;
    Gate& gate_;
    std::string name_;
    std::vector<std::string> names_;
    std::vector<std::optional<std::string>> values_;
    Result result_;
    mutable Result described_;
    int rows_ = -1;
    int row_ = -1;
    std::int64_t changes_ = 0;
};

// A COPY ... FROM STDIN in text form: cells separated by tabs, rows ended by
// a newline, NULL written \N, and a backslash, tab, newline or carriage
// return of a text escaped. Rows are sent in chunks of about 64 KiB. The
// gate of a shared connection is held until the copy ends.
class PgCopyIn final : public db::CopyIn {
public:
    PgCopyIn(PGconn* conn, Gate& gate, std::size_t columns)
        : conn_(conn), lock_(gate.Enter()), columns_(columns) {
        buffer_.reserve(kChunk + 4096);
    }
    // Opens the copy; the statement is the caller's (names only, no values).
    void Start(const std::string& sql) {
        Result result(PQexec(conn_, sql.c_str()));
        if (PQresultStatus(result.get()) != PGRES_COPY_IN) {
            done_ = true;
            raise(conn_, result.get());
        }
    }
    ~PgCopyIn() override {
        if (done_) return;
        // Cancelled: the database drops what it took and fails the
        // transaction, which the caller's scope then rolls back.
        if (PQputCopyEnd(conn_, "cópia cancelada") == 1) drain();
    }

    void Null() override {
        separate();
        buffer_ += "\\N";
    }
    void Text(std::string_view text) override {
        separate();
        for (const char c : text) {
            switch (c) {
                case '\\':
                    buffer_ += "\\\\";
                    break;
                case '\t':
                    buffer_ += "\\t";
                    break;
                case '\n':
                    buffer_ += "\\n";
                    break;
                case '\r':
                    buffer_ += "\\r";
                    break;
                default:
                    buffer_ += c;
            }
        }
    }
    void EndRow() override {
        if (cells_ != columns_)
            throw corvana::Error("Cópia em bloco: uma linha com " + std::to_string(cells_) +
                                 " valores para " + std::to_string(columns_) + " colunas.");
        buffer_ += '\n';
        cells_ = 0;
        if (buffer_.size() >= kChunk) send();
    }
    std::int64_t Finish() override {
        if (done_) throw corvana::Error("Cópia em bloco já encerrada.");
        if (cells_ != 0) throw corvana::Error("Cópia em bloco: a última linha não terminou.");
        send();
        done_ = true;
        if (PQputCopyEnd(conn_, nullptr) != 1) failed();
        Result result(PQgetResult(conn_));
        drain();
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) raise(conn_, result.get());
        const char* copied = PQcmdTuples(result.get());
        return copied && *copied ? std::atoll(copied) : 0;
    }

private:
    static constexpr std::size_t kChunk = 64 * 1024;

    void separate() {
        if (cells_++ != 0) buffer_ += '\t';
    }
    void send() {
        if (buffer_.empty()) return;
        if (PQputCopyData(conn_, buffer_.data(), static_cast<int>(buffer_.size())) != 1) {
            done_ = true;
            failed();
        }
        buffer_.clear();
    }
    // The stream could not be sent (a lost session): the database's result
    // tells why, or the connection's last message.
    [[noreturn]] void failed() {
        Result result(PQgetResult(conn_));
        drain();
        raise(conn_, result.get());
    }
    void drain() {
        while (PGresult* rest = PQgetResult(conn_)) PQclear(rest);
    }

    PGconn* conn_;
    std::unique_lock<std::mutex> lock_;
    std::size_t columns_;
    std::size_t cells_ = 0;
    std::string buffer_;
    bool done_ = false;
};

void quiet(void*, const char*) {
    // NOTICEs ("relation already exists, skipping") are not for the user.
}

class PgConnection final : public Connection {
public:
    PgConnection(const std::string& url, const ConnectOptions& options) : gate_(options.shared) {
        const char* keys[] = {"dbname", "client_encoding", "application_name", "connect_timeout",
                              nullptr};
        const char* values[] = {url.c_str(), "UTF8", options.applicationName.c_str(), "10",
                                nullptr};
        conn_ = PQconnectdbParams(keys, values, 1);
        try {
            if (!conn_ || PQstatus(conn_) != CONNECTION_OK)
                unreachable(url, conn_ ? oneLine(PQerrorMessage(conn_)) : "sem memória");
            PQsetNoticeProcessor(conn_, quiet, nullptr);
            const char* encoding = PQparameterStatus(conn_, "server_encoding");
            if (!encoding || std::string_view(encoding) != "UTF8") {
                fail(url, std::string("o banco usa a codificação ") +
                              (encoding ? encoding : "desconhecida") +
                              "; crie-o com ENCODING 'UTF8'.");
            }
            ExecuteScript("SET lock_timeout = " + std::to_string(options.lockTimeoutMs));
            writeLock_ = std::to_string(static_cast<std::int64_t>(keyHash(readScope(), "EVT0780")));
        } catch (...) {
            PQfinish(conn_);
            throw;
        }
    }
    ~PgConnection() override {
        ClearStatementCache();
        PQfinish(conn_);
    }

    // The schema the session's names resolve to (the URL's search_path, or
    // public), remembered for the locks.
    const std::string& readScope() {
        Result result(PQexec(conn_, "SELECT current_schema()"));
        if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) raise(conn_, result.get());
        if (PQntuples(result.get()) == 1 && !PQgetisnull(result.get(), 0, 0))
            scope_ = PQgetvalue(result.get(), 0, 0);
        return scope_;
    }

    void ExecuteScript(std::string_view sql) override {
        const std::string text(sql);
        Result result;
        {
            auto lock = gate_.Enter();
            result.reset(PQexec(conn_, text.c_str()));
        }
        const auto status = PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) raise(conn_, result.get());
    }

    int SchemaVersion() override {
        {
            auto st = Prepare("SELECT to_regclass('SCHEMA_VERSION') IS NOT NULL");
            if (!st->Step() || st->Text(0) != "t") return 0;
        }
        auto st = Prepare("SELECT MAX(VERSION) FROM SCHEMA_VERSION");
        if (!st->Step() || st->IsNull(0)) return 0;
        const std::int64_t v = st->Int(0);
        return v > INT_MAX || v < INT_MIN ? -1 : static_cast<int>(v);
    }
    void SetSchemaVersion(int version) override {
        ExecuteScript(
            "CREATE TABLE IF NOT EXISTS SCHEMA_VERSION (VERSION INTEGER NOT NULL); "
            "DELETE FROM SCHEMA_VERSION; INSERT INTO SCHEMA_VERSION (VERSION) VALUES (" +
            std::to_string(version) + ")");
    }

    void Begin(TransactionMode mode) override {
        if (InTransaction()) throw corvana::Error("Transação já aberta nesta conexão.");
        mode_ = mode;
        if (mode == TransactionMode::Read) {
            ExecuteScript("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
            return;
        }
        try {
            // The schema's write lock: a Write transaction holds it alone
            // for its whole length, a WriteByKey one shares it with the
            // others of its kind (see the header). The one-number locks are
            // a key space apart from LockKeys' two-number ones.
            ExecuteScript(std::string(mode == TransactionMode::Write
                                          ? "BEGIN; SELECT pg_advisory_xact_lock("
                                          : "BEGIN; SELECT pg_advisory_xact_lock_shared(") +
                          writeLock_ + ")");
        } catch (...) {
            // No Transaction scope exists yet to end it.
            Rollback();
            throw;
        }
    }
    void Commit() override {
        Result result;
        {
            auto lock = gate_.Enter();
            result.reset(PQexec(conn_, "COMMIT"));
        }
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
            const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
            if (lostSession(conn_, state ? state : "")) {
                const std::string detail = oneLine(PQerrorMessage(conn_));
                throw DatabaseError(DatabaseError::Kind::CommitUncertain, detail,
                                    "A conexão com o banco de dados caiu enquanto a gravação era "
                                    "confirmada; não se sabe se ela foi gravada. Recarregue para "
                                    "conferir antes de gravar de novo. (" +
                                        detail + ")");
            }
            raise(conn_, result.get());
        }
        // A transaction that failed earlier answers COMMIT with ROLLBACK.
        if (std::string_view(PQcmdStatus(result.get())) == "ROLLBACK") {
            throw DatabaseError(DatabaseError::Kind::Other, "transaction rolled back",
                                "Erro no banco de dados: a transação falhou antes de ser "
                                "confirmada; nada foi gravado.");
        }
    }
    void Rollback() override {
        if (InTransaction()) ExecuteScript("ROLLBACK");
    }
    bool InTransaction() const override {
        const auto status = PQtransactionStatus(conn_);
        return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
    }
    void LockKeys(const std::vector<std::string>& keys) override {
        if (!InTransaction() || mode_ == TransactionMode::Read)
            throw corvana::Error("Chaves travadas fora de uma transação de gravação.");
        if (mode_ == TransactionMode::Write || keys.empty()) return;
        std::vector<std::uint64_t> hashes;
        hashes.reserve(keys.size());
        for (const std::string& key : keys) hashes.push_back(keyHash(scope_, key));
        std::sort(hashes.begin(), hashes.end());
        hashes.erase(std::unique(hashes.begin(), hashes.end()), hashes.end());
        // One round trip; the statements run in the order written.
        std::string sql;
        for (const std::uint64_t h : hashes) {
            sql += "SELECT pg_advisory_xact_lock((" +
                   std::to_string(static_cast<std::int32_t>(h >> 32)) + ")::integer, (" +
                   std::to_string(static_cast<std::int32_t>(h & 0xFFFFFFFFu)) + ")::integer);";
        }
        ExecuteScript(sql);
    }
    db::Backend Backend() const override { return db::Backend::Postgresql; }
    bool CanCopy() const override { return true; }
    std::unique_ptr<db::CopyIn> CopyInto(std::string_view table,
                                         const std::vector<std::string>& columns) override {
        std::string sql = "COPY " + std::string(table) + " (";
        for (std::size_t i = 0; i < columns.size(); ++i) sql += (i ? ", " : "") + columns[i];
        sql += ") FROM STDIN";
        auto copy = std::make_unique<PgCopyIn>(conn_, gate_, columns.size());
        copy->Start(sql);
        return copy;
    }
    bool Broken() const override { return PQstatus(conn_) != CONNECTION_OK; }
    bool Ping() override {
        if (Broken()) return false;
        auto lock = gate_.Enter();
        Result result(PQexec(conn_, ""));
        return PQstatus(conn_) == CONNECTION_OK;
    }

protected:
    std::unique_ptr<Statement> Compile(std::string_view sql) override {
        std::vector<std::string> names;
        const std::string text = RewriteParameters(sql, names);
        std::string name = "s" + std::to_string(++compiled_);
        Result result;
        {
            auto lock = gate_.Enter();
            result.reset(PQprepare(conn_, name.c_str(), text.c_str(), 0, nullptr));
        }
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) raise(conn_, result.get());
        return std::make_unique<PgStatement>(conn_, gate_, std::move(name), std::move(names));
    }

private:
    // No session: the server is down, refuses the connection or the login.
    // Portuguese first, the backend's detail after it.
    [[noreturn]] static void unreachable(const std::string& url, const std::string& reason) {
        const std::string text = scrubbed(reason, secretsOf(url));
        throw DatabaseError(DatabaseError::Kind::Unavailable, text,
                            "Não foi possível abrir o banco de dados '" + db::ShownLocation(url) +
                                "': " + db::kUnavailableText + " (" + text + ")");
    }
    [[noreturn]] static void fail(const std::string& url, const std::string& reason) {
        const std::string text = scrubbed(reason, secretsOf(url));
        throw DatabaseError(
            DatabaseError::Kind::Other, text,
            "Não foi possível abrir o banco de dados '" + db::ShownLocation(url) + "': " + text);
    }

    PGconn* conn_ = nullptr;
    Gate gate_;
    std::uint64_t compiled_ = 0;
    TransactionMode mode_ = TransactionMode::Read;
    std::string scope_;      // the session's schema
    std::string writeLock_;  // the schema's write lock, as SQL text
};

bool isNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

std::string InSchema(const std::string& url, const std::string& schema) {
    return url + (url.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" +
           schema;
}

std::string RewriteParameters(std::string_view sql, std::vector<std::string>& names) {
    std::string out;
    out.reserve(sql.size() + 16);
    names.clear();
    auto use = [&](std::size_t number, const std::string& name) {
        if (names.size() < number) names.resize(number);
        names[number - 1] = name;
        out += "$" + std::to_string(number);
    };
    for (std::size_t i = 0; i < sql.size();) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            // A quoted text or name, its doubled quotes included.
            std::size_t end = i + 1;
            while (end < sql.size()) {
                if (sql[end] == c) {
                    if (end + 1 < sql.size() && sql[end + 1] == c) {
                        end += 2;
                        continue;
                    }
                    break;
                }
                ++end;
            }
            end = std::min(end + 1, sql.size());
            out.append(sql, i, end - i);
            i = end;
        } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            const std::size_t end = std::min(sql.find('\n', i), sql.size());
            out.append(sql, i, end - i);
            i = end;
        } else if (c == '?') {
            std::size_t end = i + 1;
            while (end < sql.size() && sql[end] >= '0' && sql[end] <= '9') ++end;
            std::size_t number = names.size() + 1;
            if (end > i + 1) std::from_chars(sql.data() + i + 1, sql.data() + end, number);
            use(number, "");
            i = end;
        } else if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {
            out += "::";  // a cast
            i += 2;
        } else if (c == ':' && i + 1 < sql.size() && isNameChar(sql[i + 1])) {
            std::size_t end = i + 1;
            while (end < sql.size() && isNameChar(sql[end])) ++end;
            const std::string name(sql.substr(i, end - i));
            std::size_t number = 0;
            for (std::size_t k = 0; k < names.size() && !number; ++k)
                if (names[k] == name) number = k + 1;
            use(number ? number : names.size() + 1, name);
            i = end;
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return out;
}

std::unique_ptr<Connection> Connect(const std::string& url, const ConnectOptions& options) {
    return std::make_unique<PgConnection>(url, options);
}

}  // namespace corvana::postgresql
