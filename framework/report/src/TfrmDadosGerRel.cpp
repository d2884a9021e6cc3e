#include "corvana/report/TfrmDadosGerRel.h"

#include <QHBoxLayout>
#include <QMainWindow>
#include <QMenu>
#include <QVBoxLayout>

#include "corvana/core/Consiste.h"
#include "corvana/core/Corvana.h"
#include "corvana/core/Services.h"
#include "corvana/data/Error.h"
#include "corvana/ui/Application.h"
#include "corvana/ui/Guard.h"
#include "corvana/ui/Icons.h"

namespace corvana::report {

using namespace corvana::ui;

namespace {

// The message's "%s", in order, replaced by the values.
std::string Format(std::string text, std::initializer_list<std::string> values) {
    std::size_t at = 0;
    for (const std::string& v : values) {
        at = text.find("%s", at);
        if (at == std::string::npos) break;
        text.replace(at, 2, v);
        at += v.size();
    }
    return text;
}

}  // namespace

TfrmDadosGerRel::TfrmDadosGerRel(QWidget* parent) : TForm(parent) {
    SetFormStyle(TFormStyle::fsNormal);
    SetBorderStyle(TFormBorderStyle::bsDialog);
    auto* row = new QHBoxLayout();
    row->setContentsMargins(4, 4, 4, 4);
    // The report code and the group keep apart from the button column's frame.
    row->setSpacing(6);
    MainLayout()->addLayout(row);
    auto* left = new QVBoxLayout();
    row->addLayout(left, 1);

    auto* reportRow = new QHBoxLayout();
    lblRelatorio = new TLabel("Relatório", this);
    lblRelatorio->setObjectName("lblRelatorio");
    reportRow->addWidget(lblRelatorio);
    cbbReportNames = new TComboBox(this);
    cbbReportNames->setObjectName("cbbReportNames");
    cbbReportNames->SetStyle(TComboStyle::DropDownList);
    cbbReportNames->setMinimumWidth(260);
    lblRelatorio->SetFocusControl(cbbReportNames);
    reportRow->addWidget(cbbReportNames, 1);
    lblCodRel = new TLabel(this);
    lblCodRel->setObjectName("lblCodRel");
    QFont bold = lblCodRel->font();
    bold.setBold(true);
    lblCodRel->setFont(bold);
    reportRow->addWidget(lblCodRel);
    left->addLayout(reportRow);

    grbDadosRel = new QGroupBox(this);
    grbDadosRel->setObjectName("grbDadosRel");
    left->addWidget(grbDadosRel, 1);

    panMenu = new TPanel(this, "panMenu");
    auto* buttons = new QVBoxLayout(panMenu);
    buttons->setContentsMargins(4, 3, 4, 3);
    sbtImprimir = NewFlatButton(panMenu, "sbtImprimir", "Imprimir", "document-print");
    sbtImprimir->OnClick = [this](QObject* s) { sbtImprimirClick(s); };
    buttons->addWidget(sbtImprimir);
    sbtSalvarRelatorio = NewFlatButton(panMenu, "sbtSalvarRelatorio",
                                       "Salvar o relatório com outro título", "document-save");
    sbtSalvarRelatorio->OnClick = [this](QObject* s) { ppmSalvarRelatorioClick(s); };
    buttons->addWidget(sbtSalvarRelatorio);
    sbtFechar = NewFlatButton(panMenu, "sbtFechar", "Fechar", "system-log-out");
    sbtFechar->OnClick = [this](QObject*) { Close(); };
    buttons->addWidget(sbtFechar);
    buttons->addStretch(1);
    row->addWidget(panMenu);
    AddScreenCodeRow();

    // The report list's own menu: save the chosen definition as a new one.
    ppmSalvarRelatorio = new QMenu(this);
    ppmSalvarRelatorio->setObjectName("ppmSalvarRelatorio");
    mniSalvarRelatorio =
        ppmSalvarRelatorio->addAction(ToolIcon("document-save"), "Salvar como novo relatório...");
    mniSalvarRelatorio->setObjectName("mniSalvarRelatorio");
    GuardedConnect(mniSalvarRelatorio, &QAction::triggered, this,
                   [this] { ppmSalvarRelatorioClick(mniSalvarRelatorio); });
    cbbReportNames->setContextMenuPolicy(Qt::CustomContextMenu);
    GuardedConnect(
        cbbReportNames, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& at) { ppmSalvarRelatorio->popup(cbbReportNames->mapToGlobal(at)); });
}

void TfrmDadosGerRel::FormCreate() {
    TForm::FormCreate();
    CarregaRelatorios();
}

void TfrmDadosGerRel::FormClose(QObject*, TCloseAction& action) {
    action = TCloseAction::caFree;
}

void TfrmDadosGerRel::CarregaRelatorios() {
    const std::string code = lblCodRel->Caption();
    const std::string folder = Corvana::ReportsDir();
    const std::string chosen =
        RelatorioSelecionado() ? RelatorioSelecionado()->title : std::string();
    ReportCatalog catalog;
    {
        // While the form is being created it is not on screen yet: the
        // animation goes over the host's window.
        QWidget* over = isVisible() ? static_cast<QWidget*>(this) : Corvana::MainForm();
        corvana::services::BusyScope busy(over, msgPadrao.Msg("VD_TRAD"));
        catalog = LoadReportCatalog(folder, code);
    }
    definitions_ = std::move(catalog.definitions);
    std::vector<std::string> titles;
    int index = definitions_.empty() ? -1 : 0;
    for (std::size_t i = 0; i < definitions_.size(); ++i) {
        titles.push_back(definitions_[i].title);
        if (definitions_[i].title == chosen) index = static_cast<int>(i);
    }
    cbbReportNames->SetItems(titles);
    cbbReportNames->SetItemIndex(index);
    if (!catalog.faults.empty()) {
        std::string text;
        for (const std::string& f : catalog.faults) text += (text.empty() ? "" : "\n") + f;
        Consiste::MensErro(text, definitions_.empty());
    }
    if (definitions_.empty())
        Consiste::MensErro(Format(msgPadrao.Msg("Arq_Rel_Err"), {code, folder}), true);
}

const ReportDefinition* TfrmDadosGerRel::RelatorioSelecionado() const {
    const int index = cbbReportNames->ItemIndex();
    if (index < 0 || index >= static_cast<int>(definitions_.size())) return nullptr;
    return &definitions_[static_cast<std::size_t>(index)];
}

void TfrmDadosGerRel::sbtImprimirClick(QObject*) {
    const ReportDefinition* def = RelatorioSelecionado();
    if (!def) Consiste::MensErro("Escolha o relatório a imprimir.", true);
    const ReportDefinition chosen = *def;  // the list may be reloaded meanwhile
    rpddPadrao.Execute(chosen, this);
}

void TfrmDadosGerRel::ppmSalvarRelatorioClick(QObject*) {
    const ReportDefinition* def = RelatorioSelecionado();
    if (!def) Consiste::MensErro("Escolha o relatório a salvar com outro título.", true);
    const auto title = corvana::services::Dialogs().InputQuery(
        msgPadrao.Msg("NovoCaption"), msgPadrao.Msg("NovoPrompt"), def->title);
    if (!title) return;
    try {
        SaveReportCopy(*def, *title, Corvana::ReportsDir());
    } catch (const corvana::EAbort&) {
        throw;
    } catch (const corvana::Error& e) {
        Consiste::MensErro(e.what(), true);
    }
    const std::string kept = Consiste::AllTrim(*title);
    CarregaRelatorios();
    for (std::size_t i = 0; i < definitions_.size(); ++i)
        if (definitions_[i].title == kept) cbbReportNames->SetItemIndex(static_cast<int>(i));
}

}  // namespace corvana::report
