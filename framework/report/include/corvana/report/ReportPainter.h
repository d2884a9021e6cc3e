#pragma once
#include <QImage>
#include <QString>

#include "corvana/report/ReportLayout.h"

class QPainter;
class QPagedPaintDevice;

// Draws laid-out pages (ReportLayout.h) on a device: the preview, a printer,
// a PDF file or a picture.
namespace corvana::report {

// Draws one page with the painter's origin at the page's top-left corner
// and its scale at `unitsToDevice` device pixels per layout unit.
void PaintReportPage(QPainter& painter, const ReportPage& page, const ReportDocument& doc,
                     double unitsToDevice);

// Draws every page on a paged device (printer, PDF writer) whose page is
// the whole paper (no printer margins: the report has its own). The
// device's page size and orientation are the caller's. False when the
// device could not be painted on or a new page could not be started.
bool PaintReport(QPagedPaintDevice& device, const ReportDocument& doc);

// Writes the document as a PDF file (A4 in the document's orientation,
// text kept as text with its fonts embedded). Raises corvana::Error with the
// path when the file cannot be written.
void SaveReportPdf(const ReportDocument& doc, const QString& path);

// A picture of one page (0-based) at `dpi`, white paper.
QImage RenderReportPage(const ReportDocument& doc, int page, int dpi);

}  // namespace corvana::report
