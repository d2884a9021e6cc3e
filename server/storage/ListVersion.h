#pragma once
// The version of a guest list with reception at the door (RECEPCAO.NRVERSAO,
// docs/reception.md): every write to the list raises it in the same
// transaction, so that a station asks for "everything since version V".
#include <cstdint>
#include <optional>
#include <string>

#include "storage/Database.h"

namespace evt::server::storage {

// Raises the version of the list (branch, budget, sequence) inside the
// caller's write transaction and answers the new one; nullopt when the list
// never had reception (no row: no station holds a copy of it). `whole`: the
// write's changes are not known guest by guest (a desktop save or import),
// so a station that asks for the changes since an earlier version is sent
// the whole list.
std::optional<std::int64_t> RaiseListVersion(Connection& connection, const std::string& branch,
                                             const std::string& budget, const std::string& sequence,
                                             bool whole);

}  // namespace evt::server::storage
