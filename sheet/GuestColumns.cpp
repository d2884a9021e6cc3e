#include "sheet/GuestColumns.h"

#include <QString>
#include <algorithm>
#include <map>

#include "corvana/data/Text.h"
#include "sheet/GuestFind.h"

namespace evt::sheet {

namespace {

// Lower case, accents and everything but letters and digits removed, as
// the find box folds names (GuestFindQuery::Folded).
std::string Folded(const std::string& text) {
    std::string out;
    for (const QChar c : GuestFindQuery::Folded(QString::fromStdString(text)))
        if (c.isLetterOrNumber() && c.unicode() < 0x80) out += static_cast<char>(c.unicode());
    return out;
}

struct Synonyms {
    int field;
    std::vector<const char*> words;
};

const std::vector<Synonyms>& AllSynonyms() {
    static const std::vector<Synonyms> all = {
        {0,
         {"nome", "name", "nomecompleto", "fullname", "convidado", "convidados", "guest",
          "guestname", "nomedoconvidado", "participante"}},
        {1, {"rg", "documento", "doc", "identidade", "registrogeral", "id", "idcard"}},
        {2, {"inscricao", "cpf", "cnpj", "cpfcnpj", "inscricaocpfcnpj", "taxid"}},
        {3, {"telefone", "fone", "tel", "phone", "telephone", "telefonefixo"}},
        {4, {"celular", "cel", "mobile", "cellphone", "cell", "whatsapp", "telefonecelular"}},
        {5, {"email", "mail", "correioeletronico"}},
        {6, {"quantidade", "qtd", "qtde", "quant", "quantity", "qty", "pessoas", "lugares"}},
        {7, {"condicao", "condition"}},
        {8, {"tipo", "type"}},
        {9, {"contrato", "contract", "exibirnocontrato", "nocontrato"}},
        {10, {"ordem", "order", "ordemnocontrato"}},
    };
    return all;
}

}  // namespace

const std::vector<GuestColumn>& GuestColumns() {
    static const std::vector<GuestColumn> columns = {
        {"NMLISTACONVOREV", "Nome"},         {"NRRGLISTAOREV", "R.G."},
        {"NRINSJURCLILISCONV", "Inscrição"}, {"NRTELCONVEVEN", "Telefone"},
        {"NRCELCONVEVEN", "Celular"},        {"DSEMAILCONVEVEN", "E-mail"},
        {"QUANTIDADE", "Quantidade"},        {"IDCONDICAOCONVEV", "Condição"},
        {"IDTIPOCONVEVEN", "Tipo"},          {"IDEXIBECONVCONTRAT", "Contrato"},
        {"NRORDEMEXIBCONTRAT", "Ordem"},
    };
    return columns;
}

int FieldOfHeader(const std::string& text) {
    const std::string folded = Folded(text);
    if (folded.empty()) return kIgnored;
    for (const Synonyms& s : AllSynonyms())
        for (const char* word : s.words)
            if (folded == word) return s.field;
    return kIgnored;
}

std::size_t ColumnCount(const SheetTable& table) {
    std::size_t count = 0;
    for (const SheetRow& row : table.rows) count = std::max(count, row.cells.size());
    return count;
}

ColumnGuess GuessColumns(const SheetTable& table) {
    ColumnGuess guess;
    guess.mapping.assign(ColumnCount(table), kIgnored);
    if (table.rows.empty()) return guess;
    const SheetRow& first = table.rows.front();
    std::vector<bool> taken(GuestColumns().size(), false);
    for (std::size_t c = 0; c < first.cells.size(); ++c) {
        const int field = FieldOfHeader(first.cells[c]);
        if (field == kIgnored || taken[static_cast<std::size_t>(field)]) continue;
        taken[static_cast<std::size_t>(field)] = true;
        guess.mapping[c] = field;
        guess.header = true;
    }
    if (!guess.header && !guess.mapping.empty()) guess.mapping[0] = 0;
    return guess;
}

corvana::DataPacket ImportRows(const SheetTable& table, const std::vector<int>& mapping,
                               bool header, std::vector<long>& skipped) {
    // Each field's first column.
    std::map<int, std::size_t> columnOf;
    for (std::size_t c = 0; c < mapping.size(); ++c)
        if (mapping[c] != kIgnored) columnOf.emplace(mapping[c], c);
    std::vector<corvana::FieldDef> fields = {{"NRCONTLINHA", corvana::FieldType::String, 10}};
    std::vector<std::size_t> sources;
    for (const auto& [field, column] : columnOf) {
        // Up to the longest text a spreadsheet cell holds: the server judges
        // the length.
        fields.push_back({GuestColumns()[static_cast<std::size_t>(field)].field,
                          corvana::FieldType::String, 32767});
        sources.push_back(column);
    }
    if (!columnOf.count(0))
        fields.push_back({"NMLISTACONVOREV", corvana::FieldType::String, 32767});
    corvana::DataPacket packet(std::move(fields));
    for (std::size_t r = header ? 1 : 0; r < table.rows.size(); ++r) {
        const SheetRow& row = table.rows[r];
        corvana::Row out;
        out.reserve(sources.size() + 2);
        out.emplace_back(std::to_string(row.line));
        bool blank = true;
        for (std::size_t column : sources) {
            const std::string& cell = column < row.cells.size() ? row.cells[column] : std::string();
            if (cell.find_first_not_of(" \t") != std::string::npos) blank = false;
            out.emplace_back(cell.size() <= 32767 ? cell : corvana::utf8Truncate(cell, 32767));
        }
        if (!columnOf.count(0)) out.emplace_back(std::string());
        if (blank) {
            skipped.push_back(row.line);
            continue;
        }
        packet.addRow(std::move(out));
    }
    return packet;
}

}  // namespace evt::sheet
