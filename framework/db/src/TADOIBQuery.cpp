#include "corvana/db/TADOIBQuery.h"

#include <strings.h>

#include <cctype>

#include "corvana/data/Error.h"
#include "corvana/db/Connection.h"
#include "corvana/db/DBGeral.h"

namespace corvana::db {

namespace {

// The field type of a result column by its declared type, as SQLite's
// affinity rules read it.
FieldType typeOf(std::string declared) {
    for (char& ch : declared) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    auto has = [&](const char* part) { return declared.find(part) != std::string::npos; };
    if (has("INT")) return FieldType::Integer;
    if (has("REAL") || has("FLOA") || has("DOUB") || has("NUM")) return FieldType::Float;
    return FieldType::String;
}

void bind(Statement& st, int index, const Variant& v) {
    if (v.isNull())
        st.BindNull(index);
    else if (v.kind() == Variant::Kind::Int)
        st.BindInt(index, v.toInt());
    else if (v.kind() == Variant::Kind::Float)
        st.BindDouble(index, v.toDouble());
    else
        st.BindText(index, v.toString());
}

Variant cell(const Statement& st, int column, FieldType type) {
    if (st.IsNull(column)) return Variant();
    switch (type) {
        case FieldType::Integer:
            return Variant(st.Int(column));
        case FieldType::Float:
            return Variant(st.Double(column));
        case FieldType::Boolean:
            return Variant(st.Int(column) != 0);
        case FieldType::DateTime: {
            auto d = DateTime::fromIso(st.Text(column));
            return d ? Variant(*d) : Variant();
        }
        case FieldType::String:
            break;
    }
    return Variant(st.Text(column));
}

}  // namespace

void TADOIBQuery::Open() {
    auto st = DBGeral::Instance().Handle().Prepare(sql_);
    for (int i = 1; i <= st->ParameterCount(); ++i) {
        const std::string written = st->ParameterName(i);
        const std::string name = written.empty() ? written : written.substr(1);
        auto it = params_.find(name);
        if (it == params_.end()) throw Error("Parâmetro '" + name + "' da consulta não informado.");
        bind(*st, i, it->second.Value());
    }

    // Columns of the packet: the declared fields where there are any,
    // otherwise one per result column.
    const int columns = st->ColumnCount();
    std::vector<FieldDef> defs;
    std::vector<int> sourceColumn;
    if (dataSet_.FieldCount() > 0) {
        for (Field* f : dataSet_.Fields()) {
            int found = -1;
            for (int c = 0; c < columns; ++c)
                if (strcasecmp(st->ColumnName(c).c_str(), f->Name().c_str()) == 0) found = c;
            if (found < 0) throw Error("A consulta não devolve o campo '" + f->Name() + "'.");
            defs.push_back(f->Def());
            sourceColumn.push_back(found);
        }
    } else {
        for (int c = 0; c < columns; ++c) {
            const FieldType ft = typeOf(st->ColumnType(c));
            defs.push_back({st->ColumnName(c), ft, ft == FieldType::String ? 255 : 0});
            sourceColumn.push_back(c);
        }
    }

    DataPacket packet(defs);
    while (st->Step()) {
        Row row;
        row.reserve(defs.size());
        for (std::size_t i = 0; i < defs.size(); ++i)
            row.push_back(cell(*st, sourceColumn[i], defs[i].type));
        packet.rows().push_back(std::move(row));
    }
    dataSet_.SetData(std::move(packet));
}

}  // namespace corvana::db
