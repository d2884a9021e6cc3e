#include <charconv>
#include <cmath>

#include "JsonText.h"
#include "corvana/data/PacketWriter.h"
#include "corvana/data/Text.h"

namespace corvana {

std::string formatDouble(double d) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, res.ptr);
}

void appendJsonString(std::string& out, std::string_view text) {
    json_text::appendString(out, text);
}

namespace json_text {

void appendString(std::string& out, std::string_view s) {
    static const char hex[] = "0123456789abcdef";
    out.push_back('"');
    std::size_t i = 0;
    while (i < s.size()) {
        // Plain ASCII that needs no escape, the bulk of every text, goes in
        // runs.
        std::size_t run = i;
        while (run < s.size()) {
            const auto b = static_cast<unsigned char>(s[run]);
            if (b < 0x20 || b >= 0x80 || b == '"' || b == '\\') break;
            ++run;
        }
        if (run > i) {
            out.append(s.data() + i, run - i);
            i = run;
            if (i == s.size()) break;
        }
        auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            const Utf8Char ch = decodeUtf8At(s, i);
            if (ch.valid)
                out.append(s.data() + i, ch.length);
            else
                appendUtf8(out, ch.codePoint);  // U+FFFD
            i += ch.length;
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out.push_back(hex[c >> 4]);
                    out.push_back(hex[c & 15]);
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
        ++i;
    }
    out.push_back('"');
}

void appendFloat(std::string& out, double d) {
    if (!std::isfinite(d)) {
        out += "null";
        return;
    }
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, d);
    std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    out += text;
    if (text.find_first_of(".eE") == std::string_view::npos) out += ".0";
}

namespace {

void appendInt(std::string& out, std::int64_t i) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, i);
    out.append(buf, res.ptr);
}

// A cell of a packet row: its column type is known to the reader, so a date
// travels as its plain ISO text; every other kind as in a variant.
void appendCell(std::string& out, const Variant& v) {
    if (v.kind() == Variant::Kind::DateTime)
        appendString(out, v.asDateTime().toIso());
    else
        appendVariant(out, v);
}

void appendRow(std::string& out, const Row& row) {
    out.push_back('[');
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) out.push_back(',');
        appendCell(out, row[i]);
    }
    out.push_back(']');
}

}  // namespace

void appendVariant(std::string& out, const Variant& v) {
    switch (v.kind()) {
        case Variant::Kind::Null:
            out += "null";
            break;
        case Variant::Kind::Bool:
            out += v.toBool() ? "true" : "false";
            break;
        case Variant::Kind::Int:
            appendInt(out, v.toInt());
            break;
        case Variant::Kind::Float:
            appendFloat(out, v.toDouble());
            break;
        case Variant::Kind::String:
            appendString(out, v.asString());
            break;
        case Variant::Kind::DateTime:
            out += "{\"$date\":";
            appendString(out, v.asDateTime().toIso());
            out += '}';
            break;
        case Variant::Kind::Array: {
            out.push_back('[');
            const auto& a = v.asArray();
            for (std::size_t i = 0; i < a.size(); ++i) {
                if (i) out.push_back(',');
                appendVariant(out, a[i]);
            }
            out.push_back(']');
            break;
        }
        case Variant::Kind::Packet:
            out += "{\"$packet\":";
            appendPacket(out, v.asPacket());
            out += '}';
            break;
        case Variant::Kind::Error:
            out += "{\"$error\":";
            appendString(out, v.errorMessage());
            out += '}';
            break;
    }
}

namespace {

void appendFields(std::string& out, const std::vector<FieldDef>& fields, bool delta) {
    out += "{\"format\":\"corvana.datapacket\",\"version\":";
    appendInt(out, DataPacket::kFormatVersion);
    out += delta ? ",\"kind\":\"delta\"" : ",\"kind\":\"data\"";
    out += ",\"fields\":[";
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto& f = fields[i];
        if (i) out.push_back(',');
        out += "{\"name\":";
        appendString(out, f.name);
        out += ",\"type\":\"";
        out += fieldTypeName(f.type);
        out += "\",\"size\":";
        appendInt(out, f.size);
        out.push_back('}');
    }
    out += "],";
}

}  // namespace

void appendPacket(std::string& out, const DataPacket& p) {
    if (!p.isDelta()) {
        PacketWriter writer(out, p.fields());
        if (p.isPacked()) {
            for (const PackedRow& row : p.packedRows()) {
                writer.beginRow();
                for (std::size_t c = 0; c < row.size(); ++c) writer.value(row.at(c));
                writer.endRow();
            }
        } else {
            for (const Row& row : p.rows()) {
                writer.beginRow();
                for (const Variant& cell : row) writer.value(cell);
                writer.endRow();
            }
        }
        writer.finish();
        return;
    }
    appendFields(out, p.fields(), true);
    out += "\"changes\":[";
    auto appendChange = [&out](DeltaRow::Status status, const auto& values, const auto& original) {
        out += "{\"status\":\"";
        out += deltaStatusName(status);
        out += '"';
        if (status != DeltaRow::Status::Deleted) {
            out += ",\"values\":";
            appendRow(out, values);
        }
        if (status != DeltaRow::Status::Inserted) {
            out += ",\"original\":";
            appendRow(out, original);
        }
        out.push_back('}');
    };
    for (std::size_t i = 0; i < p.rowCount(); ++i) {
        if (i) out += ",\n";
        if (p.isPacked()) {
            const PackedDeltaRow& c = p.packedChanges()[i];
            appendChange(c.status, c.values.unpack(), c.original.unpack());
        } else {
            const DeltaRow& c = p.changes()[i];
            appendChange(c.status, c.values, c.original);
        }
    }
    out += "]}";
}

}  // namespace json_text

PacketWriter::PacketWriter(std::string& out, const std::vector<FieldDef>& fields) : out_(out) {
    json_text::appendFields(out_, fields, false);
    out_ += "\"rows\":[";
}

void PacketWriter::beginRow() {
    if (rows_++) out_ += ",\n";
    out_.push_back('[');
    cells_ = 0;
}

void PacketWriter::separate() {
    if (cells_++) out_.push_back(',');
}

void PacketWriter::null() {
    separate();
    out_ += "null";
}

void PacketWriter::text(std::string_view s) {
    separate();
    json_text::appendString(out_, s);
}

void PacketWriter::integer(std::int64_t i) {
    separate();
    json_text::appendInt(out_, i);
}

void PacketWriter::floating(double d) {
    separate();
    json_text::appendFloat(out_, d);
}

void PacketWriter::boolean(bool b) {
    separate();
    out_ += b ? "true" : "false";
}

void PacketWriter::dateTime(const DateTime& d) {
    separate();
    json_text::appendString(out_, d.toIso());
}

void PacketWriter::value(const Variant& v) {
    separate();
    json_text::appendCell(out_, v);
}

void PacketWriter::endRow() {
    out_.push_back(']');
}

void PacketWriter::finish() {
    out_ += "]}";
}

}  // namespace corvana
