#pragma once
#include <QDialog>
#include <QPointer>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corvana/core/Services.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace corvana {
class ClientDataSet;
}

// The Qt implementations of the core services (corvana/core/Services.h).
// The host installs them at start-up with InstallQtServices().
namespace corvana::ui {

// Message boxes over the active window: errors ("Erro", critical icon),
// information ("Informação") and Sim/Não questions ("Confirmação", Não is
// the default and the Escape answer).
class QtDialogs : public corvana::services::IDialogs {
public:
    void ShowError(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    // A line-edit dialog with OK and Cancelar.
    std::optional<std::string> InputQuery(const std::string& caption, const std::string& prompt,
                                          const std::string& initial) override;
};

class SearchModel;

// The search window: the rows of a dataset in a table (its visible fields,
// titled by their display labels, the cells by Field::DisplayTextAt), a
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

// The screens' file filter "Descrição|*.a;*.b|Outra|*.c" in Qt's form
// "Descrição (*.a *.b);;Outra (*.c)". A description that already ends with
// its patterns in parentheses keeps them once.
QString ToQtFileFilter(std::string_view filter);

class QtOpenFileDialog : public corvana::services::IOpenFileDialog {
public:
    std::optional<std::string> Execute(const std::string& filter,
                                       const std::string& initialFile) override;
};

// Asks where to save, confirming before a file is replaced. A name given
// without an extension takes the first extension of the filter.
class QtSaveFileDialog : public corvana::services::ISaveFileDialog {
public:
    std::optional<std::string> Execute(const std::string& filter,
                                       const std::string& initialFile) override;
};

// A small frameless panel centred on the form's window, with an animated
// indicator and a text by kind: 1 "Gravando dados...", 6 "Carregando
// dados...", any other "Aguarde...". It is painted at once, without
// processing user input, so that it shows during a synchronous call.
// Activations nest: the innermost kind's text shows and the panel goes away
// with the last Deactivate. Without a form it goes over the active window,
// or centred on the screen; while a modal window (a dialog opened from the
// form) is open, over that window, which would hide it otherwise.
class QtBusyIndicator : public corvana::services::IBusyIndicator {
public:
    QtBusyIndicator() = default;
    ~QtBusyIndicator() override;
    QtBusyIndicator(const QtBusyIndicator&) = delete;
    QtBusyIndicator& operator=(const QtBusyIndicator&) = delete;

    void Activate(QWidget* form, int kind) override;
    void ActivateText(QWidget* form, const std::string& text) override;
    void Deactivate() override;

    int Depth() const { return static_cast<int>(texts_.size()); }
    bool Active() const { return !texts_.empty(); }
    QWidget* Panel() const { return panel_; }
    QString Text() const;
    static QString TextFor(int kind);

private:
    void Paint();

    std::vector<QString> texts_;  // of each activation, innermost last
    QPointer<QWidget> panel_;
};

// The application's override cursor; SetWait and SetDefault are balanced
// (at most one override of this service is in force).
class QtWaitCursor : public corvana::services::IWaitCursor {
public:
    ~QtWaitCursor() override;
    void SetWait() override;
    void SetDefault() override;
    bool IsWait() const override { return wait_; }

private:
    bool wait_ = false;
};

// Installs one instance of each of the above (they live until the end of
// the program); UninstallQtServices restores the console defaults.
void InstallQtServices();
void UninstallQtServices();

}  // namespace corvana::ui
