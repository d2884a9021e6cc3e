#include "sheet/SheetWriter.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>

#include "corvana/data/Error.h"
#include "corvana/data/Text.h"

namespace evt::sheet {

namespace {

[[noreturn]] void Unwritable(const std::string& path, const std::string& why) {
    throw corvana::Error("Não foi possível gravar o arquivo \"" + path + "\": " + why + ".");
}

std::optional<double> NumberOf(const std::string& text) {
    std::string number = corvana::trimBlanks(text);
    if (number.empty()) return std::nullopt;
    std::replace(number.begin(), number.end(), ',', '.');
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
    return value;
}

// Column widths in characters: the longest text of the column, header
// included, between 6 and 60.
std::vector<double> Widths(const ExportTable& table) {
    std::vector<std::size_t> longest(table.columns.size(), 0);
    for (std::size_t c = 0; c < table.columns.size(); ++c)
        longest[c] = corvana::utf8Length(table.columns[c].title);
    for (const auto& row : table.rows)
        for (std::size_t c = 0; c < row.size() && c < longest.size(); ++c)
            longest[c] = std::max(longest[c],
                                  row[c].size() < 8 ? row[c].size() : corvana::utf8Length(row[c]));
    std::vector<double> widths;
    for (std::size_t n : longest)
        widths.push_back(static_cast<double>(std::clamp<std::size_t>(n + 2, 6, 60)));
    return widths;
}

struct WorkbookCloser {
    void operator()(lxw_workbook* wb) const {
        if (wb) workbook_close(wb);
    }
};

}  // namespace

std::string SheetName(const std::string& title) {
    std::string name;
    for (char c : title)
        name += std::string_view("[]:*?/\\").find(c) == std::string_view::npos ? c : '-';
    name = corvana::utf8Truncate(corvana::trimBlanks(name), 31);
    return name.empty() ? std::string("Convidados") : name;
}

void WriteXlsx(const std::string& path, const ExportTable& table) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* wb = workbook_new_opt(path.c_str(), &options);
    if (!wb) Unwritable(path, "não foi possível criar o arquivo");
    const std::string sheetName = SheetName(table.title);
    lxw_worksheet* ws = workbook_add_worksheet(wb, sheetName.c_str());
    if (!ws) {
        workbook_close(wb);
        Unwritable(path, "nome de folha inválido");
    }
    lxw_doc_properties properties{};
    properties.title = const_cast<char*>(table.title.c_str());
    workbook_set_properties(wb, &properties);

    lxw_format* header = workbook_add_format(wb);
    format_set_bold(header);
    lxw_format* text = workbook_add_format(wb);
    format_set_num_format(text, "@");

    const std::vector<double> widths = Widths(table);
    for (std::size_t c = 0; c < widths.size(); ++c) {
        const auto col = static_cast<lxw_col_t>(c);
        worksheet_set_column(ws, col, col, widths[c], table.columns[c].numeric ? nullptr : text);
    }
    worksheet_freeze_panes(ws, 1, 0);
    for (std::size_t c = 0; c < table.columns.size(); ++c)
        worksheet_write_string(ws, 0, static_cast<lxw_col_t>(c), table.columns[c].title.c_str(),
                               header);
    lxw_row_t r = 1;
    for (const auto& row : table.rows) {
        for (std::size_t c = 0; c < row.size() && c < table.columns.size(); ++c) {
            const std::string& cell = row[c];
            if (cell.empty()) continue;
            const auto col = static_cast<lxw_col_t>(c);
            if (table.columns[c].numeric) {
                if (const auto number = NumberOf(cell)) {
                    worksheet_write_number(ws, r, col, *number, nullptr);
                    continue;
                }
            }
            worksheet_write_string(ws, r, col, cell.c_str(), text);
        }
        ++r;
    }
    const lxw_error error = workbook_close(wb);
    if (error != LXW_NO_ERROR) Unwritable(path, lxw_strerror(error));
}

void WriteCsv(const std::string& path, const ExportTable& table) {
    std::string out = "\xEF\xBB\xBF";
    auto add = [&out](const std::string& cell) {
        if (cell.find_first_of(";\"\r\n") == std::string::npos) {
            out += cell;
            return;
        }
        out += '"';
        for (char c : cell) out += c == '"' ? std::string("\"\"") : std::string(1, c);
        out += '"';
    };
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        if (c) out += ';';
        add(table.columns[c].title);
    }
    out += "\r\n";
    for (const auto& row : table.rows) {
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            if (c) out += ';';
            if (c < row.size()) add(row[c]);
        }
        out += "\r\n";
    }
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) Unwritable(path, "não foi possível criar o arquivo");
    if (std::fwrite(out.data(), 1, out.size(), file.get()) != out.size())
        Unwritable(path, "erro de gravação");
    if (std::fclose(file.release()) != 0) Unwritable(path, "erro de gravação");
}

}  // namespace evt::sheet
