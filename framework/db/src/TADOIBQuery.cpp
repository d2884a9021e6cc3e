#include "corvana/db/TADOIBQuery.h"

#include <sqlite3.h>
#include <strings.h>

#include <cctype>

#include "corvana/data/Error.h"
#include "corvana/db/DBGeral.h"

namespace corvana::db {

namespace {

// Finalizes the statement whatever happens while the rows are read.
struct Statement {
    sqlite3_stmt* st = nullptr;
    ~Statement() { sqlite3_finalize(st); }
};

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    throw Error("Erro ao consultar o banco de dados (" + what + "): " + sqlite3_errmsg(db));
}

}  // namespace

void TADOIBQuery::Open() {
    sqlite3* db = DBGeral::Instance().Handle();
    Statement s;
    if (sqlite3_prepare_v2(db, sql_.c_str(), -1, &s.st, nullptr) != SQLITE_OK) fail(db, "preparo");
    for (int i = 1; i <= sqlite3_bind_parameter_count(s.st); ++i) {
        const char* raw = sqlite3_bind_parameter_name(s.st, i);
        std::string name = raw ? raw + 1 : "";
        auto it = params_.find(name);
        if (it == params_.end()) throw Error("Parâmetro '" + name + "' da consulta não informado.");
        const Variant& v = it->second.Value();
        int rc = SQLITE_OK;
        if (v.isNull()) {
            rc = sqlite3_bind_null(s.st, i);
        } else if (v.kind() == Variant::Kind::Int) {
            rc = sqlite3_bind_int64(s.st, i, v.toInt());
        } else if (v.kind() == Variant::Kind::Float) {
            rc = sqlite3_bind_double(s.st, i, v.toDouble());
        } else {
            std::string text = v.toString();
            rc = sqlite3_bind_text(s.st, i, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        }
        if (rc != SQLITE_OK) fail(db, "parâmetro " + name);
    }

    // Columns of the packet: the declared fields where there are any,
    // otherwise one per result column.
    int columns = sqlite3_column_count(s.st);
    std::vector<FieldDef> defs;
    std::vector<int> sourceColumn;
    if (dataSet_.FieldCount() > 0) {
        for (Field* f : dataSet_.Fields()) {
            int found = -1;
            for (int c = 0; c < columns; ++c)
                if (strcasecmp(sqlite3_column_name(s.st, c), f->Name().c_str()) == 0) found = c;
            if (found < 0) throw Error("A consulta não devolve o campo '" + f->Name() + "'.");
            defs.push_back(f->Def());
            sourceColumn.push_back(found);
        }
    } else {
        for (int c = 0; c < columns; ++c) {
            const char* decl = sqlite3_column_decltype(s.st, c);
            std::string type = decl ? decl : "";
            for (char& ch : type) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            FieldType ft = FieldType::String;
            if (type.find("INT") != std::string::npos) ft = FieldType::Integer;
            else if (type.find("REAL") != std::string::npos || type.find("FLOA") != std::string::npos ||
                     type.find("DOUB") != std::string::npos || type.find("NUM") != std::string::npos)
                ft = FieldType::Float;
            defs.push_back({sqlite3_column_name(s.st, c), ft, ft == FieldType::String ? 255 : 0});
            sourceColumn.push_back(c);
        }
    }

    DataPacket packet(defs);
    int rc;
    while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
        Row row;
        row.reserve(defs.size());
        for (std::size_t i = 0; i < defs.size(); ++i) {
            int c = sourceColumn[i];
            if (sqlite3_column_type(s.st, c) == SQLITE_NULL) {
                row.emplace_back();
                continue;
            }
            switch (defs[i].type) {
                case FieldType::Integer: row.emplace_back(static_cast<std::int64_t>(sqlite3_column_int64(s.st, c))); break;
                case FieldType::Float: row.emplace_back(sqlite3_column_double(s.st, c)); break;
                case FieldType::Boolean: row.emplace_back(sqlite3_column_int(s.st, c) != 0); break;
                case FieldType::DateTime: {
                    auto d = DateTime::fromIso(reinterpret_cast<const char*>(sqlite3_column_text(s.st, c)));
                    row.emplace_back(d ? Variant(*d) : Variant());
                    break;
                }
                case FieldType::String: {
                    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s.st, c));
                    row.emplace_back(std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(s.st, c))));
                    break;
                }
            }
        }
        packet.rows().push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) fail(db, "leitura");
    dataSet_.SetData(std::move(packet));
}

}  // namespace corvana::db
