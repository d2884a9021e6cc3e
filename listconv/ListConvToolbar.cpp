// Grid keys and the tool bar's actions.
#include <QMainWindow>
#include <QMenu>
#include <string_view>

#include "corvana/core/Services.h"
#include "corvana/ui/Application.h"
#include "corvana/ui/Guard.h"
#include "corvana/ui/KeyCodes.h"
#include "listconv/Cli_evt07800.h"
#include "module/Pkg_EVT07800.h"

namespace {

// Columns whose value comes only from their pick list.
bool IsPickListField(std::string_view name) {
    return name == "IDCONVPRESEOREV" || name == "IDCONDICAOCONVEV" || name == "IDTIPOCONVEVEN" ||
           name == "IDEXIBECONVCONTRAT";
}

// Columns that take digits only.
bool IsDigitField(std::string_view name) {
    return name == "NRORDEMEXIBCONTRAT" || name == "NRCELCONVEVEN" || name == "NRTELCONVEVEN";
}

}  // namespace

void TfrmListConv::CreateToolbar() {
    // After the print item, before the help.
    const QList<QAction*> items = mnuManutencao->actions();
    const qsizetype printAt = items.indexOf(mnuImprimir);
    mnuRecepcao = new QAction(QStringLiteral("&Recepção…"), mnuManutencao);
    mnuRecepcao->setObjectName("mnuRecepcao");
    mnuManutencao->insertAction(printAt + 1 < items.size() ? items[printAt + 1] : nullptr,
                                mnuRecepcao);
    corvana::ui::GuardedConnect(mnuRecepcao, &QAction::triggered, this,
                                [this] { mnuRecepcaoClick(); });
    mnuLinha4 = mnuManutencao->addSeparator();
    mnuLinha4->setObjectName("mnuLinha4");
    // Enabled only by Habilita_Botao, once a list with guests is loaded.
    sbtImprimir->SetEnabled(false);
}

// Pick-list columns take nothing typed but Enter; the telephone, mobile and
// order columns refuse the printable characters that are not digits, so that
// Enter and Backspace work there as in every other column. Never raises.
void TfrmListConv::dbgPadraoKeyPress(QObject* sender, char32_t& key) {
    TfrmPadraoGrid::dbgPadraoKeyPress(sender, key);
    const corvana::Field* field = dbgPadrao->SelectedField();
    if (!field) return;
    const std::string& name = field->Name();
    if (IsPickListField(name)) {
        if (key != corvana::ui::kKeyEnter) key = 0;
        return;
    }
    if (IsDigitField(name)) {
        const bool printable = key >= U' ' && key != 0x7f;
        const bool digit = key >= U'0' && key <= U'9';
        if (printable && !digit) key = 0;
    }
}

void TfrmListConv::sbtIncluirClick(QObject* sender) {
    TfrmPadraoGrid::sbtIncluirClick(sender);
    Habilita_Botao();
    // A new guest starts in the inscription column.
    dbgPadrao->FocusField(&cdsConvOrceveNRINSJURCLILISCONV);
}

void TfrmListConv::sbtAlterarClick(QObject* sender) {
    TfrmPadraoGrid::sbtAlterarClick(sender);
    Habilita_Botao();
}

void TfrmListConv::sbtExcluirClick(QObject* sender) {
    TfrmPadraoGrid::sbtExcluirClick(sender);
    Habilita_Botao();
}

// A saved guest leaves the focus in the grid, wherever it was: a change of
// the treatment box, for one, is confirmed from the box, which the reload
// after the save may disable, and the focus would pass to the page's tab.
void TfrmListConv::sbtConfirmarClick(QObject* sender) {
    TfrmPadraoGrid::sbtConfirmarClick(sender);
    if (!cdsConvOrceve.Editing() && dbgPadrao->CanFocus()) dbgPadrao->SetFocus();
}

// Reloads the list of the filter's keys (already validated when the panel
// was left). On failure the animation is removed and the exception passes
// on; a server error leaves the list as it was.
void TfrmListConv::sbtVerificarClick(QObject*) {
    // A reload replaces the list: changes the server has not accepted yet
    // are sent first, or discarded only when the user says so.
    if (!pendingChanges_.AcceptListClose()) return;
    {
        corvana::services::BusyScope busy(Corvana::MainForm(), corvana::services::kBusyLoading);
        CarregaConvidados();
    }
    Habilita_Botao();
    TratamentoConv();
}

void TfrmListConv::sbtImpArqClick(QObject*) {
    CriaListaImpArq(Shown());
}

void TfrmListConv::sbtImprimirClick(QObject*) {
    CriaListaConvRel(Shown());
}

void TfrmListConv::mnuRecepcaoClick() {
    CriaRecepcao(Shown());
}
