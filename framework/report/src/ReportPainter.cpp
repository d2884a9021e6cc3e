#include "corvana/report/ReportPainter.h"

#include <QFile>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

#include "corvana/data/Error.h"

namespace corvana::report {

namespace {

QColor Tone(int tone) {
    switch (tone) {
        case 1:
            return QColor(0xd9, 0xd9, 0xd9);
        case 2:
            return QColor(0xe4, 0xe9, 0xf0);
        default:
            return QColor(0xf2, 0xf2, 0xf2);
    }
}

// The document's paper (A4 unless the user chose another in the preview).
QPageLayout PaperLayout(const ReportDocument& doc) {
    const QSizeF points = doc.pageSize / kUnitsPerPoint;
    const bool landscape = points.width() > points.height();
    const QPageSize paper(landscape ? points.transposed() : points, QPageSize::Point, QString(),
                          QPageSize::FuzzyMatch);
    return QPageLayout(paper, landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0));
}

}  // namespace

void PaintReportPage(QPainter& painter, const ReportPage& page, const ReportDocument& doc,
                     double unitsToDevice) {
    painter.save();
    painter.scale(unitsToDevice, unitsToDevice);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    QPen rule(Qt::black);
    rule.setWidthF(0.6 * kUnitsPerPoint);
    QPen box(Qt::black);
    box.setWidthF(0.8 * kUnitsPerPoint);
    FontRole current = FontRole::Body;
    painter.setFont(ReportFont(current, doc.fontSize));
    painter.setPen(Qt::black);
    for (const PageItem& item : page.items) {
        switch (item.kind) {
            case PageItem::Kind::Shade:
                painter.fillRect(item.rect, Tone(item.tone));
                break;
            case PageItem::Kind::Rule:
                painter.setPen(rule);
                painter.drawLine(item.rect.topLeft(), item.rect.topRight());
                break;
            case PageItem::Kind::Box:
                painter.setPen(box);
                painter.setBrush(Qt::white);
                painter.drawRect(item.rect);
                painter.setBrush(Qt::NoBrush);
                break;
            case PageItem::Kind::Text:
                if (item.font != current) {
                    current = item.font;
                    painter.setFont(ReportFont(current, doc.fontSize));
                }
                painter.setPen(Qt::black);
                painter.drawText(item.rect, static_cast<int>(item.align) | Qt::TextSingleLine,
                                 item.text);
                break;
        }
    }
    painter.restore();
}

bool PaintReport(QPagedPaintDevice& device, const ReportDocument& doc) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    // Device pixels per layout unit, from the paper's width on the device.
    const double scale = device.width() / doc.pageSize.width();
    for (std::size_t i = 0; i < doc.pages.size(); ++i) {
        if (i > 0 && !device.newPage()) return false;
        PaintReportPage(painter, doc.pages[i], doc, scale);
    }
    return painter.end();
}

void SaveReportPdf(const ReportDocument& doc, const QString& path) {
    const QString partial = path + QStringLiteral(".parcial");
    bool ok = false;
    {
        QPdfWriter pdf(partial);
        pdf.setResolution(600);
        pdf.setCreator(QStringLiteral("Corvana Eventos"));
        pdf.setTitle(doc.title);
        pdf.setPageLayout(PaperLayout(doc));
        ok = PaintReport(pdf, doc);
    }
    if (ok) {
        QFile::remove(path);
        ok = QFile::rename(partial, path);
    }
    if (!ok) {
        QFile::remove(partial);
        throw corvana::Error("Não foi possível gravar o PDF em '" + path.toStdString() + "'.");
    }
}

QImage RenderReportPage(const ReportDocument& doc, int page, int dpi) {
    const double scale = dpi / 72.0 / kUnitsPerPoint;
    QImage image((doc.pageSize * scale).toSize(), QImage::Format_RGB32);
    image.setDotsPerMeterX(static_cast<int>(dpi / 0.0254));
    image.setDotsPerMeterY(static_cast<int>(dpi / 0.0254));
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintReportPage(painter, doc.pages.at(static_cast<std::size_t>(page)), doc, scale);
    painter.end();
    return image;
}

}  // namespace corvana::report
