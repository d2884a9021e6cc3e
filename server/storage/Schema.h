#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace evt::server::storage {

class Connection;

// The schema version this server creates and works with.
int CurrentSchemaVersion();

// Brings the database's schema to CurrentSchemaVersion(), applying the
// missing migrations in order inside one write transaction (a database is
// never left half-migrated). A database recorded with a newer version than
// this server knows is refused with corvana::Error; location only names the
// database in messages.
void MigrateSchema(Connection& connection, const std::string& location);

// The key columns of a guest (LISTACONVOREV), filled by the server next to
// the values they come from. The unique indexes over (list, key) enforce the
// list's rules; a NULL key is "not given" and never collides.

// NMCHAVE: the name without edge blanks, case folded ("  José " and "JOSÉ"
// have the same key).
std::string GuestNameKey(std::string_view name);

// RGCHAVE and INSCCHAVE: the letters and digits of the value, case folded,
// so that a document typed with or without its mask ("12.345.678-9",
// "123456789") has one key. Empty, "*" and values without any letter or
// digit are "not given" (nullopt).
std::optional<std::string> GuestDocumentKey(std::string_view value);

// ORDEMCHAVE: the contract order without edge blanks; a number without its
// leading zeros ("01" and "1" are the same order). Empty and "*" are "not
// given" (nullopt).
std::optional<std::string> GuestOrderKey(std::string_view value);

}  // namespace evt::server::storage
