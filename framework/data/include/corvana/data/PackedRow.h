#pragma once
#include <cassert>
// A dataset's stored row in one block: the kind of each cell, where each
// cell ends, and the cells' bytes one after the other (texts as their
// UTF-8, numbers and dates as their machine form). A 21-column guest row
// takes about 270 bytes this way, against about 990 as a vector of
// Variants with their texts; a row is read back cell by cell as Variants.
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corvana/data/Variant.h"

namespace corvana {

using Row = std::vector<Variant>;

class PackedRow {
public:
    PackedRow() = default;
    PackedRow(PackedRow&&) noexcept = default;
    PackedRow& operator=(PackedRow&&) noexcept = default;
    PackedRow(const PackedRow& other);
    PackedRow& operator=(const PackedRow& other);

    // Raises corvana::Error for a cell that is not a scalar (a list, a
    // packet or a server error has no place in a row).
    static PackedRow pack(const Row& row);

    std::size_t size() const { return data_ ? readU32(data_.get()) : 0; }
    // i < size(): a cell outside the row would read another row's bytes.
    Variant::Kind kindAt(std::size_t i) const {
        assert(i < size());
        return static_cast<Variant::Kind>(static_cast<unsigned char>(data_[kHeader + i]));
    }
    Variant at(std::size_t i) const;
    // The text of a String cell, without a copy. Its offsets rise from cell
    // to cell; a broken pair would give a view past the payload.
    std::string_view textAt(std::size_t i) const {
        assert(i < size() && kindAt(i) == Variant::Kind::String);
        const char* ends = data_.get() + kHeader + kindsBytes(size());
        const std::uint32_t start = i == 0 ? 0 : readU32(ends + (i - 1) * 4);
        const std::uint32_t end = readU32(ends + i * 4);
        assert(start <= end);
        return {ends + size() * 4 + start, end - start};
    }
    Row unpack() const;
    bool equals(const Row& row) const;
    // Bytes of its block.
    std::size_t bytes() const;

    // Builds rows one cell at a time in a buffer reused from row to row.
    class Builder {
    public:
        Builder() {
            kinds_.reserve(64);
            ends_.reserve(64);
            payload_.reserve(1024);
        }
        // Raises corvana::Error for a cell that is not a scalar.
        void add(const Variant& cell);
        void addNull();
        void addBool(bool b);
        void addInt(std::int64_t i);
        void addFloat(double d);
        void addText(std::string_view text);
        void addDateTime(const DateTime& d);
        PackedRow finish();

    private:
        void addBytes(Variant::Kind kind, const void* bytes, std::size_t length);
        std::vector<std::uint8_t> kinds_;
        std::vector<std::uint32_t> ends_;
        std::string payload_;
    };

private:
    // Layout: u32 cell count; one kind byte per cell, padded to 4 bytes; one
    // u32 end offset per cell into the payload; the payload.
    static constexpr std::size_t kHeader = sizeof(std::uint32_t);
    static std::size_t kindsBytes(std::size_t n) { return (n + 3) / 4 * 4; }
    static std::uint32_t readU32(const char* p) {
        std::uint32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    const char* payload() const { return data_.get() + kHeader + kindsBytes(size()) + size() * 4; }
    std::uint32_t endOf(std::size_t i) const {
        return readU32(data_.get() + kHeader + kindsBytes(size()) + i * 4);
    }
    std::uint32_t startOf(std::size_t i) const { return i == 0 ? 0 : endOf(i - 1); }

    std::unique_ptr<char[]> data_;
};

}  // namespace corvana
