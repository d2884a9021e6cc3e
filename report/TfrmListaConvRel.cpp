#include "report/TfrmListaConvRel.h"

#include <QGridLayout>

#include "corvana/core/Consiste.h"
#include "corvana/core/Corvana.h"
#include "listconv/Cli_evt07800.h"

using namespace corvana::ui;
using corvana::FieldType;

namespace {

// The fields the user fills stand out on the light yellow of hints.
void InfoBackground(QWidget* w) {
    QPalette p = w->palette();
    p.setColor(QPalette::Base, QColor(0xff, 0xff, 0xe1));
    w->setPalette(p);
}

TLabel* BoldLabel(const char* caption, const char* name, QWidget* parent) {
    auto* label = new TLabel(caption, parent);
    label->setObjectName(name);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

}  // namespace

TfrmListaConvRel::TfrmListaConvRel(QWidget* parent) : TfrmDadosGerRel(parent) {
    setObjectName("frmListaConvRel");
    SetCaption("Lista de Convidados");
    lblCodTela->SetCaption("EVT07801");
    lblCodRel->SetCaption("EVT078");
    msgPadrao.SetLines({
        "Arq_Rel_Err|O arquivo contendo a definição do relatório de código '%s' não foi encontrado "
        "no "
        "diretório '%s'.",
        "NovoCaption|Título do relatório",
        "NovoPrompt|Informe o título do relatório:",
        "VD_TRAD|Validando tradução de relatórios",
        "FILIAL|Filial deve ser informada.",
        "FILI_N_CAD|Filial não cadastrada.",
        "ORCA_N_INF|Orçamento deve ser informado.",
        "ORCA_N_CAD|Orçamento não cadastrado.",
        "SEQ_N_INF|Sequencial não informado.",
        "SEQ_N_CAD|Sequencial não cadastrado.",
    });

    netListaConv.SetServerName("evt07800.rdmListConv");
    netListaConv.SetThrowException(false);
    netListaConv.BeforeConnect = [this](corvana::TNetConnection& c) {
        netListaConvBeforeConnect(c);
    };

    BuildParameterFields();

    qryFilial.SetSQL("SELECT CDFILIAL, NMFILIAL FROM FILIAL ORDER BY CDFILIAL");
    qryFilial.DataSet().AddField("CDFILIAL", FieldType::String, 4, "Código");
    qryFilial.DataSet().AddField("NMFILIAL", FieldType::String, 50, "Nome");
    qryVd_Filial.SetSQL(
        "SELECT CDFILIAL, NMFILIAL FROM FILIAL WHERE CDFILIAL = :P_CDFILIAL ORDER BY CDFILIAL");
    qryVd_Filial.DataSet().AddField("CDFILIAL", FieldType::String, 4);
    qryVd_Filial.DataSet().AddField("NMFILIAL", FieldType::String, 30);
    cdsOrcamento.AddField("NRORCAEVENTO", FieldType::String, 10, "Orçamento");
    dtsOrcamento.SetDataSet(&cdsOrcamento);
    cdsVdOrca.AddField("NRORCAEVENTO", FieldType::String, 10);
    cdsVdOrca.AddField("NMFANTCLIE", FieldType::String, 50);
    cdsVdOrca.AddField("NMTPSERVEVEN", FieldType::String, 30);
    cdsVdOrca.AddField("NMTIPOEVENTO", FieldType::String, 30);
    cdsVdOrca.AddField("DTEVENTO", FieldType::DateTime);
    cdsVdOrca.AddField("QTCONVORCEVE", FieldType::Float);
    cdsSequencial.AddField("CDFILIAL", FieldType::String, 4);
    cdsSequencial.AddField("NRORCAEVENTO", FieldType::String, 10);
    cdsSequencial.AddField("NRSEQORCAEVE", FieldType::String, 2);

    btnFilial->SetDataSource(&qryFilial.Source());
    btnFilial->SetFieldCodigo("CDFILIAL");
    btnFilial->OnBeforePesq = [this](QObject*, bool&) {
        qryFilial.Close();
        qryFilial.Open();
    };
    btnFilial->OnAfterPesq = [this](QObject* s) { btnFilialAfterPesq(s); };
    btnOrca->SetDataSource(&dtsOrcamento);
    btnOrca->SetFieldCodigo("NRORCAEVENTO");
    btnOrca->OnBeforePesq = [this](QObject* s, bool& flag) { btnOrcaBeforePesq(s, flag); };
    btnOrca->OnAfterPesq = [this](QObject* s) { btnOrcaAfterPesq(s); };

    medCdFilial->OnExit = [this](QObject* s) { medCdFilialExit(s); };
    medOrcamento->OnChange = [this](QObject* s) { medOrcamentoChange(s); };
    medOrcamento->OnExit = [this](QObject* s) { medOrcamentoExit(s); };
    edtSeq->OnExit = [this](QObject* s) { edtSeqExit(s); };
    ckbMostrarCopia->OnClick = [this](QObject* s) { ckbMostrarCopiaClick(s); };
    rpddPadrao.BeforeGetQueryParams = [this](corvana::report::TReportParams& params, bool& flag) {
        rpddPadraoBeforeGetQueryParams(params, flag);
    };
    resize(520, 230);
}

TfrmListaConvRel::~TfrmListaConvRel() {
    dtsOrcamento.SetDataSet(nullptr);
}

void TfrmListaConvRel::BuildParameterFields() {
    auto* grid = new QGridLayout(grbDadosRel);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(1);

    lblFilial = BoldLabel("Filial", "lblFilial", grbDadosRel);
    medCdFilial = new TMaskEdit(grbDadosRel);
    medCdFilial->setObjectName("medCdFilial");
    medCdFilial->SetEditMask("9999;0; ");
    medCdFilial->SetMaxLength(4);
    medCdFilial->setFixedWidth(44);
    medCdFilial->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    InfoBackground(medCdFilial);
    btnFilial = new TBtnPesquisa(grbDadosRel);
    btnFilial->setObjectName("btnFilial");
    btnFilial->SetHint("Pesquisar");
    btnFilial->SetAssociate(medCdFilial);
    btnFilial->SetTitle("Filial");
    btnFilial->SetEmptyError("Não há filial cadastrada.");
    edtNmFilial = new TEdit(grbDadosRel);
    edtNmFilial->setObjectName("edtNmFilial");
    edtNmFilial->SetEnabled(false);

    lblNrOrca = BoldLabel("Nr. Orçamento", "lblNrOrca", grbDadosRel);
    medOrcamento = new TEdit(grbDadosRel);
    medOrcamento->setObjectName("medOrcamento");
    medOrcamento->SetCharCase(TEditCharCase::UpperCase);
    medOrcamento->SetMaxLength(10);
    medOrcamento->setFixedWidth(96);
    InfoBackground(medOrcamento);
    btnOrca = new TBtnPesquisa(grbDadosRel);
    btnOrca->setObjectName("btnOrca");
    btnOrca->SetHint("Pesquisar");
    btnOrca->SetAssociate(medOrcamento);
    btnOrca->SetTitle("Orçamento");
    btnOrca->SetEmptyError("Não há orçamento cadastrado.");

    lblSequencial = BoldLabel("Sequencial", "lblSequencial", grbDadosRel);
    edtSeq = new TEdit(grbDadosRel);
    edtSeq->setObjectName("edtSeq");
    edtSeq->SetMaxLength(2);
    edtSeq->setFixedWidth(32);
    InfoBackground(edtSeq);

    ckbMostrarCopia = new TCheckBox("Mostrar cópia resultante", grbDadosRel);
    ckbMostrarCopia->setObjectName("ckbMostrarCopia");
    QFont bold = ckbMostrarCopia->font();
    bold.setBold(true);
    ckbMostrarCopia->setFont(bold);
    ckbMostrarCopia->SetChecked(false);

    grid->addWidget(lblFilial, 0, 0, 1, 3);
    grid->addWidget(medCdFilial, 1, 0);
    grid->addWidget(btnFilial, 1, 1);
    grid->addWidget(edtNmFilial, 1, 2, 1, 4);
    grid->addWidget(lblNrOrca, 2, 0, 1, 3);
    grid->addWidget(medOrcamento, 3, 0, 1, 1);
    grid->addWidget(btnOrca, 3, 1);
    grid->addWidget(lblSequencial, 2, 3);
    grid->addWidget(edtSeq, 3, 3);
    grid->addWidget(ckbMostrarCopia, 4, 0, 1, 6);
    grid->setColumnMinimumWidth(2, 16);
    grid->setColumnStretch(5, 1);
    grid->setRowStretch(5, 1);
    // Budget, check box, sequence; the branch code is left out of the tab
    // chain and its name is disabled.
    setTabOrder(cbbReportNames, medOrcamento);
    setTabOrder(medOrcamento, ckbMostrarCopia);
    setTabOrder(ckbMostrarCopia, edtSeq);
}

// --- opening and closing --------------------------------------------------------------

void TfrmListaConvRel::FormCreate() {
    TfrmDadosGerRel::FormCreate();
    netListaConv.SetConnected(true);
    // The guest list screen's values, as they stand, when it shows a branch.
    if (!boStCriado || !frmListConv || frmListConv->edtNmFilial->Text().empty()) return;
    // The sequence last: setting the budget clears it.
    medCdFilial->SetText(frmListConv->medCdFilial->Text());
    edtNmFilial->SetText(frmListConv->edtNmFilial->Text());
    medOrcamento->SetText(frmListConv->medOrcamento->Text());
    edtSeq->SetText(frmListConv->edtSeq->Text());
}

void TfrmListaConvRel::FormClose(QObject* sender, TCloseAction& action) {
    TfrmDadosGerRel::FormClose(sender, action);
    netListaConv.SetConnected(false);
}

void TfrmListaConvRel::netListaConvBeforeConnect(corvana::TNetConnection& sender) {
    sender.SetHost(Corvana::WebURL());
    sender.SetPort(Corvana::WebPort());
}

// --- branch ------------------------------------------------------------------------------

void TfrmListaConvRel::Vd_Filial() {
    try {
        if (Consiste::EmptyString(medCdFilial->Text()))
            Consiste::MensErro(msgPadrao.Msg("FILIAL"), true);
        medCdFilial->SetText(Consiste::Ajusta(medCdFilial->Text(), 4));
        qryVd_Filial.Close();
        qryVd_Filial.ParamByName("P_CDFILIAL").SetAsString(medCdFilial->Text());
        qryVd_Filial.Open();
        if (qryVd_Filial.IsEmpty()) {
            medCdFilial->SetFocus();
            Consiste::MensErro(msgPadrao.Msg("FILI_N_CAD"), true);
        }
        edtNmFilial->SetText(qryVd_Filial.FieldByName("NMFILIAL").AsString());
        medCdFilial->SetText(qryVd_Filial.FieldByName("CDFILIAL").AsString());
    } catch (...) {
        medCdFilial->SetFocus();
        throw;
    }
}

void TfrmListaConvRel::medCdFilialExit(QObject*) {
    Vd_Filial();
}

void TfrmListaConvRel::btnFilialAfterPesq(QObject*) {
    corvana::ClientDataSet& branches = qryFilial.DataSet();
    edtNmFilial->SetText(branches.FieldByName("NMFILIAL").AsString());
    medCdFilial->SetText(branches.FieldByName("CDFILIAL").AsString());
}

// --- budget ------------------------------------------------------------------------------

// Lists the budgets of the branch code exactly as typed.
void TfrmListaConvRel::btnOrcaBeforePesq(QObject*, bool&) {
    cdsOrcamento.SetData(Consiste::CheckResultServ(
        netListaConv.Call("GetOrcamento", {medCdFilial->Text()}), true, 0));
}

void TfrmListaConvRel::btnOrcaAfterPesq(QObject*) {
    medOrcamento->SetText(cdsOrcamento.FieldByName("NRORCAEVENTO").AsString());
}

void TfrmListaConvRel::medOrcamentoChange(QObject*) {
    edtSeq->SetText("");
}

// The budget is checked when the report runs, not here.
void TfrmListaConvRel::medOrcamentoExit(QObject*) {
    edtSeq->SetText("00");
}

void TfrmListaConvRel::Vd_Orcamento() {
    try {
        if (Consiste::EmptyString(medOrcamento->Text())) {
            medOrcamento->SetFocus();
            Consiste::MensErro(msgPadrao.Msg("ORCA_N_INF"), true);
        }
        // The adjusted budget is the same budget: the sequence typed for it
        // stays.
        const std::string sequence = edtSeq->Text();
        medOrcamento->SetText(Consiste::Ajusta(medOrcamento->Text(), 10));
        if (edtSeq->Text() != sequence) edtSeq->SetText(sequence);
        cdsVdOrca.SetData(Consiste::CheckResultServ(
            netListaConv.Call("GetOrca", {medCdFilial->Text(), medOrcamento->Text()}), true, 0));
        if (cdsVdOrca.IsEmpty()) {
            medOrcamento->SetFocus();
            Consiste::MensErro(msgPadrao.Msg("ORCA_N_CAD"), true);
        }
    } catch (...) {
        medOrcamento->SetFocus();
        throw;
    }
}

// --- sequence ----------------------------------------------------------------------------

// No handler of its own: a failing call leaves the focus where it is.
void TfrmListaConvRel::Vd_Sequencial() {
    if (Consiste::EmptyString(edtSeq->Text())) {
        edtSeq->SetFocus();
        Consiste::MensErro(msgPadrao.Msg("SEQ_N_INF"), true);
    }
    edtSeq->SetText(Consiste::Ajusta(edtSeq->Text(), 2));
    cdsSequencial.SetData(Consiste::CheckResultServ(
        netListaConv.Call("GetSequencial",
                          {medCdFilial->Text(), medOrcamento->Text(), edtSeq->Text()}),
        true, 0));
    if (cdsSequencial.IsEmpty()) {
        edtSeq->SetFocus();
        Consiste::MensErro(msgPadrao.Msg("SEQ_N_CAD"), true);
    }
}

void TfrmListaConvRel::edtSeqExit(QObject*) {
    Vd_Sequencial();
}

// The sequence keeps its text either way.
void TfrmListaConvRel::ckbMostrarCopiaClick(QObject*) {
    const bool sequence = !ckbMostrarCopia->Checked();
    edtSeq->SetEnabled(sequence);
    lblSequencial->setEnabled(sequence);
}

// --- the report's parameters ----------------------------------------------------------

void TfrmListaConvRel::rpddPadraoBeforeGetQueryParams(corvana::report::TReportParams& params,
                                                      bool&) {
    Vd_Filial();
    Vd_Orcamento();
    if (Qrddlgs::ExistParam(params, "P_CDFILIAL") && !Consiste::EmptyString(medCdFilial->Text()))
        params.ParamByName("P_CDFILIAL").AsString = medCdFilial->Text();
    if (Qrddlgs::ExistParam(params, "P_NRORCAEVENTO") &&
        !Consiste::EmptyString(medOrcamento->Text()))
        params.ParamByName("P_NRORCAEVENTO").AsString = medOrcamento->Text();
    if (Qrddlgs::ExistParam(params, "P_NRSEQORCAEVE") &&
        Qrddlgs::ExistParam(params, "P_IDRESULT")) {
        if (ckbMostrarCopia->Checked()) {
            params.ParamByName("P_NRSEQORCAEVE").AsString = "";
            params.ParamByName("P_IDRESULT").AsString = "T";
        } else {
            params.ParamByName("P_NRSEQORCAEVE").AsString = edtSeq->Text();
            params.ParamByName("P_IDRESULT").AsString = "";
        }
    }
}
