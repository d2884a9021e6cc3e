#pragma once
#include <string>
#include <vector>

namespace corvana::db {
class Connection;
}

namespace evt::server::storage {

// What every guest list of the database must hold after any unit of work of
// the server, whatever went in: each guest of a list that exists, with a name
// and a list number of five digits from 00001 to `lastNumber`, no number twice
// in a list, and each key column (Schema.h) the key of the value beside it, or
// that key marked as a twin with the guest's own number (kept by a
// migration), no key twice in a list.
//
// Numbers may leave gaps: a deleted guest's number is not given to the
// others, and a new guest takes the number after the list's highest.
//
// Answers one line per broken rule, naming the list and the guest; empty when
// the lists are sound. Reads every guest once.
std::vector<std::string> CheckGuestLists(corvana::db::Connection& connection, int lastNumber);

}  // namespace evt::server::storage
