#include "storage/CopyDatabase.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "corvana/data/Error.h"
#include "corvana/db/DatabaseAddress.h"

namespace evt::server::storage {

namespace {

namespace fs = std::filesystem;

// Rows per INSERT: one statement, one round trip to a server, carries many
// rows. A statement stays well below the parameters a backend takes (32766
// on SQLite, 65535 on PostgreSQL).
constexpr int kRowsPerInsert = 200;
constexpr int kMaxParameters = 30000;

constexpr const char* kUndone = " A cópia foi desfeita; nada foi gravado no destino.";

// A column's value as read from the source, until its batch is written.
struct Cell {
    enum class Kind { Null, Text, Real } kind = Kind::Null;
    std::string text;
    double real = 0;
};

// A column declared with a floating-point type (SQLite's affinity rules; the
// PostgreSQL layer names its types the same way). Its values travel as
// doubles: SQLite writes a REAL as text with 15 digits only.
bool isRealType(std::string type) {
    for (char& c : type)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (type.find("INT") != std::string::npos) return false;
    return type.find("REAL") != std::string::npos || type.find("FLOA") != std::string::npos ||
           type.find("DOUB") != std::string::npos;
}

bool isNumber(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The names of a table's columns go into the INSERT as written: only plain
// names are taken from a source file.
bool isPlainName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
}

void readCell(const Statement& row, int column, bool real, Cell& cell) {
    if (row.IsNull(column)) {
        cell.kind = Cell::Kind::Null;
        return;
    }
    const std::string_view text = row.TextView(column);
    // A text kept in a REAL column (SQLite allows it) is copied as a text.
    if (real && isNumber(text)) {
        cell.kind = Cell::Kind::Real;
        cell.real = row.Double(column);
        return;
    }
    cell.kind = Cell::Kind::Text;
    cell.text.assign(text);
}

void bindCell(Statement& insert, int index, const Cell& cell) {
    switch (cell.kind) {
        case Cell::Kind::Null:
            insert.BindNull(index);
            break;
        case Cell::Kind::Text:
            insert.BindText(index, cell.text);
            break;
        case Cell::Kind::Real:
            insert.BindDouble(index, cell.real);
            break;
    }
}

std::string insertText(const std::string& table, const std::vector<std::string>& columns,
                       int rows) {
    std::string sql = "INSERT INTO " + table + " (";
    std::string values = "(";
    for (std::size_t c = 0; c < columns.size(); ++c) {
        sql += (c ? ", " : "") + columns[c];
        values += c ? ", ?" : "?";
    }
    values += ")";
    sql += ") VALUES ";
    for (int r = 0; r < rows; ++r) sql += (r ? ", " : "") + values;
    return sql;
}

std::int64_t countRows(Connection& connection, const std::string& table) {
    auto st = connection.Prepare("SELECT COUNT(*) FROM " + table);
    return st->Step() ? st->Int(0) : 0;
}

bool hasRows(Connection& connection, const std::string& table) {
    auto st = connection.Prepare("SELECT 1 FROM " + table + " LIMIT 1");
    return st->Step();
}

// Every row of `table` from the source's snapshot into the target's open
// transaction; answers how many.
std::int64_t copyTable(Connection& source, Connection& target, const std::string& table) {
    auto select = source.Prepare("SELECT * FROM " + table);
    const int width = select->ColumnCount();
    std::vector<std::string> columns;
    std::vector<bool> real;
    for (int c = 0; c < width; ++c) {
        columns.push_back(select->ColumnName(c));
        if (!isPlainName(columns.back()))
            throw corvana::Error("a coluna '" + columns.back() + "' tem um nome inválido.");
        real.push_back(isRealType(select->ColumnType(c)));
    }
    if (width == 0) return 0;
    const int perInsert = std::max(1, std::min(kRowsPerInsert, kMaxParameters / width));
    const std::string fullInsert = insertText(table, columns, perInsert);
    std::vector<Cell> cells(static_cast<std::size_t>(perInsert * width));
    int pending = 0;
    std::int64_t copied = 0;
    auto flush = [&] {
        auto insert =
            target.Prepare(pending == perInsert ? fullInsert : insertText(table, columns, pending));
        for (int i = 0; i < pending * width; ++i)
            bindCell(*insert, i + 1, cells[static_cast<std::size_t>(i)]);
        insert->Execute();
        copied += pending;
        pending = 0;
    };
    while (select->Step()) {
        for (int c = 0; c < width; ++c)
            readCell(*select, c, real[static_cast<std::size_t>(c)],
                     cells[static_cast<std::size_t>(pending * width + c)]);
        if (++pending == perInsert) flush();
    }
    if (pending > 0) flush();
    return copied;
}

// A message that goes on after `text`: its sentence ends first.
std::string sentence(std::string text) {
    if (!text.empty() && text.back() != '.') text += '.';
    return text;
}

std::string rowsText(std::int64_t rows) {
    return std::to_string(rows) + (rows == 1 ? " linha" : " linhas");
}

}  // namespace

const std::vector<std::string>& CopiedTables() {
    static const std::vector<std::string> tables = {
        "FILIAL",        "CLIENTE",       "ENDECLIE",        "ORCAEVENTO",
        "ORCAEVENTOSEQ", "LISTACONVOREV", "LISTACONVVERSAO", "LISTACONVREMOVIDO",
        "RECEPCAO",      "RECEPESTACAO",  "RECEPENTRADA"};
    return tables;
}

std::vector<CopiedTable> CopyDatabase(Database& from, Database& to, const LogLine& log) {
    std::error_code ec;
    if (&from == &to || (from.Backend() == Backend::Sqlite && to.Backend() == Backend::Sqlite &&
                         fs::equivalent(from.Location(), to.Location(), ec))) {
        throw corvana::Error("A origem e o destino da cópia são o mesmo banco ('" + to.Location() +
                             "'). Nada foi copiado.");
    }
    auto source = from.Acquire();
    auto target = to.Acquire();
    const int sourceVersion = source->SchemaVersion();
    const int targetVersion = target->SchemaVersion();
    if (sourceVersion != targetVersion) {
        throw corvana::Error("A origem '" + from.Location() + "' está na versão " +
                             std::to_string(sourceVersion) + " do esquema e o destino '" +
                             to.Location() + "' na versão " + std::to_string(targetVersion) +
                             "; a cópia exige a mesma versão. Nada foi copiado.");
    }
    // One snapshot of the source: the rows and their counts agree even if
    // a server still writes to it.
    Transaction snapshot(*source, Connection::TransactionMode::Read);
    Transaction tx(*target, Connection::TransactionMode::Write);
    for (const std::string& table : CopiedTables()) {
        if (hasRows(*target, table)) {
            throw corvana::Error("O banco de destino '" + to.Location() +
                                 "' já tem dados (tabela " + table +
                                 "); a cópia só é feita para um banco vazio. Nada foi copiado.");
        }
    }
    std::vector<CopiedTable> copied;
    for (const std::string& table : CopiedTables()) {
        try {
            copied.push_back({table, copyTable(*source, *target, table)});
        } catch (const corvana::Error& e) {
            throw corvana::Error("Não foi possível copiar a tabela " + table + ": " +
                                 sentence(e.what()) + kUndone);
        }
    }
    for (const CopiedTable& t : copied) {
        const std::int64_t inSource = countRows(*source, t.table);
        const std::int64_t inTarget = countRows(*target, t.table);
        if (inSource != t.rows || inTarget != t.rows) {
            throw corvana::Error("A tabela " + t.table + " tem " + rowsText(inSource) +
                                 " na origem e " + rowsText(inTarget) + " no destino (" +
                                 std::to_string(t.rows) + " copiadas)." + kUndone);
        }
    }
    try {
        tx.Commit();
    } catch (const corvana::Error& e) {
        throw corvana::Error("Não foi possível confirmar a cópia: " + sentence(e.what()) + kUndone);
    }
    for (const CopiedTable& t : copied)
        log(t.table + ": " + rowsText(t.rows) + (t.rows == 1 ? " copiada" : " copiadas"));
    return copied;
}

std::shared_ptr<Database> OpenCopySource(const std::string& location,
                                         const Database::OpenOptions& options) {
    // An address of another kind, or one not understood, names no file.
    corvana::db::DatabaseAddress address{Backend::Postgresql, {}};
    try {
        address = corvana::db::ParseAddress(location);
    } catch (const corvana::Error&) {
    }
    if (address.backend != Backend::Sqlite)
        throw corvana::Error("A origem da cópia deve ser um arquivo SQLite (sqlite:CAMINHO); '" +
                             corvana::db::ShownLocation(location) + "' não é.");
    const std::string& path = address.location;
    if (path.empty()) throw corvana::Error("Informe o arquivo SQLite de origem da cópia.");
    // Database::Open would create a missing file: a mistyped path must not
    // turn into an empty source.
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found)
        throw corvana::Error("O arquivo SQLite de origem '" + path + "' não existe.");
    if (ec)
        throw corvana::Error("Não foi possível ler o arquivo SQLite de origem '" + path +
                             "': " + ec.message());
    if (!fs::is_regular_file(status))
        throw corvana::Error("A origem '" + path + "' não é um arquivo SQLite.");
    return Database::Open(path, options);
}

}  // namespace evt::server::storage
