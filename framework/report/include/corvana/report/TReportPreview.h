#pragma once
#include <QDateTime>
#include <QPrintPreviewDialog>

#include "corvana/report/ReportDefinition.h"
#include "corvana/report/ReportLayout.h"

class QAction;

namespace corvana::report {

// The print preview of a report: Qt's preview (pages, zoom, page set-up,
// print) with one more tool button, "Salvar PDF" (actSalvarPdf, its button
// named tbtSalvarPdf), that writes the pages shown to a PDF file chosen in
// the save-file dialog. The pages are laid out again when the user changes
// the paper or its orientation, so what is printed or saved is what is
// shown. The printer prints the whole paper: the report keeps its own
// margins.
class TReportPreview : public QPrintPreviewDialog {
    Q_OBJECT
public:
    // `doc` is `data` laid out for A4 in the definition's orientation.
    TReportPreview(ReportDefinition def, ReportData data, ReportDocument doc, QDateTime printedAt,
                   QWidget* parent = nullptr);
    ~TReportPreview() override;

    // The pages as they are laid out for the printer's paper now.
    const ReportDocument& Document();
    // Asks where (SaveFileDialog) and writes the PDF there; ".pdf" is added
    // to a name without it. Nothing happens when the user cancels. Tells
    // where the file went; a file that cannot be written is an error.
    void SalvarPdf();

    QAction* actSalvarPdf = nullptr;

private:
    void Paint(QPrinter* printer);
    QSizeF PaperSize();

    ReportDefinition def_;
    ReportData data_;
    ReportDocument doc_;
    QDateTime printedAt_;
};

}  // namespace corvana::report
