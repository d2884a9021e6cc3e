#include "sheet/ImportReport.h"

#include <algorithm>
#include <map>

#include "corvana/data/Error.h"
#include "corvana/data/Text.h"

namespace evt::sheet {

namespace {

std::string CellText(const corvana::DataPacket& p, const corvana::Row& row, const char* field) {
    const int at = p.fieldIndex(field);
    if (at < 0) return {};
    const corvana::Variant& v = row[static_cast<std::size_t>(at)];
    return v.isNull() ? std::string() : v.toString();
}

long LineNumber(const std::string& text) {
    try {
        return std::stol(text);
    } catch (...) {
        return 0;
    }
}

std::string Plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::vector<Verdict> VerdictsOf(const corvana::DataPacket& answer) {
    if (answer.fieldIndex("NRCONTLINHA") < 0 || answer.fieldIndex("IDRESULTADO") < 0)
        throw corvana::Error("Resposta inesperada do servidor à importação da planilha.");
    std::vector<Verdict> verdicts;
    verdicts.reserve(answer.rows().size());
    for (const corvana::Row& row : answer.rows()) {
        Verdict v;
        v.line = CellText(answer, row, "NRCONTLINHA");
        v.added = CellText(answer, row, "IDRESULTADO") == "A";
        v.code = CellText(answer, row, "CDMOTIVO");
        v.reason = CellText(answer, row, "DSMOTIVO");
        verdicts.push_back(std::move(v));
    }
    return verdicts;
}

corvana::DataPacket AddableRows(const corvana::DataPacket& rows,
                                const std::vector<Verdict>& verdicts) {
    if (verdicts.size() != rows.rows().size())
        throw corvana::Error("Resposta inesperada do servidor à importação da planilha.");
    corvana::DataPacket addable(rows.fields());
    for (std::size_t i = 0; i < verdicts.size(); ++i)
        if (verdicts[i].added) addable.addRow(rows.rows()[i]);
    return addable;
}

const std::vector<ReportField>& ReportFields() {
    static const std::vector<ReportField> fields = {{"NRCONTLINHA", 10, "Linha"},
                                                    {"DSRESULTADO", 12, "Resultado"},
                                                    {"DSMOTIVO", 120, "Motivo"},
                                                    {"NMLISTACONVOREV", 80, "Nome"},
                                                    {"NRRGLISTAOREV", 20, "R.G."}};
    return fields;
}

corvana::DataPacket ImportReport(const corvana::DataPacket& rows,
                                 const std::vector<Verdict>& preview,
                                 const std::vector<Verdict>& imported,
                                 const std::vector<long>& skipped, ImportCounts& counts) {
    if (preview.size() != rows.rows().size())
        throw corvana::Error("Resposta inesperada do servidor à importação da planilha.");
    std::vector<corvana::FieldDef> defs;
    for (const ReportField& f : ReportFields())
        defs.push_back({f.name, corvana::FieldType::String, f.size});
    // The import's verdict of each line it was sent.
    std::map<std::string, const Verdict*> final;
    for (const Verdict& v : imported) final[v.line] = &v;

    struct Line {
        long number;
        corvana::Row row;
    };
    std::vector<Line> lines;
    lines.reserve(preview.size() + skipped.size());
    counts = {};
    for (std::size_t i = 0; i < preview.size(); ++i) {
        const corvana::Row& row = rows.rows()[i];
        const Verdict* v = &preview[i];
        if (v->added) {
            const auto found = final.find(v->line);
            // Not sent, or no verdict for it: not added.
            if (found != final.end()) v = found->second;
        }
        const bool added = v->added && final.count(v->line);
        ++(added ? counts.added : counts.refused);
        std::string reason = added ? std::string() : v->reason;
        if (!added && v->added) reason = "não foi enviada ao servidor.";
        lines.push_back(
            {LineNumber(v->line),
             {corvana::Variant(v->line),
              corvana::Variant(std::string(added ? "Adicionado" : "Recusado")),
              corvana::Variant(reason), corvana::Variant(CellText(rows, row, "NMLISTACONVOREV")),
              corvana::Variant(CellText(rows, row, "NRRGLISTAOREV"))}});
    }
    for (long line : skipped) {
        ++counts.skipped;
        lines.push_back(
            {line,
             {corvana::Variant(std::to_string(line)), corvana::Variant(std::string("Em branco")),
              corvana::Variant(std::string("linha sem nenhum valor.")),
              corvana::Variant(std::string()), corvana::Variant(std::string())}});
    }
    counts.read = counts.added + counts.refused + counts.skipped;
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Line& a, const Line& b) { return a.number < b.number; });
    corvana::DataPacket report(std::move(defs));
    for (Line& l : lines) {
        // The report's columns hold what the record list shows: a long cell
        // of the file is cut to its column.
        for (std::size_t c = 0; c < l.row.size(); ++c) {
            const std::string text = l.row[c].toString();
            const auto size = static_cast<std::size_t>(ReportFields()[c].size);
            if (text.size() > size) l.row[c] = corvana::Variant(corvana::utf8Truncate(text, size));
        }
        report.addRow(std::move(l.row));
    }
    return report;
}

std::string CountsText(const ImportCounts& counts) {
    return "Planilha importada: " + Plural(counts.read, "linha lida", "linhas lidas") + " = " +
           Plural(counts.added, "adicionada", "adicionadas") + " + " +
           Plural(counts.refused, "recusada", "recusadas") + " + " +
           std::to_string(counts.skipped) + " em branco.";
}

std::string PreviewCountsText(const ImportCounts& counts) {
    return Plural(counts.read, "linha lida", "linhas lidas") + ": " +
           Plural(counts.added, "será adicionada", "serão adicionadas") + ", " +
           Plural(counts.refused, "recusada", "recusadas") + ", " + std::to_string(counts.skipped) +
           " em branco.";
}

}  // namespace evt::sheet
