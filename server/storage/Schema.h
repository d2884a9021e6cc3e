#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvana::db {
class Connection;
}

namespace evt::server::storage {

using corvana::db::Connection;

// The schema version this server creates and works with.
int CurrentSchemaVersion();

// A line for the server's log (without the program's name).
using LogLine = std::function<void(const std::string&)>;

// Brings the database's schema to `target` (CurrentSchemaVersion() when 0),
// applying the missing migrations in order inside one write transaction (a
// database is never left half-migrated). A database recorded with a newer
// version than this server knows is refused with corvana::Error; location
// only names the database in messages. What a migration found and kept for
// the user to look at (two guests whose names became one) goes to `log`, a
// line each, once the migration is committed.
void MigrateSchema(Connection& connection, const std::string& location, const LogLine& log,
                   int target = 0);

// The key columns of a guest (LISTACONVOREV), filled by the server next to
// the values they come from. The unique indexes over (list, key) enforce the
// list's rules; a NULL key is "not given" and never collides.

// Every key takes a text as a person sees it: a non-breaking space as a
// blank and a zero-width character as nothing (corvana::plainBlanks), a
// letter and its accent typed as a separate mark as the precomposed letter.

// NMCHAVE: the name without edge blanks, with case and accents folded
// (FoldName): "  José " , "JOSÉ", "Jose" and "Jose" with a zero-width space
// inside have the same key; blanks inside are kept as they are ("Ana Lima"
// and "Ana  Lima" are two names, "Ana Lima" with a non-breaking space is
// the first).
//
// Lists kept from before accents were folded may hold two names that now
// fold to one: the schema migration kept both, the later guest's key marked
// with its list number ("jose#GEMEO-00002"). No name folds to a marked key
// (a fold never holds an ASCII capital): the first of the two keeps the
// name's key, and the later one is saved again only once one of them is
// renamed. Version 3 marked the same way the twins that look-alike blanks
// and invisible characters made, in every key column.
std::string GuestNameKey(std::string_view name);

// The key a migration gave the later of two guests of a list whose values
// came to one key: `key` marked with the guest's list number.
std::string TwinKey(const std::string& key, const std::string& number);

// RGCHAVE and INSCCHAVE: the letters and digits (of any script) of the
// value in NFC, case folded, so that a document typed with or without its
// mask ("12.345.678-9", "123456789", "12 345 678–9") has one key. Empty, "*" and values without any
// letter or digit are "not given" (nullopt).
std::optional<std::string> GuestDocumentKey(std::string_view value);

// ORDEMCHAVE: the contract order without edge blanks; a number without its
// leading zeros ("01" and "1" are the same order). Empty and "*" are "not
// given" (nullopt).
std::optional<std::string> GuestOrderKey(std::string_view value);

}  // namespace evt::server::storage
