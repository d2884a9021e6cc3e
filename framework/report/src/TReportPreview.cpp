#include "corvana/report/TReportPreview.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QStandardPaths>
#include <QToolBar>

#include "corvana/core/Services.h"
#include "corvana/report/ReportPainter.h"
#include "corvana/ui/Guard.h"
#include "corvana/ui/Icons.h"

namespace corvana::report {

TReportPreview::TReportPreview(ReportDefinition def, ReportData data, ReportDocument doc,
                               QDateTime printedAt, QWidget* parent)
    : QPrintPreviewDialog(parent),
      def_(std::move(def)),
      data_(std::move(data)),
      doc_(std::move(doc)),
      printedAt_(std::move(printedAt)) {
    setObjectName(QStringLiteral("frmVisualizaRelatorio"));
    setWindowTitle(doc_.title + QStringLiteral(" — Visualização da impressão"));
    QPrinter* paper = printer();
    paper->setDocName(doc_.title);
    paper->setFullPage(true);
    paper->setPageLayout(QPageLayout(
        QPageSize(QPageSize::A4),
        def_.orientation == Orientation::Portrait ? QPageLayout::Portrait : QPageLayout::Landscape,
        QMarginsF(0, 0, 0, 0)));
    corvana::ui::GuardedConnect(this, &QPrintPreviewDialog::paintRequested, this,
                                [this](QPrinter* p) { Paint(p); });

    actSalvarPdf =
        new QAction(corvana::ui::ToolIcon("document-save"), QStringLiteral("Salvar PDF"), this);
    actSalvarPdf->setObjectName(QStringLiteral("actSalvarPdf"));
    actSalvarPdf->setToolTip(QStringLiteral("Salvar o relatório em um arquivo PDF"));
    corvana::ui::GuardedConnect(actSalvarPdf, &QAction::triggered, this, [this] { SalvarPdf(); });
    if (auto* bar = findChild<QToolBar*>()) {
        bar->addSeparator();
        bar->addAction(actSalvarPdf);
        if (QWidget* button = bar->widgetForAction(actSalvarPdf))
            button->setObjectName(QStringLiteral("tbtSalvarPdf"));
    }
    resize(900, 700);
}

TReportPreview::~TReportPreview() = default;

QSizeF TReportPreview::PaperSize() {
    return printer()->pageLayout().fullRect(QPageLayout::Point).size() * kUnitsPerPoint;
}

const ReportDocument& TReportPreview::Document() {
    const QSizeF paper = PaperSize();
    if (std::abs(paper.width() - doc_.pageSize.width()) > 1 ||
        std::abs(paper.height() - doc_.pageSize.height()) > 1)
        doc_ = LayoutReport(def_, data_, paper, printedAt_);
    return doc_;
}

void TReportPreview::Paint(QPrinter* target) {
    target->setFullPage(true);
    PaintReport(*target, Document());
}

void TReportPreview::SalvarPdf() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString suggested =
        QDir(folder.isEmpty() ? QDir::homePath() : folder).filePath(doc_.title + ".pdf");
    const auto chosen = corvana::services::SaveFileDialog().Execute("Documentos PDF (*.pdf)|*.pdf",
                                                                    suggested.toStdString());
    if (!chosen) return;
    QString path = QString::fromStdString(*chosen);
    if (QFileInfo(path).suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) != 0)
        path += QStringLiteral(".pdf");
    SaveReportPdf(Document(), path);
    corvana::services::Dialogs().ShowInformation("Relatório salvo em '" + path.toStdString() +
                                                 "'.");
}

}  // namespace corvana::report
