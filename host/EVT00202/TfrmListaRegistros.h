#pragma once
#include <string>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"
#include "corvana/ui/StdCtrls.h"
#include "corvana/ui/TButtonFlat.h"
#include "corvana/ui/TDBGrid.h"
#include "corvana/ui/TForm.h"

// The host's record-list screen (EVT00202): a heading over the rows of a
// dataset of the caller, in a read-only grid under the fields' display
// labels (the longest text field's column taking the width the others
// leave), the number of rows, and the list saved as CSV so that the user can
// work on it elsewhere. A dialog of fixed size. The dataset stays the caller's: the window only
// reads it (and moves its cursor) while it is open.
class TfrmListaRegistros : public corvana::ui::TForm {
    Q_OBJECT
public:
    TfrmListaRegistros(corvana::ClientDataSet* dataSet, const std::string& heading);
    ~TfrmListaRegistros() override;

    corvana::ui::TLabel* lblTitulo;
    corvana::ui::TDBGrid* dbgPadrao;
    corvana::DataSource dtsPadrao;
    corvana::ui::TLabel* lblQtde;
    corvana::ui::TButtonFlat* sbtSalvar;
    corvana::ui::TButtonFlat* sbtFechar;

    // Asks where to save and writes the CSV there (replacing the file as a
    // whole: a failed write leaves an existing file as it was), or an XLSX
    // workbook of the same rows when the name ends in ".xlsx"
    // (sheet/SheetWriter.h); the user is told where it went. A cancel writes
    // nothing.
    void sbtSalvarClick(QObject* sender);

    // The rows as CSV (RFC 4180): UTF-8 with a byte-order mark, so that
    // spreadsheets read the accents; a header row of the visible fields'
    // display labels, then one line per row with the fields' display texts;
    // lines end in CR LF; a value holding a comma, a quote or a line break
    // is quoted, its quotes doubled.
    static std::string CsvText(const corvana::ClientDataSet& dataSet);
};
