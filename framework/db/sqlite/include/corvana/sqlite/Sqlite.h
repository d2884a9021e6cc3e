#pragma once
// The SQLite backend of the database layer (corvana/db/Connection.h): a
// session with an SQLite file, for the host's connection and the application
// server's storage alike. No Qt.
#include <functional>
#include <memory>
#include <string>

#include "corvana/db/Connection.h"

namespace corvana::sqlite {

// How Connect opens a file.
struct ConnectOptions {
    // Create the file when it is missing (the server); otherwise a missing
    // file is an error (the host, which only reads what the server made).
    bool create = false;
    // Several threads take turns on the connection (SQLite serializes them);
    // otherwise it belongs to one thread at a time.
    bool shared = false;
    // How long a statement waits for another connection's write lock.
    int busyTimeoutMs = 5000;
    // Called on the committing thread after each commit of a file in WAL
    // mode, with the pages the log now holds. When set, the connection no
    // longer copies the log into the file at its own commits (SQLite's
    // automatic checkpoint): the caller has that done elsewhere, so that a
    // commit waits for the log's sync only. It must not use the connection.
    std::function<void(int logPages)> afterCommit;
};

// A session with the SQLite file at `path`, with extended result codes and
// the busy timeout set. Raises DatabaseError "Não foi possível abrir o banco
// de dados '<path>': <reason>" when it cannot be opened.
std::unique_ptr<db::Connection> Connect(const std::string& path, const ConnectOptions& options);

}  // namespace corvana::sqlite
