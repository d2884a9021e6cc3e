#pragma once
// The versions of a guest list.
//
// Every list has its own version (LISTACONVVERSAO): every write
// to its guests raises it in the same transaction, under the list's lock,
// stamps the guests it writes with it (LISTACONVOREV.NRVERSAOCONV) and
// records the numbers it removes (LISTACONVREMOVIDO). A screen that holds
// the list as of version V then asks for the guests stamped after V and the
// numbers removed after V (GetConvOrceve with a version, docs/protocol.md).
//
// A list with reception at the door also has the reception's version
// (RECEPCAO.NRVERSAO, docs/reception.md), which the stations follow: raised
// by the same writes, with meanings of its own (RaiseListVersion).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// The removed numbers are kept for this many versions of a list: a screen
// that holds an older version takes the whole list again.
inline constexpr std::int64_t kRemovalsKept = 1000;

// Raises the guest version of the list inside the caller's write
// transaction, which holds the list's lock, and answers the new one (the
// version the write stamps its guests with); nullopt when the list does not
// exist. Now and then it also drops the removed numbers older than
// kRemovalsKept versions.
std::optional<std::int64_t> RaiseGuestVersion(Connection& connection, const std::string& branch,
                                              const std::string& budget,
                                              const std::string& sequence);

// Records that the guest `number` left the list at `version` (a guest saved
// again under its number is written anew, and is no removal).
void RecordRemovedGuest(Connection& connection, const std::string& branch,
                        const std::string& budget, const std::string& sequence,
                        const std::string& number, std::int64_t version);

// What a list holds of its versions, read inside the caller's transaction:
// its version (0 for a list never written to, or that does not exist) and whether the changes
// since `since` can be told (since from 0 up to the version, and not older
// than the removed numbers kept).
struct GuestVersionState {
    std::int64_t version = 0;
    bool changesKnown = false;
};
GuestVersionState ReadGuestVersion(Connection& connection, const std::string& branch,
                                   const std::string& budget, const std::string& sequence,
                                   std::optional<std::int64_t> since);

// The numbers removed from the list after `since` and not on it again, in
// order.
std::vector<std::string> RemovedGuestsSince(Connection& connection, const std::string& branch,
                                            const std::string& budget, const std::string& sequence,
                                            std::int64_t since);

}  // namespace evt::server::storage
