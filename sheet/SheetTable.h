#pragma once
// A spreadsheet's rows as the guest import reads them, whatever the file
// (CSV, text or XLSX): each row's cells as UTF-8 texts and the row's number
// in the file (the line a spreadsheet shows beside it), so that every row of
// the file can be reported.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace evt::sheet {

struct SheetRow {
    long line = 0;  // 1 for the file's first row
    std::vector<std::string> cells;
    bool operator==(const SheetRow&) const = default;
};

struct SheetTable {
    std::vector<SheetRow> rows;
};

// What a file may hold: larger files are refused before they are read
// whole.
inline constexpr std::uint64_t kMaxFileBytes = 50ull * 1024 * 1024;
inline constexpr std::size_t kMaxRows = 200000;
// 200,000 guests of 20 columns: a sheet that needs more cells is not a
// guest list, and would take gigabytes (an empty cell still takes the room
// of a text, 32 bytes: the cells stay under 128 MB). No row is wider than a
// spreadsheet's last column.
inline constexpr std::size_t kMaxCells = 4'000'000;
inline constexpr std::size_t kMaxColumns = 16384;

// "50 MB" and "200.000", as the messages write them.
std::string TooLargeText(const std::string& path);
std::string TooManyRowsText(const std::string& path);

// The file's size, refusing (corvana::Error naming the file) a file that
// cannot be read, is not a regular file or is larger than kMaxFileBytes.
std::uint64_t CheckedFileSize(const std::string& path);

// True when every cell of the row is empty or blank: a skipped row.
bool IsBlankRow(const SheetRow& row);

}  // namespace evt::sheet
