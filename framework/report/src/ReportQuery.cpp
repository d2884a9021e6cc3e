#include "corvana/report/ReportQuery.h"

#include "corvana/data/Error.h"
#include "corvana/db/TADOIBQuery.h"

namespace corvana::report {

namespace {

corvana::DataPacket Run(const ReportDefinition& def, const std::string& sql,
                        const TReportParams& params, const char* which) {
    corvana::db::TADOIBQuery query(sql);
    for (const auto& [name, param] : params.All())
        query.ParamByName(name).SetAsString(param.AsString);
    try {
        query.Open();
    } catch (const corvana::Error& e) {
        throw corvana::Error("Não foi possível executar a consulta " + std::string(which) +
                             " do relatório '" + def.FileName() + "': " + e.what());
    }
    return query.DataSet().Data();
}

QString Cell(const corvana::Variant& value) {
    return value.isNull() ? QString() : QString::fromStdString(value.toString());
}

}  // namespace

ReportData RunReportQueries(const ReportDefinition& def, const TReportParams& params) {
    ReportData data;
    corvana::DataPacket rows = Run(def, def.query, params, "principal");
    for (const corvana::FieldDef& f : rows.fields()) data.fields.push_back(f.name);
    data.rows.reserve(rows.rows().size());
    for (const corvana::Row& row : rows.rows()) {
        std::vector<QString> cells;
        cells.reserve(row.size());
        for (const corvana::Variant& v : row) cells.push_back(Cell(v));
        data.rows.push_back(std::move(cells));
    }
    if (!def.headerQuery.empty()) {
        corvana::DataPacket header = Run(def, def.headerQuery, params, "do cabeçalho");
        for (std::size_t c = 0; c < header.fields().size(); ++c)
            data.header[header.fields()[c].name] =
                header.rows().empty() ? QString() : Cell(header.rows().front()[c]);
    }
    return data;
}

}  // namespace corvana::report
