#pragma once
// The verdicts of the server's import of a spreadsheet (GetImpPlanilha) and
// the report of every row of the file that the wizard shows after it: rows
// read = added + refused + skipped, no row unaccounted for.
#include <string>
#include <vector>

#include "corvana/data/DataPacket.h"

namespace evt::sheet {

struct Verdict {
    std::string line;
    bool added = false;
    std::string code, reason;  // empty when added
};

// The verdicts of a GetImpPlanilha answer, in its order. Raises
// corvana::Error when the answer is not the packet of verdicts.
std::vector<Verdict> VerdictsOf(const corvana::DataPacket& answer);

// The rows of `rows` whose verdict (same order) says they can be added.
corvana::DataPacket AddableRows(const corvana::DataPacket& rows,
                                const std::vector<Verdict>& verdicts);

struct ImportCounts {
    std::size_t read = 0, added = 0, refused = 0, skipped = 0;
};

// Every row read, in line order, as the record list shows it: Linha,
// Resultado ("Adicionado", "Recusado", "Em branco"), Motivo, Nome, R.G.
// `rows` are the rows sent to the preview with `preview` their verdicts;
// `imported` the verdicts of the rows then sent to the import (the addable
// ones), which decide those rows; `skipped` the blank rows' lines.
corvana::DataPacket ImportReport(const corvana::DataPacket& rows,
                                 const std::vector<Verdict>& preview,
                                 const std::vector<Verdict>& imported,
                                 const std::vector<long>& skipped, ImportCounts& counts);

// The report's fields, for the dataset the record list shows (with their
// display labels).
struct ReportField {
    const char* name;
    int size;
    const char* label;
};
const std::vector<ReportField>& ReportFields();

// "Planilha importada: 12 linhas lidas = 9 adicionadas + 2 recusadas + 1 em
// branco."
std::string CountsText(const ImportCounts& counts);

// What the preview's counts say: "6 linhas lidas: 2 serão adicionadas, 3
// recusadas, 1 em branco." (`counts.added` being the rows that can be).
std::string PreviewCountsText(const ImportCounts& counts);

}  // namespace evt::sheet
