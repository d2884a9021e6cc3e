// Filter panel, header panel, list loading and the tool bar's button states.
#include <QAction>
#include <QGridLayout>
#include <QMainWindow>

#include "corvana/core/Consiste.h"
#include "corvana/core/Services.h"
#include "corvana/ui/Application.h"
#include "listconv/Cli_evt07800.h"

using namespace corvana::ui;
using corvana::DataSetState;
using corvana::FieldType;

namespace {

TDBText* HeaderText(QGridLayout* grid, int column, const char* caption, const char* name,
                    corvana::DataSource* source, const char* field, QWidget* parent) {
    auto* label = new TLabel(caption, parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    auto* text = new TDBText(parent);
    text->setObjectName(name);
    text->SetDataSource(source);
    text->SetDataField(field);
    text->setFrameShape(QFrame::StyledPanel);
    text->setFrameShadow(QFrame::Sunken);
    text->setMinimumHeight(20);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(label, 0, column);
    grid->addWidget(text, 1, column);
    return text;
}

// The budget header: the six columns of GetOrca, in its order.
void AddBudgetFields(corvana::ClientDataSet& ds) {
    ds.AddField("NRORCAEVENTO", FieldType::String, 10);
    ds.AddField("NMFANTCLIE", FieldType::String, 50);
    ds.AddField("NMTPSERVEVEN", FieldType::String, 30);
    ds.AddField("NMTIPOEVENTO", FieldType::String, 30);
    ds.AddField("DTEVENTO", FieldType::DateTime);
    ds.AddField("QTCONVORCEVE", FieldType::Float);
}

}  // namespace

void TfrmListConv::CreateFilterPanel() {
    // --- datasets and queries ------------------------------------------------
    qryFilial.SetSQL("SELECT CDFILIAL, NMFILIAL FROM FILIAL ORDER BY CDFILIAL");
    qryFilial.DataSet().AddField("CDFILIAL", FieldType::String, 4, "Código");
    qryFilial.DataSet().AddField("NMFILIAL", FieldType::String, 50, "Nome");
    qryVd_Filial.SetSQL(
        "SELECT CDFILIAL, NMFILIAL FROM FILIAL WHERE CDFILIAL = :P_CDFILIAL ORDER BY CDFILIAL");
    qryVd_Filial.DataSet().AddField("CDFILIAL", FieldType::String, 4);
    qryVd_Filial.DataSet().AddField("NMFILIAL", FieldType::String, 30);

    cdsOrcamento.AddField("NRORCAEVENTO", FieldType::String, 10, "Orçamento");
    dtsOrcamento.SetDataSet(&cdsOrcamento);
    AddBudgetFields(cdsVdOrca);
    dtsVdOrca.SetDataSet(&cdsVdOrca);
    AddBudgetFields(cdsSequencial);
    cdsSequencial.AddField("CDFILIAL", FieldType::String, 4);

    // --- lookups ---------------------------------------------------------------
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

    // --- events ----------------------------------------------------------------
    medCdFilial->OnExit = [this](QObject* s) { medCdFilialExit(s); };
    medOrcamento->OnExit = [this](QObject* s) { medOrcamentoExit(s); };
    panFiltro->OnEnter = [this](QObject* s) { panFiltroEnter(s); };
    panFiltro->OnExit = [this](QObject* s) { panFiltroExit(s); };
    dtsPadrao.OnStateChange = [this](corvana::DataSource& s) { dtsPadraoStateChange(s); };

    // --- header panel: the budget, then the chosen sequence --------------------
    panOrcamento = new TPanel(this);
    panOrcamento->setObjectName("panOrcamento");
    panOrcamento->setFrameShape(QFrame::StyledPanel);
    panOrcamento->setFixedHeight(51);
    auto* grid = new QGridLayout(panOrcamento);
    grid->setContentsMargins(8, 3, 8, 4);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(1);
    dbtCliente =
        HeaderText(grid, 0, "Cliente", "dbtCliente", &dtsVdOrca, "NMFANTCLIE", panOrcamento);
    dbtServico =
        HeaderText(grid, 1, "Serviço", "dbtServico", &dtsVdOrca, "NMTPSERVEVEN", panOrcamento);
    dbtEvento =
        HeaderText(grid, 2, "Evento", "dbtEvento", &dtsVdOrca, "NMTIPOEVENTO", panOrcamento);
    dbtDtEvento = HeaderText(grid, 3, "Data/Hora do Evento", "dbtDtEvento", &dtsVdOrca, "DTEVENTO",
                             panOrcamento);
    grid->setColumnStretch(0, 5);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 3);
    grid->setColumnStretch(3, 2);
    AddTopPanel(panOrcamento);
}

// --- key validations -------------------------------------------------------------

void TfrmListConv::Vd_Filial() {
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

void TfrmListConv::Vd_Orcamento(bool required) {
    try {
        if (Consiste::EmptyString(medOrcamento->Text())) {
            if (!required) return;
            medOrcamento->SetFocus();
            Consiste::MensErro(msgPadrao.Msg("ORCA_N_INF"), true);
        }
        medOrcamento->SetText(Consiste::Ajusta(medOrcamento->Text(), 10));
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

// No handler of its own: a failing call leaves the focus where it is.
void TfrmListConv::Vd_Sequencial() {
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
    // The header shows the sequence from now on (its CDFILIAL is dropped).
    cdsVdOrca.SetData(cdsSequencial.Data());
}

// The list's rows are packed as they are read (a list of 99,998 guests is
// never held as values); a server error is shown and raised before the
// grid loses the list it shows.
void TfrmListConv::CarregaConvidados() {
    corvana::Variant other;
    std::optional<corvana::PackedData> rows = netListaConv.CallData(
        "GetConvOrceve", {medCdFilial->Text(), medOrcamento->Text(), edtSeq->Text()}, other);
    if (!rows) Consiste::CheckResultServ(other, true, 0);
    cdsConvOrceve.Close();
    if (rows)
        cdsConvOrceve.SetData(std::move(*rows));
    else
        cdsConvOrceve.SetData(other);
}

// --- field and panel handlers ------------------------------------------------------

void TfrmListConv::medCdFilialChange(QObject*) {
    edtNmFilial->SetText("");
    medOrcamento->SetText("");
}

void TfrmListConv::medCdFilialExit(QObject*) {
    Vd_Filial();
}

void TfrmListConv::btnFilialAfterPesq(QObject*) {
    corvana::ClientDataSet& branches = qryFilial.DataSet();
    edtNmFilial->SetText(branches.FieldByName("NMFILIAL").AsString());
    medCdFilial->SetText(branches.FieldByName("CDFILIAL").AsString());
}

void TfrmListConv::medOrcamentoChange(QObject*) {
    edtSeq->SetText("");
}

void TfrmListConv::medOrcamentoExit(QObject*) {
    Vd_Orcamento(false);
    edtSeq->SetText("00");
}

// Lists the budgets of the branch code exactly as typed.
void TfrmListConv::btnOrcaBeforePesq(QObject*, bool&) {
    cdsOrcamento.SetData(Consiste::CheckResultServ(
        netListaConv.Call("GetOrcamento", {medCdFilial->Text()}), true, 0));
}

void TfrmListConv::btnOrcaAfterPesq(QObject*) {
    medOrcamento->SetText(cdsOrcamento.FieldByName("NRORCAEVENTO").AsString());
}

// Shift+Tab from the panel's first field would wrap round to the page's
// "Lista" tab, a way out of the panel that runs its checks on keys the user
// has not finished typing. The branch field, no tab stop of its own, takes
// it when it can; otherwise the focus stays where it is.
bool TfrmListConv::focusNextPrevChild(bool next) {
    if (!next) {
        QWidget* at = focusWidget();
        if (at == medOrcamento) {
            if (medCdFilial->CanFocus()) medCdFilial->setFocus(Qt::BacktabFocusReason);
            return true;
        }
        if (at == medCdFilial) return true;
    }
    return TfrmPadraoGrid::focusNextPrevChild(next);
}

// Entering the panel drops the list on screen; a row being edited is not
// posted. Changes the server has not accepted yet are first sent again or
// given up by the user (PendingChanges), or the list stays.
void TfrmListConv::panFiltroEnter(QObject*) {
    if (pendingChanges_.KeepListOnPanelEnter(*dbgPadrao)) return;
    boPanel = false;
    cdsConvOrceve.Close();
    cdsVdOrca.Close();
    cmbTratConvEspec->SetItemIndex(0);
    Habilita_Botao();
}

// boPanel turns true before the checks, so it stays true after a refusal
// (the list then stays closed and the focus is in the offending field).
void TfrmListConv::panFiltroExit(QObject*) {
    if (pendingChanges_.SkipPanelExitAfterKeptList()) return;
    boPanel = true;
    Vd_Orcamento(true);
    Vd_Sequencial();
    {
        corvana::services::BusyScope busy(Corvana::MainForm(), corvana::services::kBusyLoading);
        CarregaConvidados();
        TratamentoConv();
    }
    Habilita_Botao();
}

void TfrmListConv::dtsPadraoStateChange(corvana::DataSource& sender) {
    if (sender.State() == DataSetState::Browse)
        nedQtdeLista->SetNumber(cdsConvOrceve.RecordCount());
    Habilita_Botao();
}

// Button A is sbtImpArq (importing needs a loaded list, not guests), button
// B is sbtImprimir (printing needs guests). Each button's menu item follows
// it.
void TfrmListConv::Habilita_Botao() {
    const bool editing = cdsConvOrceve.Editing();
    const bool empty = cdsConvOrceve.IsEmpty();
    const bool browsing = !editing && boPanel;
    sbtIncluir->SetEnabled(browsing);
    sbtAlterar->SetEnabled(browsing && !empty);
    sbtExcluir->SetEnabled(browsing && !empty);
    sbtVerificar->SetEnabled(browsing);
    sbtImpArq->SetEnabled(browsing);
    sbtImprimir->SetEnabled(browsing && !empty);
    sbtConfirmar->SetEnabled(editing);
    sbtCancelar->SetEnabled(editing);
    cmbTratConvEspec->SetEnabled(!empty);
    for (TButtonFlat* b : {sbtIncluir, sbtAlterar, sbtExcluir, sbtVerificar, sbtImpArq, sbtImprimir,
                           sbtConfirmar, sbtCancelar})
        if (QAction* item = b->MenuItem()) item->setEnabled(b->isEnabled());
}
