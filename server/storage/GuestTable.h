#pragma once
// The guest table (LISTACONVOREV) as the guest record describes it: which
// fields of the record are its columns and how a guest is inserted. The
// server's writes and the demonstration data insert guests through it, so a
// field added to the record is written by both without naming it here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "guestrecord/GuestRecord.h"
#include "storage/Database.h"

namespace evt::server::storage {

// A guest's place in the order of the table's primary key: its list, then
// its number.
inline constexpr std::array<std::size_t, 4> kGuestPlace = {
    guestrecord::IndexOf("CDFILIAL"), guestrecord::IndexOf("NRORCAEVENTO"),
    guestrecord::IndexOf("NRSEQORCAEVE"), guestrecord::IndexOf("NRLISTACONVOREV")};
static_assert(kGuestPlace.size() == guestrecord::CountOf(guestrecord::Origin::Place));

// What is stored with a guest besides its place, in packet order: texts and
// the one number, the quantity.
inline constexpr auto kGuestValues = guestrecord::IndicesOf<guestrecord::Origin::Guest>();

// The key columns the server derives from a guest's values (Schema.h), in
// the order GuestInsertSql has them.
inline constexpr std::array<const char*, 4> kGuestKeyColumns = {"NMCHAVE", "RGCHAVE", "INSCCHAVE",
                                                                "ORDEMCHAVE"};

// A guest's stored values: the texts by their index in the guest record
// (those of the client are not stored), and the quantity.
struct GuestValues {
    std::array<std::optional<std::string>, guestrecord::kFieldCount> texts;
    std::optional<double> quantity;
};

// The column of the list version that last wrote a guest
// (storage/ListVersion.h).
inline constexpr const char* kGuestVersionColumn = "NRVERSAOCONV";

// The columns a guest is written to: the place, the values, the keys and
// the version, in that order.
const std::vector<std::string>& GuestInsertColumns();

// INSERT INTO LISTACONVOREV: GuestInsertColumns, each a parameter.
const std::string& GuestInsertSql();

// Binds a guest to GuestInsertSql's parameters: its place (branch, budget,
// sequence, number), its values, the keys derived from them and the list
// version the write stamps it with.
void BindGuestInsert(Statement& statement, const std::array<std::string, 4>& place,
                     const GuestValues& guest, std::int64_t version);

}  // namespace evt::server::storage
