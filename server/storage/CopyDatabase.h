#pragma once
// Moving a site's data from one database to another (evt07800-server
// --migrate-from): an SQLite file into PostgreSQL once the site grows beyond
// one machine, or into another file.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "storage/Database.h"
#include "storage/Schema.h"

namespace evt::server::storage {

// The tables of the server's data in the order they are copied: every
// foreign key points at a table before its own.
const std::vector<std::string>& CopiedTables();

struct CopiedTable {
    std::string table;
    std::int64_t rows = 0;
};

// Copies every row of CopiedTables() from `from` into `to`, all or nothing:
// - both databases must be at the same schema version (Database::Open brings
//   each to the current one), and `to` must hold no row in any of the
//   tables: otherwise corvana::Error, naming the first table that holds one,
//   and nothing is written;
// - every column is copied as stored, the guests' key columns (NMCHAVE,
//   RGCHAVE, INSCCHAVE, ORDEMCHAVE) included: no key is computed again, so a
//   twin kept by a migration stays one. The columns are those of the source's
//   table (its SELECT *); a number is carried exactly, a text byte for byte;
// - the rows are read from one snapshot of `from` and written in one write
//   transaction of `to`, several rows per INSERT; before the commit each
//   table is counted on both sides. A count that differs, a value the target
//   refuses or a lost connection rolls everything back and raises
//   corvana::Error naming the table; `to` is then as it was.
// Once committed, `log` receives one line per table ("FILIAL: 3 linhas
// copiadas"). Answers the rows copied per table, in copy order.
std::vector<CopiedTable> CopyDatabase(Database& from, Database& to, const LogLine& log);

// The SQLite file `location` names ("sqlite:PATH", "sqlite:///PATH" or the
// path itself), opened with Database::Open, which brings it to the current
// schema version. A file that does not exist is refused, never created;
// a server URL (postgresql://) is refused too. Raises corvana::Error with a
// Portuguese text.
std::shared_ptr<Database> OpenCopySource(const std::string& location,
                                         const Database::OpenOptions& options);

}  // namespace evt::server::storage
