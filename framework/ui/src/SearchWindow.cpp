#include "corvana/ui/SearchWindow.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"
#include "corvana/data/Text.h"
#include "corvana/ui/Guard.h"
#include "corvana/ui/SearchModel.h"

namespace corvana::ui {

SearchWindow::SearchWindow(corvana::ClientDataSet* dataSet, const std::string& titleAndEmptyText,
                           QWidget* parent)
    : QDialog(parent) {
    const auto bar = titleAndEmptyText.find('|');
    const std::string title = titleAndEmptyText.substr(0, bar);
    std::string emptyText =
        bar == std::string::npos ? std::string() : titleAndEmptyText.substr(bar + 1);
    if (corvana::trimBlanks(emptyText).empty()) emptyText = "Nenhum registro encontrado.";
    setWindowTitle(title.empty() ? QStringLiteral("Pesquisa") : QString::fromStdString(title));
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

    empty_ = new QLabel(QString::fromStdString(emptyText), this);
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setWordWrap(true);
    layout->addWidget(empty_, 1);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("Confirmar"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    cancel->setAutoDefault(false);
    layout->addWidget(buttons);

    GuardedConnect(buttons, &QDialogButtonBox::accepted, this, [this] { accept(); });
    GuardedConnect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
    GuardedConnect(filter_, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    GuardedConnect(table_, &QAbstractItemView::doubleClicked, this,
                   [this](const QModelIndex& index) {
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

QString SearchWindow::FilterText() const {
    return filter_->text();
}

int SearchWindow::RowCount() const {
    return model_->rowCount();
}

int SearchWindow::RecNoAt(int listRow) const {
    if (listRow < 0 || listRow >= RowCount()) return 0;
    return model_->DataRow(listRow) + 1;
}

int SearchWindow::CurrentRow() const {
    const QModelIndex current = table_->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void SearchWindow::SetCurrentRow(int listRow) {
    if (listRow < 0 || listRow >= RowCount()) return;
    const QModelIndex index = model_->index(listRow, 0);
    table_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table_->scrollTo(index);
}

bool SearchWindow::ShowsEmptyText() const {
    return !empty_->isHidden();
}

QString SearchWindow::EmptyText() const {
    return empty_->text();
}

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
    if (RowCount() == 0) return;
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
        if (forwarded) return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool QtSearchDialog::Pesquisar(corvana::DataSource& source, const std::string& titleAndEmptyText,
                               bool /*flag1*/, bool /*flag2*/) {
    corvana::ClientDataSet* dataSet = source.DataSet();
    int picked = 0;
    {
        SearchWindow window(dataSet, titleAndEmptyText, QApplication::activeWindow());
        if (window.exec() != QDialog::Accepted) return false;
        picked = window.PickedRecNo();
    }
    if (!dataSet || picked <= 0) return false;
    dataSet->SetRecNo(picked);
    return true;
}

}  // namespace corvana::ui
