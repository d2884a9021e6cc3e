#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corvana/data/PackedRow.h"
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

// A change of a packet held packed (DataPacket::isPacked).
struct PackedDeltaRow {
    DeltaRow::Status status = DeltaRow::Status::Inserted;
    PackedRow values;    // empty for Deleted
    PackedRow original;  // empty for Inserted
};

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

    // The rows and changes as values. A packed packet has none of them:
    // asking it raises corvana::Error, so that no reader takes it for an
    // empty one.
    const std::vector<Row>& rows() const { return packed_ ? refusePacked(rows_) : rows_; }
    std::vector<Row>& rows() { return packed_ ? refusePacked(rows_) : rows_; }
    const std::vector<DeltaRow>& changes() const {
        return packed_ ? refusePacked(changes_) : changes_;
    }
    std::vector<DeltaRow>& changes() { return packed_ ? refusePacked(changes_) : changes_; }

    // Rows and changes held packed (PackedRow.h), as a server reads a body
    // (Variant::fromJson with PacketRows::Packed): about the size of their
    // JSON instead of several times it. The cells were checked against
    // their columns as they were read. A packet holds one form only.
    bool isPacked() const { return packed_; }
    const std::vector<PackedRow>& packedRows() const { return packedRows_; }
    const std::vector<PackedDeltaRow>& packedChanges() const { return packedChanges_; }
    // Replaces the rows and changes by packed ones.
    void setPacked(std::vector<PackedRow> rows, std::vector<PackedDeltaRow> changes);
    // The same packet with its rows and changes as values.
    DataPacket unpacked() const;

    // Appends a row after checking its width and cell types.
    void addRow(Row row);
    void addChange(DeltaRow change);

    std::size_t rowCount() const {
        if (packed_) return isDelta() ? packedChanges_.size() : packedRows_.size();
        return isDelta() ? changes_.size() : rows_.size();
    }

    // Checks every row against the field list; raises corvana::Error.
    void validate() const;

    std::string toJson() const;
    // Raises corvana::Error, never crashes, on malformed JSON, an unknown
    // version, unknown field types, rows of the wrong width or wrong cell
    // types, and nesting deeper than a packet ever has.
    static DataPacket fromJson(std::string_view text);

    // Same kind, fields and rows, whichever form each holds them in.
    bool operator==(const DataPacket& other) const;

    // Checks one cell against a column; returns an empty string when it fits,
    // otherwise the reason.
    static std::string cellProblem(const FieldDef& def, const Variant& value);

private:
    template <class T>
    [[noreturn]] static T& refusePacked(T&) {
        refusePacked();
    }
    [[noreturn]] static void refusePacked();

    Kind kind_ = Kind::Data;
    std::vector<FieldDef> fields_;
    std::vector<Row> rows_;
    std::vector<DeltaRow> changes_;
    bool packed_ = false;
    std::vector<PackedRow> packedRows_;
    std::vector<PackedDeltaRow> packedChanges_;
};

// A data packet's fields and its rows packed as they were read, never held
// as values: what a dataset loads fastest (ClientDataSet::SetData). Cells
// are of their column's type or null, as in a DataPacket.
struct PackedData {
    std::vector<FieldDef> fields;
    std::vector<PackedRow> rows;
    // Every text fits its column's size (in characters) and every cell of a
    // Float column is a float or null, as fromAnswerJson reads them: a
    // dataset whose fields are the columns takes every row as it is.
    bool readyToLoad = false;

    // Reads the JSON text of an answer (Variant::toJson's form). When it is
    // a data packet ({"$packet": ...} with rows), answers its packed rows
    // and `other` is null; when it is an array with such a packet among its
    // elements, answers the first one's packed rows and `other` is the
    // array with null in that packet's place; otherwise answers nothing and
    // `other` is the value read (a server error, say). Malformed text and a
    // packet that breaks its rules raise corvana::Error, as Variant::fromJson
    // does.
    static std::optional<PackedData> fromAnswerJson(std::string_view text, Variant& other);
};

}  // namespace corvana
