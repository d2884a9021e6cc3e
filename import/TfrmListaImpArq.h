#pragma once
#include <string>

#include "corvana/data/ClientDataSet.h"
#include "corvana/net/TNetConnection.h"
#include "corvana/ui/StdCtrls.h"
#include "corvana/ui/TBtnPesquisa.h"
#include "corvana/ui/TButtonFlat.h"
#include "corvana/ui/TfrmRotiGeral.h"
#include "listkey/ShownList.h"

// The file chooser of a screen, over the open-file dialog service.
struct TOpenDialog {
    std::string Filter;    // "Descrição|*.ext"
    std::string FileName;  // where the dialog starts; the file chosen last
    // Runs the dialog; true when the user chose a file (then in FileName),
    // false when the user cancelled (FileName unchanged).
    bool Execute();
};

// Import screen "Importar Lista de Convidados" (EVT07802): reads the guests
// of a text file (import/GuestFile.h, docs/import.md) and sends them in one
// call to the list it is opened on (a branch, budget and sequence: the guest
// list screen's, as they stood). The guests the server refuses (name or R.G.
// already on the list) are listed by the host's record-list screen
// (EVT00202). Closing the screen reloads the list on the screen that shows
// it.
class TfrmListaImpArq : public corvana::ui::TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmListaImpArq(ShownList shown, QWidget* parent = nullptr);

    const ShownList list;  // the list the guests go to

    corvana::ui::TLabel* Arquivo;
    corvana::ui::TEdit* edtImpArq;         // the file to import, typed or chosen
    corvana::ui::TBtnPesquisa* btnImpArq;  // opens opdListaImp
    corvana::ui::TButtonFlat* sbtImpArq;   // runs the import
    TOpenDialog opdListaImp;
    corvana::TNetConnection netListaConv;
    corvana::ClientDataSet cdsListaImpArq;  // the guests read, last line first
    corvana::ClientDataSet cdsErroImp;      // the guests the server refused

    void FormCreate() override;
    void FormClose(QObject* sender, corvana::ui::TCloseAction& action) override;
    void netListaConvBeforeConnect(corvana::TNetConnection& sender);
    // Puts the file chosen in the dialog into edtImpArq; a cancel leaves it.
    void btnImpArqClick(QObject* sender);
    // Checks the file name, in this order: given, its folder exists (the
    // process's current folder is left alone), something exists under the
    // name as typed. The first failure shows its message and aborts.
    void Vd_ImpArq();
    // Reads the file into cdsListaImpArq (emptied first), each guest ahead
    // of the one before, with the branch, budget and sequence of `list`. A
    // file that cannot be read shows why and aborts, leaving the dataset as
    // it was.
    void ReadImportFile();
    // The import: the checks, the file read, one GetImpLista call under the
    // busy animation, then the success message or the refused guests.
    void sbtImpArqClick(QObject* sender);
};
