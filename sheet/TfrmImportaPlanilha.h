#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "corvana/data/ClientDataSet.h"
#include "corvana/net/TNetConnection.h"
#include "corvana/ui/StdCtrls.h"
#include "corvana/ui/TButtonFlat.h"
#include "corvana/ui/TForm.h"
#include "import/GuestFile.h"
#include "listkey/ShownList.h"
#include "sheet/GuestColumns.h"
#include "sheet/ImportReport.h"
#include "sheet/SheetTable.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QStackedWidget;
class QStandardItemModel;
class QTableView;
class QTableWidget;

// The wizard "Importar planilha…" (docs/import.md): guests from a CSV, text
// or XLSX file into the list it is opened on (the guest list's as its
// filter showed it), in three steps:
//   1. the file (pgArquivo): its name; for a CSV or text file the encoding
//      and the separator detected, changeable; for an XLSX file the sheet;
//   2. the columns (pgColunas): each column of the file mapped to a field of
//      the guest or ignored, guessed from the first row (a header in
//      Portuguese or English, or data), the guess changeable;
//   3. the preview (pgPrevia): every row with the server's verdict (a dry
//      run of the import: GetImpPlanilha with "S") and the counts.
// "Importar" sends the rows the preview can add in one call (all or nothing)
// and shows the report of every row of the file in the host's record list
// (EVT00202); then the wizard closes and the list's reload runs (the guest
// list shows what was imported). Every refusal reason is the server's.
class TfrmImportaPlanilha : public corvana::ui::TForm {
    Q_OBJECT
public:
    explicit TfrmImportaPlanilha(ShownList list);
    ~TfrmImportaPlanilha() override;

    QStackedWidget* pgcPassos;
    // Step 1.
    corvana::ui::TEdit* edtArquivo;
    corvana::ui::TButtonFlat* btnArquivo;
    QComboBox* cmbCodificacao;  // Windows-1252, UTF-8, UTF-16 LE, UTF-16 BE
    QComboBox* cmbSeparador;    // ";", ",", tab
    QComboBox* cmbFolha;        // the XLSX's sheets
    QLabel* lblDetectado;
    // Step 2.
    QCheckBox* chkCabecalho;
    QTableWidget* tblColunas;  // row 0: a field chooser per column; below, the first rows
    // Step 3.
    QTableView* tblPrevia;
    QLabel* lblContagem;
    // Buttons.
    corvana::ui::TButtonFlat* sbtVoltar;
    corvana::ui::TButtonFlat* sbtAvancar;
    corvana::ui::TButtonFlat* sbtImportar;
    corvana::ui::TButtonFlat* sbtFechar;

    corvana::TNetConnection netListaConv;
    corvana::ClientDataSet cdsRelatorio;  // the report the record list shows

    void FormCreate() override;
    void FormClose(QObject* sender, corvana::ui::TCloseAction& action) override;

    // Asks for the file (open-file dialog service) and reads it.
    void btnArquivoClick(QObject* sender);
    // Step 1 to 2 (the file read), 2 to 3 (the dry run).
    void sbtAvancarClick(QObject* sender);
    void sbtVoltarClick(QObject* sender);
    // Sends the rows that can be added, then shows the report and closes.
    void sbtImportarClick(QObject* sender);

    // The field each file column is mapped to (kIgnored or an index of
    // GuestColumns()), as the choosers of step 2 show it.
    std::vector<int> Mapping() const;
    void SetMapping(std::size_t column, int field);
    const evt::sheet::SheetTable& Table() const { return table_; }
    const evt::sheet::ImportCounts& Counts() const { return counts_; }

private:
    bool IsXlsx() const;
    // Reads the file with the choices of step 1 (the detected ones when
    // `detect`); shows the failure and aborts.
    void ReadFile(bool detect);
    void FillColumns();
    void RunPreview();
    void ShowStep(int step);
    // GetImpPlanilha for the list with `rows`, under the busy animation of
    // `busyKind`: mode "S" is the dry run, "N" the import. A server error is
    // shown and raised; an answer that is no packet raises `unexpected`.
    std::vector<evt::sheet::Verdict> CallImport(const corvana::DataPacket& rows, const char* mode,
                                                int busyKind, const char* unexpected);

    ShownList list_;        // the list the guests go to; its reload runs after an import
    std::string readPath_;  // the file table_ holds
    evt::sheet::SheetTable table_;
    corvana::DataPacket sent_;  // the rows of the preview
    std::vector<long> skipped_;
    std::vector<evt::sheet::Verdict> preview_;
    evt::sheet::ImportCounts counts_;
    QStandardItemModel* previewModel_;
    bool filling_ = false;  // choosers being filled from code
    bool imported_ = false;
};
