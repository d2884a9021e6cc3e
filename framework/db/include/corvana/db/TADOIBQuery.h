#pragma once
#include <map>
#include <string>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"

namespace corvana::db {

// A query parameter, set as text (`ParamByName("P_CDFILIAL").SetAsString`).
class TParam {
public:
    void SetAsString(std::string value) { value_ = Variant(std::move(value)); }
    void SetValue(Variant value) { value_ = std::move(value); }
    const Variant& Value() const { return value_; }

private:
    Variant value_;
};

// A read-only query through the host's shared connection. The SQL names its
// parameters as :NAME. Open runs it and loads the rows into the query's own
// dataset (DataSet()), which grids and lookup buttons bind to through
// Source().
//
// Fields declared on DataSet() before the first Open are the query's
// persistent fields: each must match a column of the result by name, and a
// text longer than a field's size is cut to it. Without declared fields the
// dataset takes one field per column (texts of size 255, integers, floats).
class TADOIBQuery {
public:
    TADOIBQuery() : source_(&dataSet_) {}
    explicit TADOIBQuery(std::string sql) : TADOIBQuery() { SetSQL(std::move(sql)); }

    void SetSQL(std::string sql) { sql_ = std::move(sql); }
    const std::string& SQL() const { return sql_; }

    TParam& ParamByName(const std::string& name) { return params_[name]; }

    // Runs the query on dtmDBGeral. Raises corvana::Error (Portuguese text
    // with the database's reason) when it fails; the dataset then stays
    // closed.
    void Open();
    void Close() { dataSet_.Close(); }
    bool Active() const { return dataSet_.Active(); }
    bool IsEmpty() const { return dataSet_.IsEmpty(); }
    Field& FieldByName(std::string_view name) const { return dataSet_.FieldByName(name); }

    ClientDataSet& DataSet() { return dataSet_; }
    DataSource& Source() { return source_; }

private:
    std::string sql_;
    std::map<std::string, TParam> params_;
    ClientDataSet dataSet_;
    DataSource source_;
};

}  // namespace corvana::db
