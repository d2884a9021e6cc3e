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
    sheetTools = new GuestListSheetTools(
        *this,
        [this] {
            return GuestListKeys{medCdFilial->Text(), medOrcamento->Text(), edtSeq->Text()};
        },
        [this] { sbtVerificar->Click(); });
    CreateSaving();
    // Tab leaves the filter panel for the grid.
    setTabOrder(edtSeq, dbgPadrao);
}

TfrmListConv::~TfrmListConv() {
    dtsPadrao.SetDataSet(nullptr);
}

void TfrmListConv::BuildFilterPanel() {
    panFiltro = new TPanel(this);
    panFiltro->setObjectName("panFiltro");
    panFiltro->setFrameShape(QFrame::StyledPanel);
    panFiltro->setFixedHeight(63);
    auto* grid = new QGridLayout(panFiltro);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(1);

    auto bold = [](TLabel* label) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    };

    lblFilial = new TLabel("Filial", panFiltro);
    lblFilial->setObjectName("lblFilial");
    bold(lblFilial);
    medCdFilial = new TMaskEdit(panFiltro);
    medCdFilial->setObjectName("medCdFilial");
    medCdFilial->SetEditMask("9999;0; ");
    medCdFilial->SetMaxLength(4);
    medCdFilial->setFixedWidth(44);
    medCdFilial->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    medCdFilial->OnChange = [this](QObject* s) { medCdFilialChange(s); };
    btnFilial = new TBtnPesquisa(panFiltro);
    btnFilial->setObjectName("btnFilial");
    btnFilial->SetHint("Pesquisar");
    btnFilial->SetAssociate(medCdFilial);
    btnFilial->SetTitle("Filial");
    btnFilial->SetEmptyError("Não há filial cadastrada.");
    edtNmFilial = new TEdit(panFiltro);
    edtNmFilial->setObjectName("edtNmFilial");
    edtNmFilial->SetEnabled(false);
    edtNmFilial->setMinimumWidth(260);

    lblNrOrca = new TLabel("Nr. Orçamento", panFiltro);
    lblNrOrca->setObjectName("lblNrOrca");
    bold(lblNrOrca);
    medOrcamento = new TEdit(panFiltro);
    medOrcamento->setObjectName("medOrcamento");
    medOrcamento->SetCharCase(TEditCharCase::UpperCase);
    medOrcamento->SetMaxLength(10);
    medOrcamento->setFixedWidth(96);
    medOrcamento->OnChange = [this](QObject* s) { medOrcamentoChange(s); };
    btnOrca = new TBtnPesquisa(panFiltro);
    btnOrca->setObjectName("btnOrca");
    btnOrca->SetHint("Pesquisar");
    btnOrca->SetAssociate(medOrcamento);
    btnOrca->SetTitle("Orçamento");
    btnOrca->SetEmptyError("Não há orçamento cadastrado.");

    lblSeq = new TLabel("Sequencial", panFiltro);
    lblSeq->setObjectName("lblSeq");
    bold(lblSeq);
    edtSeq = new TEdit(panFiltro);
    edtSeq->setObjectName("edtSeq");
    edtSeq->SetMaxLength(2);
    edtSeq->setFixedWidth(32);

    grid->addWidget(lblFilial, 0, 0, 1, 3);
    grid->addWidget(medCdFilial, 1, 0);
    grid->addWidget(btnFilial, 1, 1);
    grid->addWidget(edtNmFilial, 1, 2);
    grid->addWidget(lblNrOrca, 0, 4, 1, 2);
    grid->addWidget(medOrcamento, 1, 4);
    grid->addWidget(btnOrca, 1, 5);
    grid->addWidget(lblSeq, 0, 7);
    grid->addWidget(edtSeq, 1, 7);
    grid->setColumnMinimumWidth(3, 16);
    grid->setColumnMinimumWidth(6, 16);
    grid->setColumnStretch(8, 1);
    AddTopPanel(panFiltro);
    setTabOrder(medOrcamento, edtSeq);
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
    // Each field is filled after the one whose change would clear it.
    medCdFilial->SetText(stCdFilial);
    edtNmFilial->SetText(stNmFilial);
    medOrcamento->SetText(stNrOrca);
    edtSeq->SetText(stNrSeq);
    netListaConv.SetConnected(true);
}

void TfrmListConv::netListaConvBeforeConnect(corvana::TNetConnection& sender) {
    sender.SetHost(Corvana::WebURL());
    sender.SetPort(Corvana::WebPort());
}

void TfrmListConv::FormActivate() {
    Repaint();
    if (!boPrimVez) return;
    if (medOrcamento->Text().empty()) {
        medCdFilial->SetText(Corvana::FiliProc());
        edtNmFilial->SetText(Corvana::NomeFiliProc());
    }
    if (Corvana::ModuFili()) {
        dbgPadrao->SetFocus();
        medCdFilial->SetEnabled(false);
        lblFilial->setEnabled(false);
        btnFilial->SetEnabled(false);
        medOrcamento->SetFocus();
    } else {
        medCdFilial->SetFocus();
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
