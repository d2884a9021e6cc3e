#include "corvana/data/PackedRow.h"
#include "corvana/data/DataPacket.h"

#include <cstring>

#include "JsonText.h"
#include "corvana/data/Error.h"

namespace corvana {

std::size_t PackedRow::bytes() const {
    const std::size_t n = size();
    if (!data_) return 0;
    return kHeader + kindsBytes(n) + n * sizeof(std::uint32_t) + (n ? endOf(n - 1) : 0);
}

PackedRow::PackedRow(const PackedRow& other) {
    *this = other;
}

PackedRow& PackedRow::operator=(const PackedRow& other) {
    if (this == &other) return *this;
    if (!other.data_) {
        data_.reset();
        return *this;
    }
    const std::size_t n = other.bytes();
    auto copy = std::make_unique_for_overwrite<char[]>(n);
    std::memcpy(copy.get(), other.data_.get(), n);
    data_ = std::move(copy);
    return *this;
}

Variant PackedRow::at(std::size_t i) const {
    const char* p = payload() + startOf(i);
    switch (kindAt(i)) {
        case Variant::Kind::Bool:
            return Variant(*p != 0);
        case Variant::Kind::Int: {
            std::int64_t v;
            std::memcpy(&v, p, sizeof v);
            return Variant(v);
        }
        case Variant::Kind::Float: {
            double v;
            std::memcpy(&v, p, sizeof v);
            return Variant(v);
        }
        case Variant::Kind::String:
            return Variant(std::string(textAt(i)));
        case Variant::Kind::DateTime: {
            DateTime v;
            std::memcpy(&v, p, sizeof v);
            return Variant(v);
        }
        default:
            return Variant();
    }
}

Row PackedRow::unpack() const {
    const std::size_t n = size();
    Row row;
    row.reserve(n);
    for (std::size_t i = 0; i < n; ++i) row.push_back(at(i));
    return row;
}

bool PackedRow::equals(const Row& row) const {
    const std::size_t n = size();
    if (row.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        const bool texts = row[i].isString() && kindAt(i) == Variant::Kind::String;
        if (texts ? row[i].asString() != textAt(i) : !(row[i] == at(i))) return false;
    }
    return true;
}

PackedRow PackedRow::pack(const Row& row) {
    Builder b;
    for (const Variant& cell : row) b.add(cell);
    return b.finish();
}

void PackedRow::Builder::addBytes(Variant::Kind kind, const void* bytes, std::size_t length) {
    if (payload_.size() + length > UINT32_MAX) throw Error("Linha grande demais.");
    kinds_.push_back(static_cast<std::uint8_t>(kind));
    if (length) payload_.append(static_cast<const char*>(bytes), length);
    ends_.push_back(static_cast<std::uint32_t>(payload_.size()));
}

void PackedRow::Builder::addText(std::string_view text) {
    addBytes(Variant::Kind::String, text.data(), text.size());
}

void PackedRow::Builder::addFloat(double d) {
    addBytes(Variant::Kind::Float, &d, sizeof d);
}

void PackedRow::Builder::addNull() {
    addBytes(Variant::Kind::Null, nullptr, 0);
}

void PackedRow::Builder::addBool(bool b) {
    const char c = b ? 1 : 0;
    addBytes(Variant::Kind::Bool, &c, 1);
}

void PackedRow::Builder::addInt(std::int64_t i) {
    addBytes(Variant::Kind::Int, &i, sizeof i);
}

void PackedRow::Builder::addDateTime(const DateTime& d) {
    addBytes(Variant::Kind::DateTime, &d, sizeof d);
}

void PackedRow::Builder::add(const Variant& cell) {
    switch (cell.kind()) {
        case Variant::Kind::Null:
            addNull();
            return;
        case Variant::Kind::Bool:
            addBool(cell.toBool());
            return;
        case Variant::Kind::Int:
            addInt(cell.toInt());
            return;
        case Variant::Kind::Float:
            addFloat(cell.toDouble());
            return;
        case Variant::Kind::String:
            addText(cell.asString());
            return;
        case Variant::Kind::DateTime:
            addDateTime(cell.asDateTime());
            return;
        default:
            throw Error(std::string("Um valor do tipo ") + Variant::kindName(cell.kind()) +
                        " não cabe numa linha de dados.");
    }
}

PackedRow PackedRow::Builder::finish() {
    const std::size_t n = kinds_.size();
    const std::size_t total = kHeader + kindsBytes(n) + n * sizeof(std::uint32_t) + payload_.size();
    PackedRow row;
    row.data_ = std::make_unique_for_overwrite<char[]>(total);
    char* p = row.data_.get();
    const auto count = static_cast<std::uint32_t>(n);
    std::memcpy(p, &count, sizeof count);
    p += kHeader;
    if (n) {
        std::memcpy(p, kinds_.data(), n);
        std::memset(p + n, 0, kindsBytes(n) - n);
        p += kindsBytes(n);
        std::memcpy(p, ends_.data(), n * sizeof(std::uint32_t));
        p += n * sizeof(std::uint32_t);
    }
    if (!payload_.empty()) std::memcpy(p, payload_.data(), payload_.size());
    kinds_.clear();
    ends_.clear();
    payload_.clear();
    return row;
}

std::optional<PackedData> PackedData::fromAnswerJson(std::string_view text, Variant& other) {
    return json_text::readAnswerPacked(text, other);
}

}  // namespace corvana
