#include "listconv/TfrmListConv.h"

#include <QGridLayout>

#include "corvana/core/Corvana.h"
#include "corvana/data/Error.h"
#include "corvana/data/Text.h"
#include "guestrecord/GuestRecord.h"
#include "listconv/Cli_evt07800.h"
#include "sheet/GuestListSheetTools.h"

using namespace corvana::ui;
using evt::guestrecord::IndexOf;

TfrmListConv::TfrmListConv(QWidget* parent)
    : TfrmPadraoGrid(parent),
      listKey(netListaConv, msgPadrao,
              {.branchChangeClearsBudget = true, .checkBudgetOnExit = true}),
      cdsConvOrceveIDTPTRATCONVESPEC(GuestField(IndexOf("IDTPTRATCONVESPEC"))),
      cdsConvOrceveCDCLIENTELISTCONV(GuestField(IndexOf("CDCLIENTELISTCONV"))),
      cdsConvOrceveNRINSJURCLILISCONV(GuestField(IndexOf("NRINSJURCLILISCONV"))),
      cdsConvOrceveNMLISTACONVOREV(GuestField(IndexOf("NMLISTACONVOREV"))),
      cdsConvOrceveNRRGLISTAOREV(GuestField(IndexOf("NRRGLISTAOREV"))),
      cdsConvOrceveIDCONVPRESEOREV(GuestField(IndexOf("IDCONVPRESEOREV"))),
      cdsConvOrceveIDCONDICAOCONVEV(GuestField(IndexOf("IDCONDICAOCONVEV"))),
      cdsConvOrceveNRTELCONVEVEN(GuestField(IndexOf("NRTELCONVEVEN"))),
      cdsConvOrceveNRCELCONVEVEN(GuestField(IndexOf("NRCELCONVEVEN"))),
      cdsConvOrceveDSEMAILCONVEVEN(GuestField(IndexOf("DSEMAILCONVEVEN"))),
      cdsConvOrceveIDTIPOCONVEVEN(GuestField(IndexOf("IDTIPOCONVEVEN"))),
      cdsConvOrceveIDEXIBECONVCONTRAT(GuestField(IndexOf("IDEXIBECONVCONTRAT"))),
      cdsConvOrceveNRORDEMEXIBCONTRAT(GuestField(IndexOf("NRORDEMEXIBCONTRAT"))),
      cdsConvOrceveNMFANTCLIE(GuestField(IndexOf("NMFANTCLIE"))),
      cdsConvOrceveIDTPIJURCLIE(GuestField(IndexOf("IDTPIJURCLIE"))),
      cdsConvOrceveCDFILIAL(GuestField(IndexOf("CDFILIAL"))),
      cdsConvOrceveNRORCAEVENTO(GuestField(IndexOf("NRORCAEVENTO"))),
      cdsConvOrceveNRLISTACONVOREV(GuestField(IndexOf("NRLISTACONVOREV"))),
      cdsConvOrceveNRSEQORCAEVE(GuestField(IndexOf("NRSEQORCAEVE"))),
      cdsClienteCDCLIENTE(ClientField("CDCLIENTE")),
      cdsClienteNRINSJURCLIE(ClientField("NRINSJURCLIE")),
      cdsClienteIDTPIJURCLIE(ClientField("IDTPIJURCLIE")),
      cdsClienteNMFANTCLIE(ClientField("NMFANTCLIE")),
      cdsEndeClieNRTELECLIE(AddressField("NRTELECLIE")),
      cdsEndeClieDSEMAILCLIE(AddressField("DSEMAILCLIE")),
      cdsEndeClieNRCELULARCLI(AddressField("NRCELULARCLI")),
      pendingChanges_(
          cdsConvOrceve, [this] { SendChanges(); }, msgPadrao) {
    setObjectName("frmListConv");
    SetCaption("Lista de Convidados");
    lblCodTela->SetCaption("EVT07800");
    resize(1178, 510);

    netListaConv.SetServerName("evt07800.rdmListConv");
    netListaConv.SetThrowException(false);
    netListaConv.BeforeConnect = [this](corvana::TNetConnection& c) {
        netListaConvBeforeConnect(c);
    };

    BuildFilterPanel();
    dtsPadrao.SetDataSet(&cdsConvOrceve);
    CreateRecord();
    CreateFilterPanel();
    CreateTotalsPanel();
    CreateToolbar();
    // The wizard works on the list the filter shows, and the list is
    // reloaded as after the fixed-width import.
    sheetTools = new GuestListSheetTools(*this, [this] { return Shown(); });
    CreateSaving();
    // Tab leaves the filter panel for the grid.
    setTabOrder(listKey.edtSeq, dbgPadrao);
}

TfrmListConv::~TfrmListConv() {
    dtsPadrao.SetDataSet(nullptr);
}

void TfrmListConv::BuildFilterPanel() {
    panFiltro = new TPanel(this, "panFiltro", 63);
    auto* grid = new QGridLayout(panFiltro);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(1);

    listKey.CreateControls(panFiltro);
    listKey.edtNmFilial->setMinimumWidth(260);
    const ListKeyPanel& k = listKey;
    grid->addWidget(k.lblFilial, 0, 0, 1, 3);
    grid->addWidget(k.medCdFilial, 1, 0);
    grid->addWidget(k.btnFilial, 1, 1);
    grid->addWidget(k.edtNmFilial, 1, 2);
    grid->addWidget(k.lblNrOrca, 0, 4, 1, 2);
    grid->addWidget(k.medOrcamento, 1, 4);
    grid->addWidget(k.btnOrca, 1, 5);
    grid->addWidget(k.lblSeq, 0, 7);
    grid->addWidget(k.edtSeq, 1, 7);
    grid->setColumnMinimumWidth(3, 16);
    grid->setColumnMinimumWidth(6, 16);
    grid->setColumnStretch(8, 1);
    AddTopPanel(panFiltro);
    setTabOrder(k.medOrcamento, k.edtSeq);
}

void TfrmListConv::FormCreate() {
    TfrmPadraoGrid::FormCreate();
    // Launch values that do not fit their fields are malformed: refusing
    // them makes the launch open the screen with empty values instead of
    // cutting a code into another one.
    if (corvana::utf8Length(stCdFilial) > 4 || corvana::utf8Length(stNrOrca) > 10 ||
        corvana::utf8Length(stNrSeq) > 2)
        throw corvana::Error("Valores de abertura inválidos para a Lista de Convidados.");
    boStCriado = true;
    boPrimVez = true;
    // The filter panel has not been left yet: the tool bar follows its rule
    // from the start, not only from the first time the panel is entered.
    boPanel = false;
    Habilita_Botao();
    listKey.Fill(stCdFilial, stNmFilial, stNrOrca, stNrSeq);
    netListaConv.SetConnected(true);
}

void TfrmListConv::netListaConvBeforeConnect(corvana::TNetConnection& sender) {
    sender.SetHost(Corvana::WebURL());
    sender.SetPort(Corvana::WebPort());
}

void TfrmListConv::FormActivate() {
    Repaint();
    if (!boPrimVez) return;
    ListKeyPanel& k = listKey;
    if (k.medOrcamento->Text().empty()) {
        k.medCdFilial->SetText(Corvana::FiliProc());
        k.edtNmFilial->SetText(Corvana::NomeFiliProc());
    }
    if (Corvana::ModuFili()) {
        dbgPadrao->SetFocus();
        k.medCdFilial->SetEnabled(false);
        k.lblFilial->setEnabled(false);
        k.btnFilial->SetEnabled(false);
        k.medOrcamento->SetFocus();
    } else {
        k.medCdFilial->SetFocus();
    }
    boPrimVez = false;
}

void TfrmListConv::FormClose(QObject* sender, TCloseAction& action) {
    // Changes the server has not accepted are sent first; keeping them keeps
    // the window open.
    if (!pendingChanges_.AcceptListClose()) {
        action = TCloseAction::caNone;
        return;
    }
    boStCriado = false;
    netListaConv.SetConnected(false);
    TfrmPadraoGrid::FormClose(sender, action);
}
