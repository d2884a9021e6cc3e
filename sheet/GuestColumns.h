#pragma once
// The columns of a spreadsheet mapped to a guest's fields, and the rows sent
// to the server's import (GetImpPlanilha, docs/protocol.md): what the wizard
// "Importar planilha…" guesses, shows and sends, without its widgets.
#include <string>
#include <vector>

#include "corvana/data/DataPacket.h"
#include "sheet/SheetTable.h"

namespace evt::sheet {

// A field a column may fill: the packet's field name and the label the
// wizard shows.
struct GuestColumn {
    const char* field;
    const char* label;
};

// Nome, R.G., Inscrição, Telefone, Celular, E-mail, Quantidade, Condição,
// Tipo, Contrato, Ordem.
const std::vector<GuestColumn>& GuestColumns();

inline constexpr int kIgnored = -1;

struct ColumnGuess {
    bool header = false;       // the first row names the columns
    std::vector<int> mapping;  // per file column: an index of GuestColumns(), or kIgnored
};

// The field a header text names, in Portuguese or English, without regard
// to case, accents, blanks and punctuation ("Nome", "NAME", "E-mail",
// "Qtd.", "CPF"); kIgnored when none.
int FieldOfHeader(const std::string& text);

// The mapping of a file's columns guessed from its first row: a header when
// one of its cells names a field (each field taken by the first column that
// names it); otherwise the first row is data and the first column is the
// name.
ColumnGuess GuessColumns(const SheetTable& table);

// The number of columns of the widest row.
std::size_t ColumnCount(const SheetTable& table);

// The rows to send: every row but the header (when `header`) and the blank
// ones, each with its line (NRCONTLINHA) and a text per mapped field (a
// field mapped twice takes its first column). Rows whose mapped cells are
// all blank are blank too. `skipped` receives the lines of the blank rows.
corvana::DataPacket ImportRows(const SheetTable& table, const std::vector<int>& mapping,
                               bool header, std::vector<long>& skipped);

}  // namespace evt::sheet
