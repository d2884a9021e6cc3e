#pragma once
// A small reader of XLSX workbooks for the guest import: the names of the
// sheets, and one sheet's cells as texts, over minizip (the zip) and Qt's
// QXmlStreamReader (the XML of the workbook, its relations, the shared
// strings and the sheet). No style, no formula is evaluated.
//
// A cell is read as: its shared or inline string; a number as its shortest
// text ("12345678", "1.5"), so that an R.G. or a CPF typed as a number
// keeps its digits; a boolean as "VERDADEIRO"/"FALSO"; no cell, or an empty
// one, as "". Refused with corvana::Error, in Portuguese, naming the file and
// the cell: a formula (the value a program last computed may be stale) and
// a date (no field of a guest is a date: an R.G. or a telephone that the
// spreadsheet program took for a date has lost its digits), an error value
// and a shared-string index out of range. Refused naming the file: what is
// not a zip, a workbook without the sheet asked for, a part larger than the
// limits, more than kMaxRows rows, a file larger than kMaxFileBytes.
#include <string>
#include <vector>

#include "sheet/SheetTable.h"

namespace evt::sheet {

// The names of the workbook's sheets, in its order.
std::vector<std::string> XlsxSheetNames(const std::string& path);

// The rows of the sheet at `sheetIndex` (0 for the first), each with the
// row's number in the sheet; rows the file leaves out (empty ones) are not
// there, and cells it leaves out within a row are "".
SheetTable ReadXlsx(const std::string& path, std::size_t sheetIndex = 0);

}  // namespace evt::sheet
