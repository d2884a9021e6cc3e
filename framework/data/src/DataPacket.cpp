#include "corvana/data/DataPacket.h"

#include <strings.h>

#include "JsonText.h"
#include "corvana/data/Error.h"

namespace corvana {

const char* fieldTypeName(FieldType t) {
    switch (t) {
        case FieldType::String:
            return "string";
        case FieldType::Integer:
            return "integer";
        case FieldType::Float:
            return "float";
        case FieldType::Boolean:
            return "boolean";
        case FieldType::DateTime:
            return "datetime";
    }
    return "?";
}

const char* deltaStatusName(DeltaRow::Status s) {
    switch (s) {
        case DeltaRow::Status::Inserted:
            return "inserted";
        case DeltaRow::Status::Modified:
            return "modified";
        case DeltaRow::Status::Deleted:
            return "deleted";
    }
    return "?";
}

namespace {

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

void DataPacket::addField(FieldDef def) {
    if (rowCount() > 0)
        throw Error("Não é possível acrescentar o campo '" + def.name +
                    "' a um pacote com linhas.");
    if (def.name.empty()) throw Error("Campo sem nome.");
    if (fieldIndex(def.name) >= 0) throw Error("Campo repetido '" + def.name + "'.");
    fields_.push_back(std::move(def));
}

int DataPacket::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (sameName(fields_[i].name, name)) return static_cast<int>(i);
    return -1;
}

int DataPacket::requireField(std::string_view name) const {
    int i = fieldIndex(name);
    if (i < 0) throw Error("O pacote de dados não tem o campo '" + std::string(name) + "'.");
    return i;
}

std::string DataPacket::cellProblem(const FieldDef& def, const Variant& v) {
    using K = Variant::Kind;
    K k = v.kind();
    if (k == K::Null) return {};
    bool ok = false;
    switch (def.type) {
        case FieldType::String:
            ok = k == K::String;
            break;
        case FieldType::Integer:
            ok = k == K::Int;
            break;
        case FieldType::Float:
            ok = k == K::Float || k == K::Int;
            break;
        case FieldType::Boolean:
            ok = k == K::Bool;
            break;
        case FieldType::DateTime:
            ok = k == K::DateTime;
            break;
    }
    if (ok) return {};
    return std::string("valor do tipo ") + Variant::kindName(k) + " num campo do tipo " +
           fieldTypeName(def.type);
}

namespace {

void checkRow(const std::vector<FieldDef>& fields, const Row& row, std::size_t rowNo) {
    if (row.size() != fields.size())
        throw Error("Pacote de dados inválido: a linha " + std::to_string(rowNo + 1) + " tem " +
                    std::to_string(row.size()) + " valores para " + std::to_string(fields.size()) +
                    " campos");
    for (std::size_t c = 0; c < fields.size(); ++c) {
        std::string problem = DataPacket::cellProblem(fields[c], row[c]);
        if (!problem.empty())
            throw Error("Pacote de dados inválido: linha " + std::to_string(rowNo + 1) +
                        ", campo " + fields[c].name + ": " + problem);
    }
}

void checkPacked(const std::vector<FieldDef>& fields, const PackedRow& row, std::size_t rowNo) {
    if (row.size() != fields.size())
        throw Error("Pacote de dados inválido: a linha " + std::to_string(rowNo + 1) + " tem " +
                    std::to_string(row.size()) + " valores para " + std::to_string(fields.size()) +
                    " campos");
    for (std::size_t c = 0; c < fields.size(); ++c) {
        const Variant::Kind kind = row.kindAt(c);
        // Texts are checked in place; any other cell is small.
        if (kind == Variant::Kind::Null ||
            (kind == Variant::Kind::String && fields[c].type == FieldType::String))
            continue;
        std::string problem = DataPacket::cellProblem(fields[c], row.at(c));
        if (!problem.empty())
            throw Error("Pacote de dados inválido: linha " + std::to_string(rowNo + 1) +
                        ", campo " + fields[c].name + ": " + problem);
    }
}

}  // namespace

void DataPacket::addRow(Row row) {
    if (packed_) refusePacked();
    if (isDelta()) throw Error("Um delta recebe alterações, não linhas.");
    checkRow(fields_, row, rows_.size());
    rows_.push_back(std::move(row));
}

void DataPacket::addChange(DeltaRow change) {
    if (packed_) refusePacked();
    if (!isDelta()) throw Error("Um pacote de dados recebe linhas, não alterações.");
    if (change.status != DeltaRow::Status::Deleted)
        checkRow(fields_, change.values, changes_.size());
    if (change.status != DeltaRow::Status::Inserted)
        checkRow(fields_, change.original, changes_.size());
    changes_.push_back(std::move(change));
}

void DataPacket::validate() const {
    if (isDelta() && !(rows_.empty() && packedRows_.empty()))
        throw Error("Pacote de dados inválido: um delta com linhas.");
    if (!isDelta() && !(changes_.empty() && packedChanges_.empty()))
        throw Error("Pacote de dados inválido: um pacote de dados com alterações.");
    for (std::size_t i = 0; i < rows_.size(); ++i) checkRow(fields_, rows_[i], i);
    for (std::size_t i = 0; i < changes_.size(); ++i) {
        const auto& c = changes_[i];
        if (c.status != DeltaRow::Status::Deleted) checkRow(fields_, c.values, i);
        if (c.status != DeltaRow::Status::Inserted) checkRow(fields_, c.original, i);
    }
    for (std::size_t i = 0; i < packedRows_.size(); ++i) checkPacked(fields_, packedRows_[i], i);
    for (std::size_t i = 0; i < packedChanges_.size(); ++i) {
        const auto& c = packedChanges_[i];
        if (c.status != DeltaRow::Status::Deleted) checkPacked(fields_, c.values, i);
        if (c.status != DeltaRow::Status::Inserted) checkPacked(fields_, c.original, i);
    }
}

void DataPacket::setPacked(std::vector<PackedRow> rows, std::vector<PackedDeltaRow> changes) {
    rows_ = {};
    changes_ = {};
    packedRows_ = std::move(rows);
    packedChanges_ = std::move(changes);
    packed_ = true;
}

DataPacket DataPacket::unpacked() const {
    if (!packed_) return *this;
    DataPacket p(fields_, kind_);
    p.rows_.reserve(packedRows_.size());
    for (const PackedRow& row : packedRows_) p.rows_.push_back(row.unpack());
    p.changes_.reserve(packedChanges_.size());
    for (const PackedDeltaRow& c : packedChanges_)
        p.changes_.push_back(DeltaRow{c.status, c.values.unpack(), c.original.unpack()});
    return p;
}

void DataPacket::refusePacked() {
    throw Error(
        "Pacote de dados lido em forma compacta: suas linhas estão em packedRows() e "
        "packedChanges().");
}

bool DataPacket::operator==(const DataPacket& other) const {
    if (kind_ != other.kind_ || fields_ != other.fields_ || rowCount() != other.rowCount())
        return false;
    if (!packed_ && !other.packed_) return rows_ == other.rows_ && changes_ == other.changes_;
    // Compared as values, one row at a time.
    auto row = [](const DataPacket& p, std::size_t i) {
        return p.packed_ ? p.packedRows_[i].unpack() : p.rows_[i];
    };
    auto change = [](const DataPacket& p, std::size_t i) {
        if (!p.packed_) return p.changes_[i];
        const PackedDeltaRow& c = p.packedChanges_[i];
        return DeltaRow{c.status, c.values.unpack(), c.original.unpack()};
    };
    for (std::size_t i = 0; i < rowCount(); ++i)
        if (isDelta() ? change(*this, i) != change(other, i) : row(*this, i) != row(other, i))
            return false;
    return true;
}

std::string DataPacket::toJson() const {
    std::string out;
    out.reserve(64 + 32 * fields_.size() * (rowCount() + 1));
    json_text::appendPacket(out, *this);
    return out;
}

DataPacket DataPacket::fromJson(std::string_view text) {
    return json_text::readPacket(text);
}

}  // namespace corvana
