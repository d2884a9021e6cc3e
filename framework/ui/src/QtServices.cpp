#include "corvana/ui/QtServices.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"
#include "corvana/data/Text.h"
#include "corvana/ui/Guard.h"

namespace corvana::ui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QWidget* DialogParent() { return QApplication::activeWindow(); }

}  // namespace

// ---- QtDialogs ----

void QtDialogs::ShowError(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Erro"), Q(text), QMessageBox::Ok,
                    DialogParent());
    box.exec();
}

void QtDialogs::ShowInformation(const std::string& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Informação"), Q(text),
                    QMessageBox::Ok, DialogParent());
    box.exec();
}

bool QtDialogs::Confirm(const std::string& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirmação"), Q(text),
                    QMessageBox::NoButton, DialogParent());
    QPushButton* yes = box.addButton(QStringLiteral("Sim"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Não"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

std::optional<std::string> QtDialogs::InputQuery(const std::string& caption,
                                                 const std::string& prompt,
                                                 const std::string& initial) {
    QInputDialog dialog(DialogParent());
    dialog.setWindowTitle(Q(caption));
    dialog.setLabelText(Q(prompt));
    dialog.setTextValue(Q(initial));
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancelar"));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue().toStdString();
}

// ---- SearchModel ----

// The rows of the dataset, all of them or those that pass the filter, with
// the visible fields as columns. Cells are read when shown.
class SearchModel : public QAbstractTableModel {
public:
    SearchModel(corvana::ClientDataSet* dataSet, QObject* parent)
        : QAbstractTableModel(parent), dataSet_(dataSet) {
        if (dataSet_ && dataSet_->Active()) {
            total_ = dataSet_->RecordCount();
            for (corvana::Field* field : dataSet_->Fields()) {
                if (field->Visible())
                    fields_.push_back(field);
            }
        }
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        if (parent.isValid())
            return 0;
        return filtered_ ? static_cast<int>(rows_.size()) : total_;
    }

    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(fields_.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || role != Qt::DisplayRole)
            return {};
        return Q(Cell(DataRow(index.row()), index.column()));
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
            section >= static_cast<int>(fields_.size()))
            return {};
        return Q(fields_[static_cast<std::size_t>(section)]->DisplayLabel());
    }

    int DataRow(int listRow) const {
        return filtered_ ? rows_[static_cast<std::size_t>(listRow)] : listRow;
    }

    int Total() const { return total_; }

    // Keeps the rows whose visible fields contain `needle` (folded).
    void SetFilter(const std::string& needle) {
        beginResetModel();
        filtered_ = !needle.empty();
        rows_.clear();
        if (filtered_) {
            BuildHaystack();
            for (int row = 0; row < total_; ++row) {
                if (haystack_[static_cast<std::size_t>(row)].find(needle) != std::string::npos)
                    rows_.push_back(row);
            }
        }
        endResetModel();
    }

private:
    // A handler of the dataset (OnGetText) may throw while the view paints:
    // the cell stays empty and the first failure is reported once the
    // painting is over.
    std::string Cell(int row, int column) const {
        try {
            return fields_[static_cast<std::size_t>(column)]->DisplayTextAt(row);
        } catch (...) {
            if (!reported_) {
                reported_ = true;
                QTimer::singleShot(0, this, [error = std::current_exception()] {
                    Guarded([&] { std::rethrow_exception(error); });
                });
            }
            return {};
        }
    }

    // The folded text of each row's visible fields, read once.
    void BuildHaystack() {
        if (haystackBuilt_)
            return;
        haystack_.resize(static_cast<std::size_t>(total_));
        std::string line;
        for (int row = 0; row < total_; ++row) {
            line.clear();
            for (std::size_t column = 0; column < fields_.size(); ++column) {
                if (column)
                    line += '\x1f';  // a match never spans two fields
                line += Cell(row, static_cast<int>(column));
            }
            haystack_[static_cast<std::size_t>(row)] = corvana::foldCase(line);
        }
        haystackBuilt_ = true;
    }

    corvana::ClientDataSet* dataSet_;
    std::vector<corvana::Field*> fields_;
    int total_ = 0;
    bool filtered_ = false;
    std::vector<int> rows_;
    bool haystackBuilt_ = false;
    std::vector<std::string> haystack_;
    mutable bool reported_ = false;
};

// ---- SearchWindow ----

SearchWindow::SearchWindow(corvana::ClientDataSet* dataSet, const std::string& titleAndEmptyText,
                           QWidget* parent)
    : QDialog(parent) {
    const auto bar = titleAndEmptyText.find('|');
    const std::string title = titleAndEmptyText.substr(0, bar);
    std::string emptyText =
        bar == std::string::npos ? std::string() : titleAndEmptyText.substr(bar + 1);
    if (corvana::trimBlanks(emptyText).empty())
        emptyText = "Nenhum registro encontrado.";
    setWindowTitle(title.empty() ? QStringLiteral("Pesquisa") : Q(title));
    setModal(true);

    model_ = new SearchModel(dataSet, this);

    auto* layout = new QVBoxLayout(this);
    auto* filterRow = new QHBoxLayout;
    auto* filterLabel = new QLabel(QStringLiteral("&Localizar:"), this);
    filter_ = new QLineEdit(this);
    filter_->setClearButtonEnabled(true);
    filterLabel->setBuddy(filter_);
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(filter_, 1);
    layout->addLayout(filterRow);

    table_ = new QTableView(this);
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    // Fixed row heights: the view never measures the rows it does not show.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setResizeContentsPrecision(200);
    layout->addWidget(table_, 1);

    empty_ = new QLabel(Q(emptyText), this);
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setWordWrap(true);
    layout->addWidget(empty_, 1);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("Confirmar"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    cancel->setAutoDefault(false);
    layout->addWidget(buttons);

    GuardedConnect(buttons, &QDialogButtonBox::accepted, this, [this] { accept(); });
    GuardedConnect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
    GuardedConnect(filter_, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    GuardedConnect(table_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) {
            SetCurrentRow(index.row());
            accept();
        }
    });
    filter_->installEventFilter(this);

    const bool empty = model_->Total() == 0;
    empty_->setVisible(empty);
    table_->setVisible(!empty);
    filter_->setEnabled(!empty);
    ok_->setEnabled(!empty);
    if (!empty) {
        table_->resizeColumnsToContents();
        SetCurrentRow(0);
    }
    filter_->setFocus();
    resize(720, 460);
}

SearchWindow::~SearchWindow() = default;

void SearchWindow::SetFilterText(const QString& text) {
    if (filter_->text() == text)
        ApplyFilter();
    else
        filter_->setText(text);  // filters through textChanged
}

QString SearchWindow::FilterText() const { return filter_->text(); }

int SearchWindow::RowCount() const { return model_->rowCount(); }

int SearchWindow::RecNoAt(int listRow) const {
    if (listRow < 0 || listRow >= RowCount())
        return 0;
    return model_->DataRow(listRow) + 1;
}

int SearchWindow::CurrentRow() const {
    const QModelIndex current = table_->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void SearchWindow::SetCurrentRow(int listRow) {
    if (listRow < 0 || listRow >= RowCount())
        return;
    const QModelIndex index = model_->index(listRow, 0);
    table_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table_->scrollTo(index);
}

bool SearchWindow::ShowsEmptyText() const { return !empty_->isHidden(); }

QString SearchWindow::EmptyText() const { return empty_->text(); }

QString SearchWindow::CellText(int listRow, int column) const {
    return model_->data(model_->index(listRow, column), Qt::DisplayRole).toString();
}

QStringList SearchWindow::ColumnTitles() const {
    QStringList titles;
    for (int column = 0; column < model_->columnCount(); ++column)
        titles << model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    return titles;
}

void SearchWindow::ApplyFilter() {
    model_->SetFilter(corvana::foldCase(corvana::trimBlanks(filter_->text().toStdString())));
    ok_->setEnabled(RowCount() > 0);
    SetCurrentRow(0);
}

void SearchWindow::accept() {
    if (RowCount() == 0)
        return;
    const int row = CurrentRow() >= 0 ? CurrentRow() : 0;
    picked_ = RecNoAt(row);
    QDialog::accept();
}

bool SearchWindow::eventFilter(QObject* watched, QEvent* event) {
    // Up and down in the Localizar box move through the list.
    if (watched == filter_ && event->type() == QEvent::KeyPress) {
        bool forwarded = false;
        Guarded([&] {
            switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
                QApplication::sendEvent(table_, event);
                forwarded = true;
                break;
            default:
                break;
            }
        });
        if (forwarded)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

// ---- QtSearchDialog ----

bool QtSearchDialog::Pesquisar(corvana::DataSource& source, const std::string& titleAndEmptyText,
                               bool /*flag1*/, bool /*flag2*/) {
    corvana::ClientDataSet* dataSet = source.DataSet();
    int picked = 0;
    {
        SearchWindow window(dataSet, titleAndEmptyText, DialogParent());
        if (window.exec() != QDialog::Accepted)
            return false;
        picked = window.PickedRecNo();
    }
    if (!dataSet || picked <= 0)
        return false;
    dataSet->SetRecNo(picked);
    return true;
}

// ---- QtOpenFileDialog ----

QString ToQtFileFilter(std::string_view filter) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t bar = filter.find('|', start);
        parts.emplace_back(filter.substr(start, bar == std::string_view::npos ? bar : bar - start));
        if (bar == std::string_view::npos)
            break;
        start = bar + 1;
    }
    QStringList out;
    for (std::size_t i = 0; i < parts.size(); i += 2) {
        QString description = Q(corvana::trimBlanks(parts[i]));
        QStringList patterns;
        const QString patternText = i + 1 < parts.size() ? Q(parts[i + 1]) : QString();
        for (const QString& pattern : patternText.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (!pattern.trimmed().isEmpty())
                patterns << pattern.trimmed();
        }
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        if (description.isEmpty() && patterns.size() == 1 && patterns.front() == QLatin1String("*") &&
            i + 1 >= parts.size())
            continue;  // an empty filter, or a trailing bar
        // Qt reads the patterns from the last parentheses: a description
        // that ends with its patterns drops them here and gets them back
        // in Qt's form below.
        if (description.endsWith(QLatin1Char(')'))) {
            const qsizetype open = description.lastIndexOf(QLatin1Char('('));
            const QString inside = description.mid(open + 1, description.size() - open - 2);
            if (open >= 0 && (inside.contains(QLatin1Char('*')) || inside.contains(QLatin1Char('?'))))
                description = description.left(open).trimmed();
        }
        if (description.isEmpty())
            description = patterns.join(QLatin1Char(' '));
        out << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

std::optional<std::string> QtOpenFileDialog::Execute(const std::string& filter,
                                                     const std::string& initialFile) {
    const QString chosen = QFileDialog::getOpenFileName(
        DialogParent(), QStringLiteral("Abrir arquivo"), Q(initialFile), ToQtFileFilter(filter));
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.toStdString();
}

// ---- QtSaveFileDialog ----

std::optional<std::string> QtSaveFileDialog::Execute(const std::string& filter,
                                                     const std::string& initialFile) {
    const QString qtFilter = ToQtFileFilter(filter);
    QFileDialog dialog(DialogParent(), QStringLiteral("Salvar arquivo"), Q(initialFile), qtFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without an extension takes the filter's first one, before
    // the dialog asks about replacing a file of that name.
    static const QRegularExpression firstExtension(QStringLiteral(R"(\*\.(\w+))"));
    const QRegularExpressionMatch extension = firstExtension.match(qtFilter);
    if (extension.hasMatch())
        dialog.setDefaultSuffix(extension.captured(1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

// ---- QtBusyIndicator ----

namespace {

// Twelve spokes, one of them highlighted, turning while the event loop runs.
class Spinner : public QWidget {
public:
    explicit Spinner(QWidget* parent) : QWidget(parent) {
        setFixedSize(40, 40);
        timer_.setInterval(80);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            step_ = (step_ + 1) % kSpokes;
            update();
        });
        timer_.start();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(width() / 2.0, height() / 2.0);
        const QColor base = palette().color(QPalette::Highlight);
        for (int i = 0; i < kSpokes; ++i) {
            QColor color = base;
            const int age = (step_ - i + kSpokes) % kSpokes;
            color.setAlphaF(1.0f - static_cast<float>(age) / kSpokes * 0.85f);
            painter.setPen(QPen(color, 3.5, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(0, -9), QPointF(0, -17));
            painter.rotate(360.0 / kSpokes);
        }
    }

private:
    static constexpr int kSpokes = 12;
    QTimer timer_;
    int step_ = 0;
};

QWidget* MakeBusyPanel(QWidget* host) {
    auto* panel = new QFrame(host);
    if (!host) {
        panel->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        panel->setAttribute(Qt::WA_ShowWithoutActivating);
    }
    panel->setObjectName(QStringLiteral("corvanaBusyPanel"));
    panel->setFrameStyle(QFrame::Box | QFrame::Plain);
    panel->setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(16, 12, 20, 12);
    layout->setSpacing(14);
    layout->addWidget(new Spinner(panel));
    auto* label = new QLabel(panel);
    label->setObjectName(QStringLiteral("corvanaBusyText"));
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    layout->addWidget(label, 1);
    panel->setFixedSize(280, 70);
    return panel;
}

}  // namespace

QtBusyIndicator::~QtBusyIndicator() { delete panel_.data(); }

QString QtBusyIndicator::TextFor(int kind) {
    switch (kind) {
    case corvana::services::kBusySaving:
        return QStringLiteral("Gravando dados...");
    case corvana::services::kBusyLoading:
        return QStringLiteral("Carregando dados...");
    default:
        return QStringLiteral("Aguarde...");
    }
}

QString QtBusyIndicator::Text() const { return texts_.empty() ? QString() : texts_.back(); }

void QtBusyIndicator::Activate(QWidget* form, int kind) { ActivateText(form, TextFor(kind).toStdString()); }

void QtBusyIndicator::ActivateText(QWidget* form, const std::string& text) {
    texts_.push_back(Q(text));
    if (!panel_) {
        QWidget* host = form ? form->window() : QApplication::activeWindow();
        // A modal window over the form (a dialog opened from it) would hide
        // the panel: it goes over that window instead.
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != host)
            host = modal;
        panel_ = MakeBusyPanel(host);
        if (host) {
            panel_->move((host->width() - panel_->width()) / 2,
                         (host->height() - panel_->height()) / 2);
        } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            panel_->move(screen->availableGeometry().center() - panel_->rect().center());
        }
    }
    Paint();
}

void QtBusyIndicator::Deactivate() {
    if (texts_.empty())
        return;
    texts_.pop_back();
    if (texts_.empty()) {
        delete panel_.data();
        return;
    }
    Paint();
}

void QtBusyIndicator::Paint() {
    if (!panel_)
        return;
    if (auto* label = panel_->findChild<QLabel*>(QStringLiteral("corvanaBusyText")))
        label->setText(Text());
    panel_->show();
    panel_->raise();
    // The call that follows holds the event loop: paint now. A panel of its
    // own (no window to go over) needs the window system's events to appear;
    // user input stays queued.
    if (panel_->isWindow())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (panel_)
        panel_->repaint();
}

// ---- QtWaitCursor ----

QtWaitCursor::~QtWaitCursor() {
    if (wait_ && QCoreApplication::instance())
        QApplication::restoreOverrideCursor();
}

void QtWaitCursor::SetWait() {
    if (wait_)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    wait_ = true;
}

void QtWaitCursor::SetDefault() {
    if (!wait_)
        return;
    QApplication::restoreOverrideCursor();
    wait_ = false;
}

// ---- installation ----

namespace {

struct QtServiceSet {
    QtDialogs dialogs;
    QtSearchDialog search;
    QtOpenFileDialog openFile;
    QtSaveFileDialog saveFile;
    QtBusyIndicator busy;
    QtWaitCursor cursor;
};

QtServiceSet& Services() {
    static QtServiceSet* set = new QtServiceSet;  // outlives every caller
    return *set;
}

}  // namespace

void InstallQtServices() {
    QtServiceSet& set = Services();
    corvana::services::SetDialogs(&set.dialogs);
    corvana::services::SetSearchDialog(&set.search);
    corvana::services::SetOpenFileDialog(&set.openFile);
    corvana::services::SetSaveFileDialog(&set.saveFile);
    corvana::services::SetBusyIndicator(&set.busy);
    corvana::services::SetWaitCursor(&set.cursor);
}

void UninstallQtServices() {
    corvana::services::SetDialogs(nullptr);
    corvana::services::SetSearchDialog(nullptr);
    corvana::services::SetOpenFileDialog(nullptr);
    corvana::services::SetSaveFileDialog(nullptr);
    corvana::services::SetBusyIndicator(nullptr);
    corvana::services::SetWaitCursor(nullptr);
}

}  // namespace corvana::ui
