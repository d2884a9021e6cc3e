#pragma once
// The lock of one guest list. Whatever writes to a list (its guests, and
// anything kept per list) works in a write transaction that locks by key
// (Connection::TransactionMode::WriteByKey) and locks the lists it writes to
// before it reads or writes any of them:
//
//   Transaction tx(*connection, Connection::TransactionMode::WriteByKey);
//   LockList(*connection, branch, budget, sequence);
//   ... read the list's numbers and keys, write ...
//   tx.Commit();
//
// Writers of one list then run one at a time, whichever server they came
// through, so what a writer reads of the list (its last number, its keys) is
// still so when it commits; writers of other lists go on at the same time.
// On SQLite the file has one writer and the lock costs nothing. What writes
// outside one list (the demonstration data, migrations, the copy of a
// database, the branch, client and budget tables) keeps a Write transaction,
// which waits for every list writer and they for it.
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "storage/Database.h"

namespace evt::server::storage {

// A list: branch, budget, sequence.
using ListLockId = std::tuple<std::string, std::string, std::string>;

// The text that names a list's lock (Connection::LockKeys).
std::string ListLockKey(std::string_view branch, std::string_view budget,
                        std::string_view sequence);

// Waits for the list's lock and holds it until the transaction ends; a wait
// longer than the lock timeout is DatabaseError::Kind::Busy ("O banco de
// dados está ocupado...").
void LockList(Connection& connection, std::string_view branch, std::string_view budget,
              std::string_view sequence);

// The lists one transaction writes to, locked at once: in one order, so that
// two writers of the same lists never wait on each other in a circle.
void LockLists(Connection& connection, const std::vector<ListLockId>& lists);

}  // namespace evt::server::storage
