// Fuzzes the spreadsheet import's CSV reader (sheet/CsvReader.h): the bytes
// of a file decoded, the separator detected and the records cut.
//
// What it holds it to:
//  - reading never raises but for the file's own faults (NUL bytes), and
//    every cell is well-formed UTF-8;
//  - the records' lines run 1, 2, 3... and there are no more of them than
//    the file has bytes;
//  - the separator detected is ";", "," or a tab;
//  - the cells written back as RFC 4180 (every cell quoted) and cut again
//    give the same records: quotes, separators and line breaks inside a
//    cell survive.
#include <cstdint>

#include "FuzzSupport.h"
#include "corvana/data/Error.h"
#include "corvana/data/Text.h"
#include "sheet/CsvReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    evt::sheet::CsvFile file;
    try {
        file = evt::sheet::ParseCsv(bytes, {}, "fuzz.csv");
    } catch (const corvana::Error& e) {
        const std::string_view what = e.what();
        fuzz::Check(what.find("não é um arquivo de texto") != std::string_view::npos,
                    "unexpected refusal", what);
        return 0;
    }
    const char sep = file.separator;
    fuzz::Check(sep == ';' || sep == ',' || sep == '\t', "separator");
    fuzz::Check(file.table.rows.size() <= size, "more records than bytes");
    std::string written;
    long line = 0;
    for (const evt::sheet::SheetRow& row : file.table.rows) {
        fuzz::Check(row.line == ++line, "line numbers out of order");
        fuzz::Check(!row.cells.empty(), "a record without cells");
        for (std::size_t c = 0; c < row.cells.size(); ++c) {
            fuzz::Check(corvana::isValidUtf8(row.cells[c]), "cell not UTF-8", row.cells[c]);
            if (c) written += sep;
            written += '"';
            for (char ch : row.cells[c])
                written += ch == '"' ? std::string("\"\"") : std::string(1, ch);
            written += '"';
        }
        written += "\n";
    }
    const evt::sheet::SheetTable again = evt::sheet::CutCsv(written, sep, "fuzz.csv");
    fuzz::Check(again.rows.size() == file.table.rows.size(), "records lost writing back", written);
    for (std::size_t r = 0; r < again.rows.size(); ++r)
        fuzz::Check(again.rows[r].cells == file.table.rows[r].cells, "cells changed writing back",
                    written);
    return 0;
}
