#pragma once
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A report definition: what a report prints and how (docs/reports.md). One
// JSON file per definition in the reports folder, named after its report
// code ("EVT078-lista-por-nome.json"). Reading a definition checks all of it
// at once; a fault raises corvana::Error with a Portuguese text that names
// the file and the fault.
namespace corvana::report {

// The format version this reader understands.
inline constexpr int kReportFormat = 1;

enum class Align { Left, Center, Right };
enum class Orientation { Portrait, Landscape };

struct ReportParameter {
    std::string name;          // P_CDFILIAL
    std::string defaultValue;  // the value it has when nobody sets it
};

struct HeaderField {
    std::string label;
    std::string field;
};

struct ReportColumn {
    enum class Kind { Text, Checkbox };
    Kind kind = Kind::Text;
    std::string field;  // empty for a check box
    std::string label;
    double widthMm = 0;
    Align align = Align::Left;
    // Codes shown as words: a value found here shows its word; any other
    // value shows `otherwise` when it is given, itself when not. A null
    // value counts as the empty text.
    std::map<std::string, std::string> values;
    std::optional<std::string> otherwise;
};

struct SortKey {
    std::string field;
    bool descending = false;
    // Numbers compare by value and come before texts that are no number;
    // texts compare as a Brazilian reader orders them (accents and case
    // second).
    bool numeric = false;
};

struct ReportGroup {
    std::string field;
    // By the whole value, or by its first letter without accent ("Élida"
    // goes under "E").
    bool byInitial = false;
    std::string label;
};

// A count of rows: all of them, or those whose field holds one of `equals`
// (or none of `notEquals`). A null value counts as the empty text.
struct ReportTotal {
    std::string label;
    std::string field;
    std::vector<std::string> equals;
    std::vector<std::string> notEquals;
};

struct ReportDefinition {
    std::filesystem::path file;  // where it was read from
    std::string report;          // report code: "EVT078"
    std::string title;
    Orientation orientation = Orientation::Portrait;
    double fontSize = 9;  // points
    std::vector<ReportParameter> parameters;
    std::string query;
    std::string headerQuery;  // empty: no header fields
    std::vector<HeaderField> headerFields;
    std::vector<ReportColumn> columns;
    std::optional<ReportGroup> group;
    std::vector<SortKey> sort;
    std::vector<ReportTotal> totals;

    std::vector<std::string> ParameterNames() const;
    // Every field the layout reads from the main query's rows.
    std::vector<std::string> ReferencedFields() const;
    std::string FileName() const { return file.filename().string(); }
};

// Reads a definition from its JSON text; `fileName` names it in errors.
ReportDefinition ParseReportDefinition(std::string_view json, const std::filesystem::path& file);
// Reads the file. A file that cannot be read is an error naming it.
ReportDefinition LoadReportDefinition(const std::filesystem::path& file);

// The definitions of one report code in a folder, by title, and the faults
// of the files of that code that could not be read (one text each).
struct ReportCatalog {
    std::vector<ReportDefinition> definitions;
    std::vector<std::string> faults;
    // True when the folder holds at least one file of the code, readable or
    // not.
    bool AnyFile() const { return !definitions.empty() || !faults.empty(); }
};

// The files of `code` are those whose name starts with the code followed by
// "-", "_" or "." and ends with ".json" (letters compared without regard to
// case). A missing folder holds none.
ReportCatalog LoadReportCatalog(const std::filesystem::path& folder, const std::string& code);

// Writes a copy of `source` under `newTitle` into `folder`, next to the
// other definitions of its code, and answers its path. The copy keeps the
// source's text (keys, order, query) with the title replaced; its name is
// the code and the title in plain letters ("EVT078-festa-de-sabado.json"),
// numbered when taken. Raises corvana::Error when the title is empty or is
// the title of a definition of the same code already in the folder, or
// when the file cannot be written (nothing is left behind).
std::filesystem::path SaveReportCopy(const ReportDefinition& source, const std::string& newTitle,
                                     const std::filesystem::path& folder);

}  // namespace corvana::report
