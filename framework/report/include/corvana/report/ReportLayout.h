#pragma once
#include <QDateTime>
#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <map>
#include <string>
#include <vector>

#include "corvana/report/ReportDefinition.h"

// The pages of a report, laid out once and drawn on any device (preview,
// printer, PDF, picture) the same way. Positions and sizes are in layout
// units of a tenth of a point from the page's top-left corner, so that the
// pages, their breaks and their numbers do not depend on the device:
// fonts are sized in the same units (QFont::setPixelSize) and the painter
// is scaled to the device's resolution (ReportPainter.h).
//
// Neither this nor ReportData needs the event loop: both run on a worker
// thread while the window stays responsive.
namespace corvana::report {

inline constexpr double kUnitsPerPoint = 10;
inline constexpr double kUnitsPerMm = kUnitsPerPoint * 72.0 / 25.4;
inline constexpr double kMarginSideMm = 12;
inline constexpr double kMarginTopMm = 10;
inline constexpr double kMarginBottomMm = 10;

// A4, in layout units.
QSizeF PageSize(Orientation orientation);
// The width between the side margins, in millimetres.
double UsableWidthMm(Orientation orientation);

// What the queries gave: the rows of the main query (cells as text, null as
// "") and the first row of the header query.
struct ReportData {
    std::vector<std::string> fields;  // column names of the main query
    std::vector<std::vector<QString>> rows;
    std::map<std::string, QString> header;  // header field -> value

    // The column of a field (case-insensitive), or -1.
    int FieldIndex(const std::string& name) const;
};

// Puts the rows in the definition's order: by group, then by the sort keys
// (stable: rows equal on every key keep the query's order).
void SortReportRows(const ReportDefinition& def, ReportData& data);

enum class FontRole { Body, Bold, Title, Small, SmallBold };
// The font of a role for a report whose body text is `bodySize` points.
QFont ReportFont(FontRole role, double bodySize);

struct PageItem {
    enum class Kind { Text, Box, Rule, Shade };
    Kind kind = Kind::Text;
    QRectF rect;
    QString text;  // one line, drawn without wrapping
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    FontRole font = FontRole::Body;
    int tone = 0;  // of a shade: 0 alternate rows, 1 column titles, 2 group titles
};

struct ReportPage {
    std::vector<PageItem> items;
    int rows = 0;                     // data rows printed on the page
    std::vector<long> pageTotals;     // each total over the page's rows
    std::vector<long> runningTotals;  // each total up to the page's end
};

struct ReportDocument {
    QString title;
    QSizeF pageSize;  // layout units
    double fontSize = 9;
    std::vector<ReportPage> pages;
    std::vector<long> totals;  // over every row, in the definition's order
    // Where each column's cells are, across the page (layout units), for
    // whoever checks that no cell runs into the next.
    std::vector<std::pair<double, double>> columnSpans;
};

// Lays the rows out on pages of `pageSize` (layout units): on each page the
// title, the header fields, the column titles, the rows (a cell's text
// wrapped within its column, never past it), the groups with their
// subtotals, and a footer with each total on the page and up to it and
// "Página X de Y"; the totals of the whole report close the last page.
// Raises corvana::Error naming the definition's file when a field it reads
// is not a column of the query.
ReportDocument LayoutReport(const ReportDefinition& def, const ReportData& data, QSizeF pageSize,
                            const QDateTime& printedAt);

// The text a column shows for a value (its "values" and "otherwise").
QString CellText(const ReportColumn& column, const QString& value);

}  // namespace corvana::report
