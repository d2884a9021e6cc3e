#pragma once
#include <QDialog>
#include <QString>
#include <QStringList>
#include <string>

#include "corvana/core/Services.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace corvana {
class ClientDataSet;
}

namespace corvana::ui {

class SearchModel;

// The search window: the rows of a dataset in a table (a SearchModel), a
// "Localizar" box that keeps the rows whose visible fields contain its text
// (without regard to case or to the case of accented letters), and the
// Confirmar and Cancelar buttons. Double-click or Enter picks the current
// row. An empty dataset shows the empty-list text instead of the table.
// The table is a model over the dataset, so large lists open at once; the
// first filtering reads every row once.
class SearchWindow : public QDialog {
    Q_OBJECT
public:
    // `titleAndEmptyText` is "title|text shown when the list is empty".
    SearchWindow(corvana::ClientDataSet* dataSet, const std::string& titleAndEmptyText,
                 QWidget* parent = nullptr);
    ~SearchWindow() override;

    void SetFilterText(const QString& text);
    QString FilterText() const;
    // Rows listed now, and the 1-based RecNo of a listed row.
    int RowCount() const;
    int RecNoAt(int listRow) const;
    int CurrentRow() const;
    void SetCurrentRow(int listRow);
    // The RecNo picked by accept(); 0 when nothing was picked.
    int PickedRecNo() const { return picked_; }
    bool ShowsEmptyText() const;
    QString EmptyText() const;
    QString CellText(int listRow, int column) const;
    QStringList ColumnTitles() const;

    QTableView* Table() const { return table_; }
    QLineEdit* FilterBox() const { return filter_; }
    QPushButton* OkButton() const { return ok_; }

    // Picks the current row (the first one when none is current); does
    // nothing while no row is listed.
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplyFilter();

    SearchModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QLabel* empty_ = nullptr;
    QPushButton* ok_ = nullptr;
    int picked_ = 0;
};

// Opens a SearchWindow modally over the active window; on a pick the dataset
// is positioned on the row (SetRecNo). The two flags of the call form are
// accepted and not read.
class QtSearchDialog : public corvana::services::ISearchDialog {
public:
    bool Pesquisar(corvana::DataSource& source, const std::string& titleAndEmptyText, bool flag1,
                   bool flag2) override;
};

}  // namespace corvana::ui
