#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "corvana/data/DateTime.h"

namespace corvana {

class DataPacket;

// The dynamically typed value that travels between the screens and the
// application server: the arguments and answers of remote calls, the cells of
// a data packet, the launch values of a screen.
//
// A server error carried in an answer is its own kind (Error), so that an
// answer can be checked without a side channel (Consiste::CheckResultServ).
class Variant {
public:
    enum class Kind { Null, Bool, Int, Float, String, DateTime, Array, Packet, Error };
    using Array = std::vector<Variant>;

    Variant() = default;
    Variant(std::nullptr_t) {}
    Variant(bool b) : v_(b) {}
    Variant(int i) : v_(static_cast<std::int64_t>(i)) {}
    Variant(std::int64_t i) : v_(i) {}
    Variant(double d) : v_(d) {}
    Variant(const char* s) : v_(std::string(s)) {}
    Variant(std::string s) : v_(std::move(s)) {}
    Variant(std::string_view s) : v_(std::string(s)) {}
    Variant(const corvana::DateTime& d) : v_(d) {}
    Variant(Array a) : v_(std::make_shared<const Array>(std::move(a))) {}
    Variant(DataPacket p);
    Variant(std::shared_ptr<const DataPacket> p);

    static Variant serverError(std::string message);

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool isNull() const { return kind() == Kind::Null; }
    bool isArray() const { return kind() == Kind::Array; }
    bool isPacket() const { return kind() == Kind::Packet; }
    bool isError() const { return kind() == Kind::Error; }
    bool isString() const { return kind() == Kind::String; }

    // The standard conversion to text: null gives "", a boolean "True" or
    // "False", a float in its shortest exact form with a comma as decimal
    // separator ("2,5"), a date its display form. An array, a packet and a
    // server error have no text form and raise corvana::Error.
    std::string toString() const;
    // Numeric conversions: a string must hold a number ("2,5" and "2.5" both
    // read); null gives 0. Anything else raises corvana::Error.
    double toDouble() const;
    std::int64_t toInt() const;
    bool toBool() const;

    // Direct access; each raises corvana::Error when the kind differs.
    const std::string& asString() const;
    const corvana::DateTime& asDateTime() const;
    const Array& asArray() const;
    const DataPacket& asPacket() const;
    std::shared_ptr<const DataPacket> packetPtr() const;
    const std::string& errorMessage() const;

    // Element of an array, indexed from 0; raises corvana::Error when this is
    // not an array or the index is outside it.
    const Variant& operator[](std::size_t index) const;
    std::size_t arraySize() const;

    // Equality of kind and value; an Int and a Float compare by value.
    // Packets compare by content.
    bool operator==(const Variant& other) const;

    // The JSON form, one per kind, that fromJson reads back to an equal value:
    // null, true/false, integers, floats (always with a fraction or exponent),
    // strings, arrays, {"$date": "ISO"}, {"$packet": {...}}, {"$error": "text"}.
    std::string toJson() const;
    static Variant fromJson(std::string_view text);
    // As fromJson, for text from a party that is not trusted: the reader
    // counts what the value being built holds (each value, text and list as
    // the allocator gives them) and, once that would pass memoryBudget
    // bytes, stops at once and raises corvana::MemoryLimitError. A value
    // takes about 40 bytes however short its JSON is, so a budget below
    // about ten times the text refuses lists of small values.
    static Variant fromJson(std::string_view text, std::size_t memoryBudget);
    // As above; with PacketRows::Packed the rows and changes of every packet
    // in the value are read straight into packed rows (DataPacket::isPacked),
    // which hold about what their JSON does: how the application server
    // reads a call's arguments.
    enum class PacketRows { Values, Packed };
    static Variant fromJson(std::string_view text, std::size_t memoryBudget, PacketRows rows);

    static const char* kindName(Kind k);

private:
    struct ErrorBox {
        std::string message;
    };
    std::variant<std::monostate, bool, std::int64_t, double, std::string, corvana::DateTime,
                 std::shared_ptr<const Array>, std::shared_ptr<const DataPacket>,
                 std::shared_ptr<const ErrorBox>>
        v_;
};

// Shortest text that reads back to the same double, with '.' as separator.
std::string formatDouble(double d);

}  // namespace corvana
