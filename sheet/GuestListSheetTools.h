#pragma once
#include <QObject>
#include <QPointer>
#include <functional>
#include <string>

#include "sheet/SheetWriter.h"
#include "sheet/TfrmImportaPlanilha.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;

namespace corvana::ui {
class TButtonFlat;
class TDBGrid;
class TfrmPadraoGrid;
}  // namespace corvana::ui

// What the guest list screen gains for spreadsheets, beside its own tool
// bar buttons (docs/import.md):
// - "Importar planilha…" (sbtImpPlanilha, after the import button, and its
//   menu item): the wizard TfrmImportaPlanilha for the list on screen;
//   enabled when the import button is;
// - "Exportar…" (sbtExportar, and its menu item): the grid as shown to XLSX
//   or CSV (the file's extension chooses); enabled when printing is (a list
//   with guests);
// - the find box over the grid: Ctrl+F opens it, typing moves to the first
//   guest from the current one that matches (GuestFindQuery), F3 and
//   Shift+F3 to the next and previous, Escape closes it and leaves the
//   cursor where it is.
// The screen keeps its own buttons; this object is a child of the screen.
class GuestListSheetTools : public QObject {
    Q_OBJECT
public:
    // `shown` gives the list the screen shows, with its reload, when a tool
    // needs it.
    GuestListSheetTools(corvana::ui::TfrmPadraoGrid& screen, std::function<ShownList()> shown);

    corvana::ui::TButtonFlat* sbtImpPlanilha;
    corvana::ui::TButtonFlat* sbtExportar;
    QAction* mnuImpPlanilha;
    QAction* mnuExportar;
    QFrame* panLocalizar;
    QLineEdit* edtLocalizar;
    QLabel* lblLocalizar;

    // Opens the wizard modally for the list the screen shows.
    void sbtImpPlanilhaClick();
    // Asks where (save-file dialog service) and writes the list there.
    void sbtExportarClick();

    // The grid as shown: the visible columns under their titles, each cell
    // its displayed text (coded fields as words, masks applied); number
    // fields as numbers.
    static evt::sheet::ExportTable GridTable(corvana::ui::TDBGrid& grid, const std::string& title);

    void OpenFind();
    void CloseFind();
    // From the current row (itself included when `includeCurrent`), forward
    // or backward, wrapping; false when no guest matches (the cursor stays).
    bool FindFrom(bool forward, bool includeCurrent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    corvana::ui::TButtonFlat* NewButton(const char* name, const char* caption, const char* icon,
                                        QAction* item);
    void PlaceFindBox();

    corvana::ui::TfrmPadraoGrid& screen_;
    std::function<ShownList()> shown_;
    // The screen's widgets this object filters events of.
    QWidget* importButton_ = nullptr;
    QWidget* printButton_ = nullptr;
    QWidget* grid_ = nullptr;
};
