#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "corvana/data/Variant.h"

namespace corvana {

enum class FieldType { String, Integer, Float, Boolean, DateTime };

const char* fieldTypeName(FieldType t);

// One column of a packet: what the receiving dataset's persistent field must
// match (by name, case-insensitively, and by type).
struct FieldDef {
    std::string name;
    FieldType type = FieldType::String;
    int size = 0;  // characters, for strings; 0 otherwise
    bool operator==(const FieldDef&) const = default;
};

using Row = std::vector<Variant>;

// One entry of a change packet (delta). Inserted rows carry their values;
// modified rows their values and the original values as last merged; deleted
// rows their original values.
struct DeltaRow {
    enum class Status { Inserted, Modified, Deleted };
    Status status = Status::Inserted;
    Row values;    // empty for Deleted
    Row original;  // empty for Inserted
    bool operator==(const DeltaRow&) const = default;
};

const char* deltaStatusName(DeltaRow::Status s);

// The self-describing data packet in which the application server delivers a
// dataset and accepts a change log. A packet is either a data packet (rows)
// or a delta (changes). The JSON form is versioned; see docs/data-packet.md.
//
// Every cell of a row holds null or a value of its column's type: a string
// for String, an integer for Integer, a float (or integer) for Float, a
// boolean for Boolean and a date for DateTime. Packets that break this are
// refused by fromJson and by validate() with a corvana::Error that names the
// row and the column.
class DataPacket {
public:
    static constexpr int kFormatVersion = 1;
    enum class Kind { Data, Delta };

    DataPacket() = default;
    explicit DataPacket(std::vector<FieldDef> fields, Kind kind = Kind::Data)
        : kind_(kind), fields_(std::move(fields)) {}

    Kind kind() const { return kind_; }
    void setKind(Kind k) { kind_ = k; }
    bool isDelta() const { return kind_ == Kind::Delta; }

    const std::vector<FieldDef>& fields() const { return fields_; }
    // Adds a column; raises corvana::Error when rows are already present or
    // the name is taken.
    void addField(FieldDef def);
    // Index of a column by name (case-insensitive), or -1.
    int fieldIndex(std::string_view name) const;
    // As fieldIndex, raising corvana::Error when the column is missing.
    int requireField(std::string_view name) const;

    const std::vector<Row>& rows() const { return rows_; }
    std::vector<Row>& rows() { return rows_; }
    const std::vector<DeltaRow>& changes() const { return changes_; }
    std::vector<DeltaRow>& changes() { return changes_; }

    // Appends a row after checking its width and cell types.
    void addRow(Row row);
    void addChange(DeltaRow change);

    std::size_t rowCount() const { return isDelta() ? changes_.size() : rows_.size(); }

    // Checks every row against the field list; raises corvana::Error.
    void validate() const;

    std::string toJson() const;
    // Raises corvana::Error, never crashes, on malformed JSON, an unknown
    // version, unknown field types, rows of the wrong width or wrong cell
    // types, and nesting deeper than a packet ever has.
    static DataPacket fromJson(std::string_view text);

    bool operator==(const DataPacket&) const = default;

    // Checks one cell against a column; returns an empty string when it fits,
    // otherwise the reason.
    static std::string cellProblem(const FieldDef& def, const Variant& value);

private:
    Kind kind_ = Kind::Data;
    std::vector<FieldDef> fields_;
    std::vector<Row> rows_;
    std::vector<DeltaRow> changes_;
};

}  // namespace corvana
