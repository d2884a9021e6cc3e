#include "rdm/RdmSupport.h"

#include <cstdio>

#include "corvana/data/DateTime.h"
#include "corvana/data/PacketWriter.h"

namespace evt::server::rdm {

namespace {

// Every row the statement yields, cell by cell into a sink with
// PacketWriter's calls: column i of the statement into field i.
template <class Sink>
void ReadRows(storage::Statement& statement, const std::vector<corvana::FieldDef>& fields,
              Sink& sink) {
    while (statement.Step()) {
        sink.beginRow();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const int column = static_cast<int>(i);
            if (statement.IsNull(column)) {
                sink.null();
                continue;
            }
            switch (fields[i].type) {
                case corvana::FieldType::Float:
                    sink.floating(statement.Double(column));
                    break;
                case corvana::FieldType::Integer:
                    sink.integer(statement.Int(column));
                    break;
                case corvana::FieldType::DateTime: {
                    auto date = corvana::DateTime::fromIso(statement.TextView(column));
                    date ? sink.dateTime(*date) : sink.null();
                    break;
                }
                case corvana::FieldType::Boolean:
                    sink.boolean(statement.Int(column) != 0);
                    break;
                case corvana::FieldType::String:
                    sink.text(statement.TextView(column));
                    break;
            }
        }
        sink.endRow();
    }
}

// Builds the rows as values, into a packet.
class RowSink {
public:
    explicit RowSink(corvana::DataPacket& packet) : packet_(packet) {}
    void beginRow() { row_.reserve(packet_.fields().size()); }
    void null() { row_.emplace_back(); }
    void text(std::string_view s) { row_.emplace_back(s); }
    void integer(std::int64_t i) { row_.emplace_back(i); }
    void floating(double d) { row_.emplace_back(d); }
    void boolean(bool b) { row_.emplace_back(b); }
    void dateTime(const corvana::DateTime& d) { row_.emplace_back(d); }
    void endRow() { packet_.addRow(std::move(row_)), row_ = {}; }

private:
    corvana::DataPacket& packet_;
    corvana::Row row_;
};

}  // namespace

void AppendRows(storage::Statement& statement, corvana::DataPacket& packet) {
    RowSink sink(packet);
    ReadRows(statement, packet.fields(), sink);
}

std::string PacketAnswerJson(storage::Statement& statement,
                             const std::vector<corvana::FieldDef>& fields) {
    std::string out;
    AppendPacketAnswerJson(out, statement, fields);
    return out;
}

void AppendPacketAnswerJson(std::string& out, storage::Statement& statement,
                            const std::vector<corvana::FieldDef>& fields) {
    out += "{\"$packet\":";
    corvana::PacketWriter writer(out, fields);
    ReadRows(statement, fields, writer);
    writer.finish();
    out += '}';
}

Param TextParam(const char* label) {
    return {label, "um texto", [](const corvana::Variant& v) { return v.isString(); }};
}

Param PacketParam(const char* label) {
    return {label, "um pacote de dados", [](const corvana::Variant& v) { return v.isPacket(); }};
}

std::vector<Param> ListParams(std::initializer_list<Param> more) {
    std::vector<Param> params{TextParam("filial"), TextParam("orçamento"), TextParam("sequência")};
    params.insert(params.end(), more);
    return params;
}

void CheckArgs(const std::string& method, const std::vector<Param>& params,
               const std::vector<corvana::Variant>& args) {
    const auto countText = [](std::size_t n) {
        return std::to_string(n) + (n == 1 ? " argumento" : " argumentos");
    };
    std::size_t required = params.size();
    while (required > 0 && params[required - 1].optional) --required;
    if (args.size() < required || args.size() > params.size()) {
        const std::string expected =
            required == params.size() ? countText(required)
                                      : std::to_string(required) + " a " + countText(params.size());
        throw BadRequest(method + " espera " + expected + ", recebeu " +
                         std::to_string(args.size()) + ".");
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (params[i].fits(args[i])) continue;
        throw BadRequest(method + ": o argumento " + std::to_string(i + 1) + " (" +
                         params[i].label + ") deve ser " + params[i].expected + ", recebeu " +
                         corvana::Variant::kindName(args[i].kind()) + ".");
    }
}

std::string GuestNumberText(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "%05d", number);
    return text;
}

}  // namespace evt::server::rdm
