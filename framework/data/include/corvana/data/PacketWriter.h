#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "corvana/data/DataPacket.h"
#include "corvana/data/DateTime.h"

namespace corvana {

// Writes the JSON text of a data packet row by row, exactly as
// DataPacket::toJson writes it, without building the packet: an answer of
// 100,000 rows can go from a query's cursor straight into its text. The
// caller gives each row its cells in field order, each of its column's type
// or null; nothing is checked here.
class PacketWriter {
public:
    // Appends the envelope and the fields to out; rows follow.
    PacketWriter(std::string& out, const std::vector<FieldDef>& fields);

    void beginRow();
    void null();
    void text(std::string_view s);
    void integer(std::int64_t i);
    void floating(double d);
    void boolean(bool b);
    void dateTime(const DateTime& d);
    // A cell given as a value (dates as their ISO text).
    void value(const Variant& v);
    void endRow();
    // Closes the rows and the packet.
    void finish();

private:
    void separate();
    std::string& out_;
    std::size_t rows_ = 0;
    std::size_t cells_ = 0;
};

}  // namespace corvana
