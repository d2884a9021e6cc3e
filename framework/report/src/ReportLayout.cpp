#include "corvana/report/ReportLayout.h"

#include <QCollator>
#include <QFontMetricsF>
#include <QLocale>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <optional>

#include "corvana/data/Error.h"

namespace corvana::report {

namespace {

constexpr double kPoint = kUnitsPerPoint;
constexpr double kPadH = 2 * kPoint;    // inside a cell, each side
constexpr double kPadV = 1.2 * kPoint;  // above and below a cell's lines

double Mm(double mm) {
    return mm * kUnitsPerMm;
}

bool SameName(const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

// The lines of a text within `width`, broken between words where it can and
// anywhere inside a word that is wider than the column.
QStringList Wrap(const QString& text, const QFont& font, const QFontMetricsF& fm, double width) {
    if (text.isEmpty()) return {QString()};
    if (!text.contains('\n') && fm.horizontalAdvance(text) <= width) return {text};
    QStringList lines;
    for (const QString& paragraph : text.split('\n')) {
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        if (paragraph.isEmpty()) lines << QString();
    }
    return lines;
}

// A value's group: itself, or its first letter without accent.
QString GroupKey(const ReportGroup& group, const QString& value) {
    const QString trimmed = value.trimmed();
    if (!group.byInitial) return trimmed;
    for (QChar ch : trimmed.normalized(QString::NormalizationForm_KD)) {
        if (ch.category() == QChar::Mark_NonSpacing) continue;
        if (ch.isLetter()) return ch.toUpper();
        return QStringLiteral("#");
    }
    return QStringLiteral("#");
}

bool Counts(const ReportTotal& total, int column, const std::vector<QString>& row) {
    if (column < 0) return true;
    const std::string value = row[static_cast<std::size_t>(column)].toStdString();
    if (!total.equals.empty())
        return std::find(total.equals.begin(), total.equals.end(), value) != total.equals.end();
    return std::find(total.notEquals.begin(), total.notEquals.end(), value) ==
           total.notEquals.end();
}

QString Number(long n) {
    return QString::number(n);
}

// Builds the pages one row at a time.
class Composer {
public:
    Composer(const ReportDefinition& def, const ReportData& data, QSizeF pageSize,
             const QDateTime& printedAt)
        : def_(def), data_(data), page_(pageSize) {
        for (FontRole role : {FontRole::Body, FontRole::Bold, FontRole::Title, FontRole::Small,
                              FontRole::SmallBold}) {
            fonts_.push_back(ReportFont(role, def.fontSize));
            metrics_.emplace_back(fonts_.back());
        }
        left_ = Mm(kMarginSideMm);
        right_ = page_.width() - Mm(kMarginSideMm);
        top_ = Mm(kMarginTopMm);
        bottom_ = page_.height() - Mm(kMarginBottomMm);
        CheckFields();
        PlaceColumns();
        BuildHeader(printedAt);
        const double footerLines = std::max<std::size_t>(1, def_.totals.size());
        footerTop_ = bottom_ - footerLines * LineHeight(FontRole::Small) - 3 * kPoint;
        bodyBottom_ = footerTop_ - 2 * kPoint;
        for (const ReportTotal& t : def_.totals)
            totalColumns_.push_back(t.field.empty() ? -1 : data_.FieldIndex(t.field));
        doc_.title = QString::fromStdString(def_.title);
        doc_.pageSize = page_;
        doc_.fontSize = def_.fontSize;
        doc_.totals.assign(def_.totals.size(), 0);
    }

    ReportDocument Compose() {
        NewPage();
        const int groupColumn = def_.group ? data_.FieldIndex(def_.group->field) : -1;
        std::optional<QString> group;
        std::vector<long> groupTotals(def_.totals.size(), 0);
        for (const auto& row : data_.rows) {
            if (def_.group) {
                const QString key =
                    GroupKey(*def_.group, row[static_cast<std::size_t>(groupColumn)]);
                if (!group || key != *group) {
                    if (group) GroupFooter(groupTotals);
                    group = key;
                    groupTotals.assign(def_.totals.size(), 0);
                    GroupHeader(key, RowHeight(row), false);
                }
            }
            const double height = RowHeight(row);
            if (y_ + height > bodyBottom_ && y_ > bodyTop_) {
                NewPage();
                if (group) GroupHeader(*group, height, true);
            }
            Row(row, height);
            for (std::size_t t = 0; t < def_.totals.size(); ++t) {
                if (!Counts(def_.totals[t], totalColumns_[t], row)) continue;
                ++doc_.totals[t];
                ++doc_.pages.back().pageTotals[t];
                ++groupTotals[t];
            }
        }
        if (group) GroupFooter(groupTotals);
        if (data_.rows.empty())
            Note(QStringLiteral("Nenhum registro encontrado para os parâmetros informados."));
        Summary();
        Footers();
        return std::move(doc_);
    }

private:
    const QFont& Font(FontRole role) const { return fonts_[static_cast<std::size_t>(role)]; }
    const QFontMetricsF& Metrics(FontRole role) const {
        return metrics_[static_cast<std::size_t>(role)];
    }
    double LineHeight(FontRole role) const { return std::ceil(Metrics(role).height() * 1.08); }

    void CheckFields() const {
        for (const std::string& field : def_.ReferencedFields()) {
            if (data_.FieldIndex(field) < 0)
                throw corvana::Error("O relatório '" + def_.FileName() + "' usa o campo '" + field +
                                     "', que a sua consulta não devolve.");
        }
        for (const HeaderField& field : def_.headerFields) {
            const bool found =
                std::any_of(data_.header.begin(), data_.header.end(),
                            [&](const auto& h) { return SameName(h.first, field.field); });
            if (!found)
                throw corvana::Error("O relatório '" + def_.FileName() + "' usa o campo '" +
                                     field.field +
                                     "' no cabeçalho, que a consulta do cabeçalho não devolve.");
        }
    }

    QString HeaderValue(const std::string& field) const {
        for (const auto& [name, value] : data_.header)
            if (SameName(name, field)) return value;
        return {};
    }

    // Columns keep their widths; on a page narrower than their sum (the user
    // chose another orientation) they shrink in proportion.
    void PlaceColumns() {
        double sum = 0;
        for (const ReportColumn& c : def_.columns) sum += Mm(c.widthMm);
        const double scale = std::min(1.0, (right_ - left_) / sum);
        double x = left_;
        for (const ReportColumn& c : def_.columns) {
            const double w = Mm(c.widthMm) * scale;
            doc_.columnSpans.emplace_back(x, x + w);
            x += w;
        }
        tableRight_ = x;
        for (const ReportColumn& c : def_.columns)
            cellColumns_.push_back(c.field.empty() ? -1 : data_.FieldIndex(c.field));
    }

    static Qt::Alignment Alignment(Align align) {
        switch (align) {
            case Align::Center:
                return Qt::AlignHCenter | Qt::AlignVCenter;
            case Align::Right:
                return Qt::AlignRight | Qt::AlignVCenter;
            case Align::Left:
                break;
        }
        return Qt::AlignLeft | Qt::AlignVCenter;
    }

    void Add(std::vector<PageItem>& items, PageItem::Kind kind, QRectF rect, QString text = {},
             FontRole font = FontRole::Body, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter,
             int tone = 0) {
        PageItem item;
        item.kind = kind;
        item.rect = rect;
        item.text = std::move(text);
        item.font = font;
        item.align = align;
        item.tone = tone;
        items.push_back(std::move(item));
    }

    // Lines of text in a cell, from its top.
    void Lines(std::vector<PageItem>& items, const QStringList& lines, double x0, double x1,
               double y, FontRole font, Qt::Alignment align) {
        const double lh = LineHeight(font);
        for (int i = 0; i < lines.size(); ++i)
            if (!lines[i].isEmpty())
                Add(items, PageItem::Kind::Text,
                    QRectF(x0 + kPadH, y + kPadV + i * lh, x1 - x0 - 2 * kPadH, lh), lines[i], font,
                    align);
    }

    // Title, issue time, header fields and the column titles: the same on
    // every page.
    void BuildHeader(const QDateTime& printedAt) {
        const double width = right_ - left_;
        double y = top_;
        const QString stamp =
            QStringLiteral("Emitido em ") + printedAt.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
        const double stampWidth = Metrics(FontRole::Small).horizontalAdvance(stamp) + 2 * kPoint;
        const double titleHeight = LineHeight(FontRole::Title);
        const QString title = Metrics(FontRole::Title)
                                  .elidedText(QString::fromStdString(def_.title), Qt::ElideRight,
                                              width - stampWidth - 6 * kPoint);
        Add(header_, PageItem::Kind::Text, QRectF(left_, y, width - stampWidth, titleHeight), title,
            FontRole::Title);
        Add(header_, PageItem::Kind::Text, QRectF(right_ - stampWidth, y, stampWidth, titleHeight),
            stamp, FontRole::Small, Qt::AlignRight | Qt::AlignVCenter);
        y += titleHeight + 2 * kPoint;

        if (!def_.headerFields.empty()) {
            const double lh = LineHeight(FontRole::Body);
            double x = left_;
            for (const HeaderField& field : def_.headerFields) {
                const QString label = QString::fromStdString(field.label) + ":";
                const double lw = Metrics(FontRole::Bold).horizontalAdvance(label) + 3 * kPoint;
                QString value = HeaderValue(field.field);
                double vw = Metrics(FontRole::Body).horizontalAdvance(value) + kPoint;
                if (x > left_ && x + lw + vw > right_) {
                    x = left_;
                    y += lh;
                }
                if (lw + vw > width) {
                    value = Metrics(FontRole::Body)
                                .elidedText(value, Qt::ElideRight, width - lw - kPoint);
                    vw = width - lw;
                }
                Add(header_, PageItem::Kind::Text, QRectF(x, y, lw, lh), label, FontRole::Bold);
                Add(header_, PageItem::Kind::Text, QRectF(x + lw, y, vw, lh), value,
                    FontRole::Body);
                x += lw + vw + 14 * kPoint;
            }
            y += lh;
        }
        y += 3 * kPoint;
        Add(header_, PageItem::Kind::Rule, QRectF(left_, y, width, 0));
        y += 3 * kPoint;

        std::vector<QStringList> titles;
        int most = 1;
        for (std::size_t c = 0; c < def_.columns.size(); ++c) {
            const auto [x0, x1] = doc_.columnSpans[c];
            titles.push_back(Wrap(QString::fromStdString(def_.columns[c].label),
                                  Font(FontRole::Bold), Metrics(FontRole::Bold),
                                  x1 - x0 - 2 * kPadH));
            most = std::max(most, static_cast<int>(titles.back().size()));
        }
        const double th = most * LineHeight(FontRole::Bold) + 2 * kPadV;
        Add(header_, PageItem::Kind::Shade, QRectF(left_, y, tableRight_ - left_, th), {},
            FontRole::Body, Qt::AlignLeft, 1);
        for (std::size_t c = 0; c < def_.columns.size(); ++c) {
            const auto [x0, x1] = doc_.columnSpans[c];
            Lines(header_, titles[c], x0, x1, y, FontRole::Bold, Alignment(def_.columns[c].align));
        }
        y += th;
        Add(header_, PageItem::Kind::Rule, QRectF(left_, y, tableRight_ - left_, 0));
        bodyTop_ = y + kPoint;
    }

    void NewPage() {
        if (!doc_.pages.empty()) doc_.pages.back().runningTotals = Running();
        ReportPage page;
        page.items = header_;
        page.pageTotals.assign(def_.totals.size(), 0);
        doc_.pages.push_back(std::move(page));
        y_ = bodyTop_;
        rowsOnPage_ = 0;
    }

    std::vector<long> Running() const { return doc_.totals; }

    std::vector<QStringList> CellLines(const std::vector<QString>& row) const {
        std::vector<QStringList> cells;
        for (std::size_t c = 0; c < def_.columns.size(); ++c) {
            const ReportColumn& column = def_.columns[c];
            if (column.kind == ReportColumn::Kind::Checkbox) {
                cells.push_back({QString()});
                continue;
            }
            const auto [x0, x1] = doc_.columnSpans[c];
            const QString text = CellText(column, row[static_cast<std::size_t>(cellColumns_[c])]);
            cells.push_back(
                Wrap(text, Font(FontRole::Body), Metrics(FontRole::Body), x1 - x0 - 2 * kPadH));
        }
        return cells;
    }

    double RowHeight(const std::vector<QString>& row) const {
        int most = 1;
        for (const QStringList& lines : CellLines(row))
            most = std::max(most, static_cast<int>(lines.size()));
        return most * LineHeight(FontRole::Body) + 2 * kPadV;
    }

    void Row(const std::vector<QString>& row, double height) {
        ReportPage& page = doc_.pages.back();
        if (rowsOnPage_ % 2 == 1)
            Add(page.items, PageItem::Kind::Shade, QRectF(left_, y_, tableRight_ - left_, height));
        const std::vector<QStringList> cells = CellLines(row);
        for (std::size_t c = 0; c < def_.columns.size(); ++c) {
            const auto [x0, x1] = doc_.columnSpans[c];
            const ReportColumn& column = def_.columns[c];
            if (column.kind == ReportColumn::Kind::Checkbox) {
                const double side = std::min(Mm(3.2), LineHeight(FontRole::Body) * 0.9);
                const double top = y_ + kPadV + (LineHeight(FontRole::Body) - side) / 2;
                double x = x0 + kPadH;
                if (column.align == Align::Center) x = (x0 + x1 - side) / 2;
                if (column.align == Align::Right) x = x1 - kPadH - side;
                Add(page.items, PageItem::Kind::Box, QRectF(x, top, side, side));
                continue;
            }
            Lines(page.items, cells[c], x0, x1, y_, FontRole::Body, Alignment(column.align));
        }
        y_ += height;
        ++rowsOnPage_;
        ++page.rows;
    }

    void GroupHeader(const QString& key, double firstRowHeight, bool continued) {
        const double height = LineHeight(FontRole::Bold) + 2 * kPadV;
        if (y_ + height + firstRowHeight > bodyBottom_ && y_ > bodyTop_) NewPage();
        QString text = def_.group->label.empty()
                           ? key
                           : QString::fromStdString(def_.group->label) + ": " + key;
        if (continued) text += QStringLiteral(" (continuação)");
        ReportPage& page = doc_.pages.back();
        Add(page.items, PageItem::Kind::Shade, QRectF(left_, y_, tableRight_ - left_, height), {},
            FontRole::Body, Qt::AlignLeft, 2);
        Add(page.items, PageItem::Kind::Text,
            QRectF(left_ + kPadH, y_ + kPadV, tableRight_ - left_ - 2 * kPadH,
                   LineHeight(FontRole::Bold)),
            text, FontRole::Bold);
        y_ += height;
        rowsOnPage_ = 0;  // the shading starts again under each title
    }

    void GroupFooter(const std::vector<long>& totals) {
        if (def_.totals.empty()) return;
        QStringList parts;
        for (std::size_t t = 0; t < totals.size(); ++t)
            parts << QString::fromStdString(def_.totals[t].label) + ": " + Number(totals[t]);
        const double height = LineHeight(FontRole::SmallBold) + 2 * kPadV;
        if (y_ + height > bodyBottom_) NewPage();
        ReportPage& page = doc_.pages.back();
        Add(page.items, PageItem::Kind::Text,
            QRectF(left_ + kPadH, y_ + kPadV, tableRight_ - left_ - 2 * kPadH,
                   LineHeight(FontRole::SmallBold)),
            parts.join(QStringLiteral("   ")), FontRole::SmallBold,
            Qt::AlignRight | Qt::AlignVCenter);
        y_ += height + 2 * kPoint;
    }

    void Note(const QString& text) {
        const double height = LineHeight(FontRole::Body) + 2 * kPadV;
        Add(doc_.pages.back().items, PageItem::Kind::Text,
            QRectF(left_ + kPadH, y_ + kPadV, right_ - left_ - 2 * kPadH,
                   LineHeight(FontRole::Body)),
            text);
        y_ += height;
    }

    // The totals of the whole report, after its last row.
    void Summary() {
        if (def_.totals.empty()) return;
        const double lh = LineHeight(FontRole::Bold);
        const double height =
            4 * kPoint + lh * static_cast<double>(1 + def_.totals.size()) + 2 * kPadV;
        if (y_ + height > bodyBottom_) NewPage();
        ReportPage& page = doc_.pages.back();
        double y = y_ + 2 * kPoint;
        Add(page.items, PageItem::Kind::Rule, QRectF(left_, y, tableRight_ - left_, 0));
        y += 2 * kPoint + kPadV;
        Add(page.items, PageItem::Kind::Text, QRectF(left_ + kPadH, y, right_ - left_, lh),
            QStringLiteral("Totais do relatório"), FontRole::Bold);
        for (std::size_t t = 0; t < def_.totals.size(); ++t) {
            y += lh;
            Add(page.items, PageItem::Kind::Text, QRectF(left_ + kPadH, y, right_ - left_, lh),
                QString::fromStdString(def_.totals[t].label) + ": " + Number(doc_.totals[t]),
                FontRole::Bold);
        }
        y_ = y + lh + kPadV;
    }

    // Each page's footer, once the number of pages is known.
    void Footers() {
        doc_.pages.back().runningTotals = Running();
        const int count = static_cast<int>(doc_.pages.size());
        const double lh = LineHeight(FontRole::Small);
        for (int i = 0; i < count; ++i) {
            ReportPage& page = doc_.pages[static_cast<std::size_t>(i)];
            Add(page.items, PageItem::Kind::Rule, QRectF(left_, footerTop_, right_ - left_, 0));
            const QString number = QStringLiteral("Página %1 de %2").arg(i + 1).arg(count);
            const double numberWidth =
                Metrics(FontRole::Small).horizontalAdvance(number) + 2 * kPoint;
            const double y = footerTop_ + 2 * kPoint;
            Add(page.items, PageItem::Kind::Text, QRectF(right_ - numberWidth, y, numberWidth, lh),
                number, FontRole::Small, Qt::AlignRight | Qt::AlignVCenter);
            for (std::size_t t = 0; t < def_.totals.size(); ++t) {
                const QString text = QString::fromStdString(def_.totals[t].label) + ": " +
                                     Number(page.pageTotals[t]) +
                                     QStringLiteral(" nesta página · ") +
                                     Number(page.runningTotals[t]) + QStringLiteral(" até aqui");
                Add(page.items, PageItem::Kind::Text,
                    QRectF(left_, y + static_cast<double>(t) * lh,
                           right_ - left_ - numberWidth - 4 * kPoint, lh),
                    text, FontRole::Small);
            }
        }
    }

    const ReportDefinition& def_;
    const ReportData& data_;
    QSizeF page_;
    std::vector<QFont> fonts_;
    std::vector<QFontMetricsF> metrics_;
    double left_ = 0, right_ = 0, top_ = 0, bottom_ = 0, tableRight_ = 0;
    double bodyTop_ = 0, bodyBottom_ = 0, footerTop_ = 0;
    double y_ = 0;
    int rowsOnPage_ = 0;
    std::vector<int> cellColumns_;
    std::vector<int> totalColumns_;
    std::vector<PageItem> header_;
    ReportDocument doc_;
};

}  // namespace

QSizeF PageSize(Orientation orientation) {
    const QSizeF a4(Mm(210), Mm(297));
    return orientation == Orientation::Portrait ? a4 : a4.transposed();
}

double UsableWidthMm(Orientation orientation) {
    return (orientation == Orientation::Portrait ? 210.0 : 297.0) - 2 * kMarginSideMm;
}

int ReportData::FieldIndex(const std::string& name) const {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (SameName(fields[i], name)) return static_cast<int>(i);
    return -1;
}

QFont ReportFont(FontRole role, double bodySize) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setHintingPreference(QFont::PreferNoHinting);
    // Without shaping Latin text gets no ligatures: "Buffet" stays six
    // letters in the PDF (searchable, copied as typed), not "Bu\uFB00et".
    font.setStyleStrategy(QFont::PreferNoShaping);
    double size = bodySize;
    switch (role) {
        case FontRole::Body:
            break;
        case FontRole::Bold:
            font.setBold(true);
            break;
        case FontRole::Title:
            size = bodySize + 4;
            font.setBold(true);
            break;
        case FontRole::Small:
            size = bodySize - 1.5;
            break;
        case FontRole::SmallBold:
            size = bodySize - 1.5;
            font.setBold(true);
            break;
    }
    font.setPixelSize(static_cast<int>(std::lround(size * kUnitsPerPoint)));
    return font;
}

QString CellText(const ReportColumn& column, const QString& value) {
    if (column.values.empty()) return value;
    const auto it = column.values.find(value.toStdString());
    if (it != column.values.end()) return QString::fromStdString(it->second);
    return column.otherwise ? QString::fromStdString(*column.otherwise) : value;
}

void SortReportRows(const ReportDefinition& def, ReportData& data) {
    struct Key {
        int column;
        bool descending;
        bool numeric;
        const ReportGroup* group;
    };
    std::vector<Key> keys;
    if (def.group) keys.push_back({data.FieldIndex(def.group->field), false, false, &*def.group});
    for (const SortKey& k : def.sort)
        keys.push_back({data.FieldIndex(k.field), k.descending, k.numeric, nullptr});
    keys.erase(std::remove_if(keys.begin(), keys.end(), [](const Key& k) { return k.column < 0; }),
               keys.end());
    if (keys.empty() || data.rows.size() < 2) return;

    QCollator collator{QLocale(QLocale::Portuguese, QLocale::Brazil)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    // Each row's keys, taken once: collation keys for texts, values for
    // numbers (a text that is no number sorts after the numbers).
    struct Cell {
        std::optional<double> number;
        QCollatorSortKey text;
    };
    const std::size_t n = data.rows.size();
    std::vector<std::vector<Cell>> cells(n);
    for (std::size_t r = 0; r < n; ++r) {
        for (const Key& k : keys) {
            QString value = data.rows[r][static_cast<std::size_t>(k.column)];
            if (k.group) value = GroupKey(*k.group, value);
            std::optional<double> number;
            if (k.numeric) {
                bool ok = false;
                const double v = value.trimmed().toDouble(&ok);
                if (ok) number = v;
            }
            cells[r].push_back({number, collator.sortKey(value)});
        }
    }
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const Cell& x = cells[a][k];
            const Cell& y = cells[b][k];
            int c = 0;
            if (keys[k].numeric && (x.number || y.number)) {
                if (x.number && y.number)
                    c = *x.number < *y.number ? -1 : (*x.number > *y.number ? 1 : 0);
                else
                    c = x.number ? -1 : 1;
            }
            if (c == 0 && !(x.number && y.number)) c = x.text.compare(y.text);
            if (c != 0) return keys[k].descending ? c > 0 : c < 0;
        }
        return false;
    });
    std::vector<std::vector<QString>> sorted;
    sorted.reserve(n);
    for (std::size_t i : order) sorted.push_back(std::move(data.rows[i]));
    data.rows = std::move(sorted);
}

ReportDocument LayoutReport(const ReportDefinition& def, const ReportData& data, QSizeF pageSize,
                            const QDateTime& printedAt) {
    return Composer(def, data, pageSize, printedAt).Compose();
}

}  // namespace corvana::report
