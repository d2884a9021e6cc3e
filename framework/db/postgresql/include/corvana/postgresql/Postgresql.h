#pragma once
// The PostgreSQL backend of the database layer (corvana/db/Connection.h):
// the same Connection, Statement and error policy over libpq, for sites whose
// branches share one database. No Qt.
//
// What differs from an SQLite file, and how the layer keeps the contract:
// - Parameters: "?", "?N" and ":NAME" are rewritten to "$N" (a name used
//   twice is one parameter, as SQLite has it). Values travel as text of an
//   unknown type, so the server infers each from where it is used.
// - Transactions: a Write transaction takes one advisory lock of the
//   database at its start, so writers queue up as they do on an SQLite
//   file, whichever server they came through; waiting longer than the lock
//   timeout (5 s) is DatabaseError::Kind::Busy. A WriteByKey transaction
//   shares that lock with the others of its kind (so it still waits for a
//   Write one, and it for them) and takes an advisory lock per key it is
//   given (LockKeys: a 64-bit hash of the key's text as two 32-bit halves,
//   a key space apart from the database's lock), so writers of different
//   keys run at once. Both locks hash in the session's schema
//   (current_schema()): the data of two schemas never share a lock. A Read transaction is one
//   snapshot (REPEATABLE READ, READ ONLY).
// - Errors: SQLSTATEs mapped to the kinds; a unique violation carries the
//   violated constraint's name, in capitals, in detail().
// - Bulk writes: CopyInto streams rows with COPY ... FROM STDIN (text form),
//   one statement for any number of rows.
// - Column names come back in capitals (PostgreSQL folds unquoted names to
//   lower case; every name of the schema is written in capitals).
// - A connection URL may carry a password: no message repeats it. libpq also
//   reads it from PGPASSWORD or a password file (PGPASSFILE, ~/.pgpass, or
//   passfile= in the URL).
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "corvana/db/Connection.h"

namespace corvana::postgresql {

struct ConnectOptions {
    // Several threads take turns on the connection (each call to the server
    // is serialized); otherwise it belongs to one thread at a time.
    bool shared = false;
    // How long a statement waits for a lock held by another session,
    // the write lock included.
    int lockTimeoutMs = 5000;
    // How the session shows in pg_stat_activity.
    std::string applicationName = "evt07800";
};

// A session with the database the URL names, in UTF-8. Raises DatabaseError
// "Não foi possível abrir o banco de dados '<url without password>':
// <reason>" when it cannot be opened or the database is not UTF-8.
std::unique_ptr<db::Connection> Connect(const std::string& url, const ConnectOptions& options);

// The URL of the same database with its sessions working in `schema` (a
// plain name): tests and benchmarks each take a schema of their own.
std::string InSchema(const std::string& url, const std::string& schema);

// The "?" / "?N" / ":NAME" parameters of SQL text rewritten as "$N", outside
// quotes and comments; `names` receives, for each $N from 1, the name as
// written (":NAME") or "" for a positional one.
std::string RewriteParameters(std::string_view sql, std::vector<std::string>& names);

}  // namespace corvana::postgresql
