#include "rdm/RdmSupport.h"

#include <cstdio>

#include "corvana/data/DateTime.h"

namespace evt::server::rdm {

void AppendRows(storage::Statement& statement, corvana::DataPacket& packet) {
    const auto& fields = packet.fields();
    while (statement.Step()) {
        corvana::Row row;
        row.reserve(fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const int column = static_cast<int>(i);
            if (statement.IsNull(column)) {
                row.emplace_back();
                continue;
            }
            switch (fields[i].type) {
                case corvana::FieldType::Float:
                    row.emplace_back(statement.Double(column));
                    break;
                case corvana::FieldType::Integer:
                    row.emplace_back(statement.Int(column));
                    break;
                case corvana::FieldType::DateTime: {
                    auto date = corvana::DateTime::fromIso(statement.Text(column));
                    row.push_back(date ? corvana::Variant(*date) : corvana::Variant());
                    break;
                }
                case corvana::FieldType::Boolean:
                    row.emplace_back(statement.Int(column) != 0);
                    break;
                case corvana::FieldType::String:
                    row.emplace_back(statement.Text(column));
                    break;
            }
        }
        packet.addRow(std::move(row));
    }
}

std::string GuestNumberText(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "%05d", number);
    return text;
}

}  // namespace evt::server::rdm
