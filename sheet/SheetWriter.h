#pragma once
// The guest list, or an import's report, written out as a spreadsheet: XLSX
// through libxlsxwriter, or CSV as a spreadsheet in Portuguese opens it
// (UTF-8 with a byte-order mark, ";", CR LF). Both raise corvana::Error
// naming the file when it cannot be written.
#include <string>
#include <vector>

namespace evt::sheet {

struct ExportColumn {
    std::string title;
    // A number column: its cells are written as numbers (a cell that does not
    // read as one stays a text); every other column is text, so that an R.G.
    // or a CPF keeps its leading zeros.
    bool numeric = false;
};

struct ExportTable {
    // The sheet's name (cut to 31 characters, without the characters a
    // sheet name cannot hold) and the workbook's title.
    std::string title;
    std::vector<ExportColumn> columns;
    std::vector<std::vector<std::string>> rows;  // cells as shown, UTF-8
};

// A header row in bold, frozen, then the rows; each column as wide as its
// longest text (within limits).
void WriteXlsx(const std::string& path, const ExportTable& table);

// The header row, then the rows; a cell holding ";", a quote or a line break
// is quoted (RFC 4180).
void WriteCsv(const std::string& path, const ExportTable& table);

// The sheet name the title gives.
std::string SheetName(const std::string& title);

}  // namespace evt::sheet
