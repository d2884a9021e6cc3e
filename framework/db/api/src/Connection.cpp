#include "corvana/db/Connection.h"

#include <cassert>

namespace corvana::db {

// ---------------------------------------------------------------------------
// The statement cache and transactions, the same for every backend.

StatementHandle::~StatementHandle() {
    if (!statement_) return;
    try {
        statement_->Reset();
    } catch (...) {
        // A reset only repeats the error of the last run, already raised.
    }
    // Returned once: a second return would hand the statement to two users.
    assert(statement_->leased_);
    statement_->leased_ = false;
}

StatementHandle Connection::Prepare(std::string_view sql) {
    auto it = cache_.find(std::string(sql));
    if (it == cache_.end()) it = cache_.emplace(std::string(sql), Compile(sql)).first;
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

std::unique_ptr<CopyIn> Connection::CopyInto(std::string_view table,
                                             const std::vector<std::string>&) {
    throw corvana::Error("Cópia em bloco para a tabela " + std::string(table) +
                         " não disponível neste banco de dados.");
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

}  // namespace corvana::db
