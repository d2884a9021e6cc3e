// Filter panel, header panel, list loading and the tool bar's button states.
#include <QAction>
#include <QGridLayout>
#include <QMainWindow>
#include <QPointer>

#include "corvana/core/Consiste.h"
#include "corvana/core/Services.h"
#include "corvana/data/Error.h"
#include "corvana/ui/Application.h"
#include "guestrecord/ListChanges.h"
#include "listconv/Cli_evt07800.h"

using namespace corvana::ui;
using corvana::DataSetState;

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

}  // namespace

void TfrmListConv::CreateFilterPanel() {
    dtsVdOrca.SetDataSet(&listKey.cdsVdOrca);
    panFiltro->OnEnter = [this](QObject* s) { panFiltroEnter(s); };
    panFiltro->OnExit = [this](QObject* s) { panFiltroExit(s); };
    dtsPadrao.OnStateChange = [this](corvana::DataSource& s) { dtsPadraoStateChange(s); };

    // --- header panel: the budget, then the chosen sequence --------------------
    panOrcamento = new TPanel(this, "panOrcamento", 51);
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

namespace {

// GetConvOrceve with the version held (null: none, the whole list): the
// guests come packed as they are read; nullopt, with the answer in `other`,
// when it is not a list (a server error, say).
std::optional<evt::guestrecord::ListChanges> askList(
    corvana::TNetConnection& net, const std::string& branch, const std::string& budget,
    const std::string& sequence, corvana::Variant since, corvana::Variant& other) {
    std::optional<corvana::PackedData> rows =
        net.CallData("GetConvOrceve", {branch, budget, sequence, std::move(since)}, other);
    return evt::guestrecord::ReadListChanges(other, std::move(rows));
}

}  // namespace

// The list's rows are packed as they are read (a list of 99,998 guests is
// never held as values); a server error is shown and raised before the
// grid loses the list it shows. Asked without a version, the server sends
// the whole list and the version it is at.
void TfrmListConv::CarregaConvidados() {
    ListVersion shown{listKey.medCdFilial->Text(), listKey.medOrcamento->Text(),
                      listKey.edtSeq->Text()};
    corvana::Variant other;
    std::optional<evt::guestrecord::ListChanges> list = askList(
        netListaConv, shown.branch, shown.budget, shown.sequence, corvana::Variant(), other);
    if (!list || !list->complete) {
        Consiste::CheckResultServ(other, true, 0);
        throw corvana::Error(
            "O servidor de aplicação respondeu à carga da lista de convidados "
            "de um modo inesperado.");
    }
    listVersion_.reset();
    cdsConvOrceve.Close();
    cdsConvOrceve.SetData(std::move(list->guests));
    shown.version = list->version;
    listVersion_ = std::move(shown);
}

std::vector<int> TfrmListConv::CarregaAlteracoes() {
    if (!listVersion_ || !cdsConvOrceve.Active() ||
        listVersion_->branch != listKey.medCdFilial->Text() ||
        listVersion_->budget != listKey.medOrcamento->Text() ||
        listVersion_->sequence != listKey.edtSeq->Text())
        throw corvana::Error("A lista na tela não tem versão.");
    corvana::Variant other;
    std::optional<evt::guestrecord::ListChanges> changes =
        askList(netListaConv, listVersion_->branch, listVersion_->budget, listVersion_->sequence,
                corvana::Variant(listVersion_->version), other);
    if (!changes) throw corvana::Error("Resposta inesperada às alterações da lista.");
    const std::int64_t version = changes->version;
    std::vector<int> written =
        evt::guestrecord::ApplyListChanges(cdsConvOrceve, std::move(*changes));
    listVersion_->version = version;
    return written;
}

// --- panel handlers ------------------------------------------------------------------

ShownList TfrmListConv::Shown() {
    QPointer<TfrmListConv> self(this);
    return {listKey.medCdFilial->Text(), listKey.edtNmFilial->Text(), listKey.medOrcamento->Text(),
            listKey.edtSeq->Text(), [self] {
                if (boStCriado && self) self->sbtVerificar->Click();
            }};
}

// Shift+Tab from the panel's first field would wrap round to the page's
// "Lista" tab, a way out of the panel that runs its checks on keys the user
// has not finished typing. The branch field, no tab stop of its own, takes
// it when it can; otherwise the focus stays where it is.
bool TfrmListConv::focusNextPrevChild(bool next) {
    if (!next) {
        QWidget* at = focusWidget();
        if (at == listKey.medOrcamento) {
            if (listKey.medCdFilial->CanFocus())
                listKey.medCdFilial->setFocus(Qt::BacktabFocusReason);
            return true;
        }
        if (at == listKey.medCdFilial) return true;
    }
    return TfrmPadraoGrid::focusNextPrevChild(next);
}

// Entering the panel drops the list on screen; a row being edited is not
// posted. Changes the server has not accepted yet are first sent again or
// given up by the user (PendingChanges), or the list stays.
void TfrmListConv::panFiltroEnter(QObject*) {
    if (pendingChanges_.KeepListOnPanelEnter(*dbgPadrao)) return;
    boPanel = false;
    listVersion_.reset();
    cdsConvOrceve.Close();
    listKey.cdsVdOrca.Close();
    cmbTratConvEspec->SetItemIndex(0);
    Habilita_Botao();
}

// boPanel turns true before the checks, so it stays true after a refusal
// (the list then stays closed and the focus is in the offending field).
void TfrmListConv::panFiltroExit(QObject*) {
    if (pendingChanges_.SkipPanelExitAfterKeptList()) return;
    boPanel = true;
    listKey.Vd_Orcamento(true);
    listKey.Vd_Sequencial();
    // The header shows the sequence from now on (its CDFILIAL is dropped).
    listKey.cdsVdOrca.SetData(listKey.cdsSequencial.Data());
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
    if (mnuRecepcao) mnuRecepcao->setEnabled(browsing);
    for (TButtonFlat* b : {sbtIncluir, sbtAlterar, sbtExcluir, sbtVerificar, sbtImpArq, sbtImprimir,
                           sbtConfirmar, sbtCancelar})
        if (QAction* item = b->MenuItem()) item->setEnabled(b->isEnabled());
}
