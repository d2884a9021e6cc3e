#pragma once
// Where a database is, as the settings, the command line and the tests write
// it. The host's connection, the application server, its copy between
// databases and its command line read an address through ParseAddress only.
#include <string>
#include <string_view>

#include "corvana/db/Connection.h"

namespace corvana::db {

struct DatabaseAddress {
    Backend backend = Backend::Sqlite;
    // SQLite: the file's path as written (possibly empty or relative);
    // PostgreSQL: the whole URL, as libpq takes it.
    std::string location;
};

// Reads an address:
//   "/path/eventos.db", "eventos.db"                an SQLite file;
//   "sqlite:///path/eventos.db", "sqlite:PATH"      the same, with its scheme;
//   "postgresql://user@host:port/db?...", "postgres://..."
//                                                   a PostgreSQL database.
// Any other "scheme://" is refused with corvana::Error "Endereço de banco de
// dados não reconhecido: '<address without password>'." Nothing is opened
// and nothing is checked on disk.
DatabaseAddress ParseAddress(std::string_view address);

// An address as messages and logs may show it: the password a URL carries
// (user:password@host, or a password=... parameter) replaced by "***". A
// file path is returned as it is.
std::string ShownLocation(std::string_view address);

}  // namespace corvana::db
