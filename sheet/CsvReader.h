#pragma once
// The one reader of CSV and text files of guests, for the spreadsheet import
// wizard and its tests (docs/import.md): the separator (",", ";" or tab)
// and the encoding are detected, quotes are read as RFC 4180 (a quoted cell
// may hold the separator, a doubled quote and line breaks), a byte-order
// mark is honoured.
#include <optional>
#include <string>
#include <string_view>

#include "import/GuestFile.h"
#include "sheet/SheetTable.h"

namespace evt::sheet {

struct CsvOptions {
    // Unset: detected from the file.
    std::optional<char> separator;
    std::optional<GuestFileEncoding> encoding;
};

struct CsvFile {
    GuestFileEncoding encoding = GuestFileEncoding::Windows1252;
    char separator = ';';
    SheetTable table;
};

// The separator of the text: of ";", "," and tab, the one that cuts the
// first rows (quotes respected) into the same number of cells, more than
// one, most often; ";" when none does.
char DetectSeparator(std::string_view text);

// The rows of decoded text cut by the separator. Records end at LF, CR LF
// or a CR alone outside quotes; a last record without an end counts; an
// empty last line is no record. A quote opens a quoted cell only at the
// start of a cell; inside it "" is a quote, and the cell ends at the next
// lone quote (text after it up to the separator is kept as it is). An
// unclosed quote runs to the end of the file. A row's line is its record's
// number (the line a spreadsheet shows). Raises corvana::Error naming `path`
// past kMaxRows records.
SheetTable CutCsv(std::string_view text, char separator, const std::string& path);

// The bytes of a file decoded (DecodeGuestFile, or the encoding given) and
// cut (the separator given or detected). Raises corvana::Error naming `path`
// for NUL bytes and past kMaxRows records.
CsvFile ParseCsv(std::string_view bytes, const CsvOptions& options, const std::string& path);

// ParseCsv of the file at `path`, refusing first (CheckedFileSize) a file
// larger than kMaxFileBytes or that cannot be read.
CsvFile ReadCsvFile(const std::string& path, const CsvOptions& options = {});

// The name of an encoding as the wizard shows it ("UTF-8", "Windows-1252").
std::string EncodingName(GuestFileEncoding encoding);

}  // namespace evt::sheet
