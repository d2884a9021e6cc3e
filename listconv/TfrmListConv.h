#pragma once
#include <QAction>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"
#include "corvana/db/TADOIBQuery.h"
#include "corvana/net/TNetConnection.h"
#include "corvana/ui/StdCtrls.h"
#include "corvana/ui/TBtnPesquisa.h"
#include "corvana/ui/TDBEdit.h"
#include "corvana/ui/TDBText.h"
#include "corvana/ui/TMaskEdit.h"
#include "corvana/ui/TPanel.h"
#include "corvana/ui/TfrmPadraoGrid.h"
#include "listconv/PendingChanges.h"
#include "listkey/ListKeyPanel.h"
#include "listkey/ShownList.h"

// The guest list screen "Lista de Convidados" (EVT07800): the guests of one
// budget sequence, chosen in the filter panel, kept in the grid and saved
// one guest at a time.
//
// The class is written in several files, one per concern:
//   TfrmListConv.cpp     construction, launch, activation and close
//   ListConvRecord.cpp   the guest record, grid columns, messages, translations
//   ListConvFilter.cpp   filter panel, header, list loading, button states
//   ListConvTotals.cpp   totals panel and the special-guest treatment
//   ListConvToolbar.cpp  grid keys and the tool bar actions
//   ListConvSave.cpp     checks before post, saving after post and delete
//   ListConvChecks.cpp   stored values, inscription, name-versus-client and
//                        order checks
//   ListConvLookup.cpp   guest-as-client lookup and column exits
// The changes that the server has not accepted yet are settled, before the
// list is replaced or dropped, by a unit of their own (PendingChanges.h).
class TfrmListConv : public corvana::ui::TfrmPadraoGrid {
    Q_OBJECT
public:
    explicit TfrmListConv(QWidget* parent = nullptr);
    ~TfrmListConv() override;

    // Connection to the application server; every remote call of the screen
    // goes through it.
    corvana::TNetConnection netListaConv;

    // --- filter panel: branch, budget and sequence (the checks and lookups
    // of the panel are the shared ListKeyPanel's) -----------------------------
    corvana::ui::TPanel* panFiltro;
    ListKeyPanel listKey;

    // --- header panel (the budget, or the chosen sequence) ------------------
    corvana::ui::TPanel* panOrcamento;
    corvana::ui::TDBText* dbtCliente;
    corvana::ui::TDBText* dbtServico;
    corvana::ui::TDBText* dbtEvento;
    corvana::ui::TDBText* dbtDtEvento;

    // --- totals panel -------------------------------------------------------
    corvana::ui::TPanel* panTotalizador;
    corvana::ui::TDBEdit* dbeNmPrBase;
    corvana::ui::TNumberEdit* nedQtdeLista;
    corvana::ui::TComboBox* cmbTratConvEspec;

    // Separator added at the end of the maintenance menu.
    QAction* mnuLinha4 = nullptr;
    // "Recepção…": the reception at the door of the list shown (reception/),
    // enabled as the import is (a list loaded).
    QAction* mnuRecepcao = nullptr;
    // Spreadsheets in and out and the grid's find box (sheet/).
    class GuestListSheetTools* sheetTools = nullptr;

    // --- datasets -----------------------------------------------------------
    corvana::ClientDataSet cdsConvOrceve;  // the guests (dtsPadrao)
    // The fields of the guest record (guestrecord/GuestRecord.h) that the
    // screen works with.
    corvana::Field& cdsConvOrceveIDTPTRATCONVESPEC;
    corvana::Field& cdsConvOrceveCDCLIENTELISTCONV;
    corvana::Field& cdsConvOrceveNRINSJURCLILISCONV;
    corvana::Field& cdsConvOrceveNMLISTACONVOREV;
    corvana::Field& cdsConvOrceveNRRGLISTAOREV;
    corvana::Field& cdsConvOrceveIDCONVPRESEOREV;
    corvana::Field& cdsConvOrceveIDCONDICAOCONVEV;
    corvana::Field& cdsConvOrceveNRTELCONVEVEN;
    corvana::Field& cdsConvOrceveNRCELCONVEVEN;
    corvana::Field& cdsConvOrceveDSEMAILCONVEVEN;
    corvana::Field& cdsConvOrceveIDTIPOCONVEVEN;
    corvana::Field& cdsConvOrceveIDEXIBECONVCONTRAT;
    corvana::Field& cdsConvOrceveNRORDEMEXIBCONTRAT;
    corvana::Field& cdsConvOrceveNMFANTCLIE;
    corvana::Field& cdsConvOrceveIDTPIJURCLIE;
    corvana::Field& cdsConvOrceveCDFILIAL;
    corvana::Field& cdsConvOrceveNRORCAEVENTO;
    corvana::Field& cdsConvOrceveNRLISTACONVOREV;
    corvana::Field& cdsConvOrceveNRSEQORCAEVE;
    corvana::DataSource dtsVdOrca;          // header: listKey.cdsVdOrca, the budget or the sequence
    corvana::ClientDataSet cdsVd_Nome;      // guests bearing the name under test
    corvana::ClientDataSet cdsVd_Registro;  // guests bearing the RG under test
    corvana::ClientDataSet cdsCliente;      // clients: the lookup list or one by inscription
    corvana::Field& cdsClienteCDCLIENTE;
    corvana::Field& cdsClienteNRINSJURCLIE;
    corvana::Field& cdsClienteIDTPIJURCLIE;
    corvana::Field& cdsClienteNMFANTCLIE;
    corvana::DataSource dtsCliente;
    corvana::ClientDataSet cdsEndeClie;  // address records of one client
    corvana::Field& cdsEndeClieNRTELECLIE;
    corvana::Field& cdsEndeClieDSEMAILCLIE;
    corvana::Field& cdsEndeClieNRCELULARCLI;
    corvana::DataSource dtsEndeClie;

    // --- launch, activation, close -------------------------------------------
    void FormCreate() override;
    void FormActivate() override;
    void FormClose(QObject* sender, corvana::ui::TCloseAction& action) override;
    // Shift+Tab from the filter panel's first field stays in the panel.
    bool focusNextPrevChild(bool next) override;
    void netListaConvBeforeConnect(corvana::TNetConnection& sender);

    // --- guest record translations --------------------------------------------
    void cdsConvOrceveIDCONVPRESEOREVGetText(corvana::Field& sender, std::string& text,
                                             bool displayText);
    void cdsConvOrceveIDCONVPRESEOREVSetText(corvana::Field& sender, const std::string& text);
    void cdsConvOrceveIDCONDICAOCONVEVGetText(corvana::Field& sender, std::string& text,
                                              bool displayText);
    void cdsConvOrceveIDCONDICAOCONVEVSetText(corvana::Field& sender, const std::string& text);
    void cdsConvOrceveIDTIPOCONVEVENGetText(corvana::Field& sender, std::string& text,
                                            bool displayText);
    void cdsConvOrceveIDTIPOCONVEVENSetText(corvana::Field& sender, const std::string& text);
    void cdsConvOrceveIDEXIBECONVCONTRATGetText(corvana::Field& sender, std::string& text,
                                                bool displayText);
    void cdsConvOrceveIDEXIBECONVCONTRATSetText(corvana::Field& sender, const std::string& text);
    void cdsConvOrceveNRINSJURCLILISCONVGetText(corvana::Field& sender, std::string& text,
                                                bool displayText);
    void cdsClienteNRINSJURCLIEGetText(corvana::Field& sender, std::string& text, bool displayText);

    // --- filter panel and list loading ----------------------------------------
    // The list the filter names as it stands, and the reload of this screen,
    // for the screens opened beside it (import, report).
    ShownList Shown();
    void Habilita_Botao();
    void panFiltroEnter(QObject* sender);
    void panFiltroExit(QObject* sender);
    void dtsPadraoStateChange(corvana::DataSource& sender);

    // --- totals and treatment -----------------------------------------------
    void TratamentoConv();
    // The treatment `code` in the box (TratamentoConv's rule).
    void MostraTratamento(const std::string& code);
    void cmbTratConvEspecChange(QObject* sender);
    void panTotalizadorEnter(QObject* sender);

    // --- grid keys and tool bar -----------------------------------------------
    void dbgPadraoKeyPress(QObject* sender, char32_t& key) override;
    void sbtIncluirClick(QObject* sender) override;
    void sbtAlterarClick(QObject* sender) override;
    void sbtExcluirClick(QObject* sender) override;
    void sbtConfirmarClick(QObject* sender) override;
    void sbtVerificarClick(QObject* sender) override;
    void sbtImpArqClick(QObject* sender) override;
    void sbtImprimirClick(QObject* sender) override;
    void mnuRecepcaoClick();

    // --- checks and saving ----------------------------------------------------
    void cdsConvOrceveBeforePost(corvana::ClientDataSet& dataSet);
    void cdsConvOrceveAfterPost(corvana::ClientDataSet& dataSet);
    void cdsConvOrceveAfterDelete(corvana::ClientDataSet& dataSet);
    void Vd_NmConv();
    void Vd_Valores();
    void sbtCancelarClick(QObject* sender) override;
    void Vd_NrInscricao(bool fillName, const std::string& origin);
    void Vd_NomeAlterado(const std::string& inscricao);
    void Vd_Ordem();
    void dbgPadraoEditButtonClick(QObject* sender);
    void dbgPadraoColExit(QObject* sender);

private:
    // Construction steps, each in the file of its concern.
    void BuildFilterPanel();   // TfrmListConv.cpp
    void CreateRecord();       // ListConvRecord.cpp: columns, messages, handlers
    void CreateFilterPanel();  // ListConvFilter.cpp: lookups, queries, header panel, events
    void CreateTotalsPanel();  // ListConvTotals.cpp
    void CreateToolbar();      // ListConvToolbar.cpp
    void CreateSaving();       // ListConvSave.cpp + ListConvChecks.cpp + ListConvLookup.cpp

    // Field `index` of the guest record (guestrecord::IndexOf) on
    // cdsConvOrceve; the first call declares the whole record
    // (ListConvRecord.cpp).
    corvana::Field& GuestField(std::size_t index);
    // Field `name` of cdsCliente and of cdsEndeClie; the first call declares
    // all the dataset's fields (ListConvSave.cpp).
    corvana::Field& ClientField(const char* name);
    corvana::Field& AddressField(const char* name);

    // --- ListConvFilter, ListConvTotals -----------------------------------------
    // Loads the guest list of the filter's branch, budget and sequence into
    // cdsConvOrceve (GetConvOrceve), with the list's version. The dataset is
    // closed first, so that a load is a close and an open for dtsPadrao's
    // state handler; a server error raises before anything is closed.
    void CarregaConvidados();
    // Brings the list on screen up to date with the changes since the version
    // it was loaded or last brought up to date at (GetConvOrceve with the
    // version): the rows written since, merged by their number, the numbers
    // removed taken out. Answers the rows written. Raises, the list as it
    // was, when the list on screen has no version, the server cannot be
    // reached or its answer cannot be merged; the caller then loads the
    // whole list.
    std::vector<int> CarregaAlteracoes();
    // The list's version on screen, and the list it belongs to; none while
    // no list is loaded.
    struct ListVersion {
        std::string branch, budget, sequence;
        std::int64_t version = 0;
    };
    std::optional<ListVersion> listVersion_;
    // The treatment box's choice into IDTPTRATCONVESPEC of the record being
    // posted (edit or insert state): index 0 stores "*", 1 to 4 their codes;
    // with no item selected the field keeps its value.
    void GravaTratamento();

    // --- ListConvSave, ListConvChecks, ListConvLookup ---------------------------
    // "C" + the guest's inscription in stored form (Consiste::Ajusta_Inscricao).
    std::string NormalizedInscription() const;
    // SetConvOrceve with the change log, under the busy animation; raises on
    // failure, leaving the change log as it was. The caller merges.
    void SendChanges();
    // After a save: the list brought up to date with the changes since its
    // version (the whole list loaded when they cannot be had), the treatment
    // box showing the first guest's, and the cursor on the guest named.
    void RecarregaAposGravar(const std::string& nome);
    // Telephone, mobile and e-mail from cdsEndeClie's current record.
    void CopyContacts();
    // Before an edit or a delete starts (BeforeEdit, BeforeDelete): a guest
    // that the server saved but whose list number never reached the screen
    // (the reload after its save failed) cannot be sent as an edit or a
    // delete. The list is reloaded first (changes pending in the log are
    // sent before), the cursor goes to the guest by its name, and the edit
    // or delete goes on there. When the reload fails, the message of
    // refusalKey is shown and the edit or delete is refused, nothing sent
    // for the guest; a guest no longer on the reloaded list refuses silently.
    void NumberBeforeChange(const char* refusalKey);
    // The client a guest was last linked to on this screen (by the
    // inscription check or the lookup) and its trade name. A guest linked
    // when the list was loaded carries its client's trade name in NMFANTCLIE.
    struct LinkedClient {
        std::string code;
        std::string tradeName;
    };
    LinkedClient linkedClient_;
    // Ends the link of a guest to client `code` once its inscription is no
    // client's: the client code and the contacts taken from the client are
    // cleared, and the name too when it is the client's trade name; the
    // inscription stays.
    void EndClientLink(const std::string& code);
    // True while cdsConvOrceveBeforePost runs.
    bool checkingPost_ = false;

    // The changes the server has not accepted yet, settled before closing the
    // window (FormClose), entering the filter panel (panFiltroEnter) and
    // reloading (sbtVerificarClick).
    PendingChanges pendingChanges_;
};
