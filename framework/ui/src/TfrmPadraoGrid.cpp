#include "corvana/ui/TfrmPadraoGrid.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "corvana/core/Services.h"
#include "corvana/ui/Icons.h"

namespace corvana::ui {

TfrmPadraoGrid::TfrmPadraoGrid(QWidget* parent) : TForm(parent) {
    SetFormStyle(TFormStyle::fsMDIChild);
    msgPadrao.Add("Excl|Confirma exclusão?");

    mnuPrincipal = new QMenuBar(this);
    mnuPrincipal->setNativeMenuBar(false);
    mnuManutencao = mnuPrincipal->addMenu("&Manutenção");
    MainLayout()->addWidget(mnuPrincipal);

    panMenu = new TPanel(this, "panMenu", 34);
    auto* bar = new QHBoxLayout(panMenu);
    bar->setContentsMargins(4, 2, 8, 2);
    bar->setSpacing(2);
    MainLayout()->addWidget(panMenu);

    sbtIncluir = addButton("sbtIncluir", "Incluir", "list-add", mnuIncluir,
                           &TfrmPadraoGrid::sbtIncluirClick);
    sbtAlterar = addButton("sbtAlterar", "Alterar", "accessories-text-editor", mnuAlterar,
                           &TfrmPadraoGrid::sbtAlterarClick);
    sbtExcluir = addButton("sbtExcluir", "Excluir", "edit-delete", mnuExcluir,
                           &TfrmPadraoGrid::sbtExcluirClick);
    sbtVerificar = addButton("sbtVerificar", "Verificar", "view-refresh", mnuVerificar,
                             &TfrmPadraoGrid::sbtVerificarClick);
    mnuManutencao->addSeparator();
    sbtCancelar = addButton("sbtCancelar", "Cancelar", "edit-undo", mnuCancelar,
                            &TfrmPadraoGrid::sbtCancelarClick);
    sbtConfirmar = addButton("sbtConfirmar", "Confirmar", "document-save", mnuConfirmar,
                             &TfrmPadraoGrid::sbtConfirmarClick);
    mnuManutencao->addSeparator();
    sbtImpArq = addButton("sbtImpArq", "Importar Arquivo", "document-open", mnuImpArq,
                          &TfrmPadraoGrid::sbtImpArqClick);
    sbtImprimir = addButton("sbtImprimir", "Imprimir", "document-print", mnuImprimir,
                            &TfrmPadraoGrid::sbtImprimirClick);
    mnuManutencao->addSeparator();
    sbtAjuda =
        addButton("sbtAjuda", "Ajuda", "help-browser", mnuAjuda, &TfrmPadraoGrid::sbtAjudaClick);
    sbtFechar = addButton("sbtFechar", "Fechar", "system-log-out", mnuFechar,
                          &TfrmPadraoGrid::sbtFecharClick);
    bar->addStretch(1);
    lblCodTela->setParent(panMenu);
    lblCodTela->show();
    QFont codeFont = lblCodTela->font();
    codeFont.setBold(true);
    lblCodTela->setFont(codeFont);
    bar->addWidget(lblCodTela);

    topArea_ = new QVBoxLayout();
    topArea_->setContentsMargins(0, 0, 0, 0);
    topArea_->setSpacing(0);
    MainLayout()->addLayout(topArea_);

    pgcPadrao = new QTabWidget(this);
    pgcPadrao->setObjectName("pgcPadrao");
    tbsPadrao = new QWidget();
    pageLayout_ = new QVBoxLayout(tbsPadrao);
    pageLayout_->setContentsMargins(2, 2, 2, 2);
    pageLayout_->setSpacing(2);
    dbgPadrao = new TDBGrid(tbsPadrao);
    dbgPadrao->setObjectName("dbgPadrao");
    dbgPadrao->SetDataSource(&dtsPadrao);
    dbgPadrao->OnKeyPress = [this](QObject* sender, char32_t& key) {
        dbgPadraoKeyPress(sender, key);
    };
    pageLayout_->addWidget(dbgPadrao, 1);
    pgcPadrao->addTab(tbsPadrao, "Lista");
    MainLayout()->addWidget(pgcPadrao, 1);

    panNavigator = new TPanel(this, "panNavigator", 24);
    auto* nav = new QHBoxLayout(panNavigator);
    nav->setContentsMargins(6, 0, 2, 0);
    dbtNome = new TDBText(panNavigator);
    dbtNome->setObjectName("dbtNome");
    dbtNome->SetDataSource(&dtsPadrao);
    nav->addWidget(dbtNome, 1);
    dbnPadrao = new TDBNavigator(panNavigator);
    dbnPadrao->setObjectName("dbnPadrao");
    dbnPadrao->SetDataSource(&dtsPadrao);
    nav->addWidget(dbnPadrao);
    MainLayout()->addWidget(panNavigator);
}

TButtonFlat* TfrmPadraoGrid::addButton(const char* name, const char* caption, const char* icon,
                                       QAction*& item, void (TfrmPadraoGrid::*handler)(QObject*)) {
    auto* b = new TButtonFlat(panMenu);
    b->setObjectName(name);
    b->SetHint(caption);
    b->setIcon(ToolIcon(icon));
    b->setIconSize(QSize(22, 22));
    b->setFixedSize(30, 28);
    panMenu->layout()->addWidget(b);
    item = mnuManutencao->addAction(QString::fromUtf8(caption));
    item->setObjectName(QString("mnu") + (name + 3));
    b->SetMenuItem(item);
    b->OnClick = [this, handler](QObject* sender) { (this->*handler)(sender); };
    return b;
}

void TfrmPadraoGrid::AddTopPanel(QWidget* panel) {
    topArea_->addWidget(panel);
}
void TfrmPadraoGrid::AddGridBottomPanel(QWidget* panel) {
    pageLayout_->addWidget(panel);
}

void TfrmPadraoGrid::FormCreate() {}

void TfrmPadraoGrid::FormClose(QObject*, TCloseAction& action) {
    action = TCloseAction::caFree;
}

void TfrmPadraoGrid::sbtIncluirClick(QObject*) {
    if (ClientDataSet* ds = dtsPadrao.DataSet()) {
        ds->Insert();
        if (dbgPadrao->CanFocus()) dbgPadrao->SetFocus();
    }
}

void TfrmPadraoGrid::sbtAlterarClick(QObject*) {
    if (ClientDataSet* ds = dtsPadrao.DataSet()) {
        ds->Edit();
        if (dbgPadrao->CanFocus()) dbgPadrao->SetFocus();
    }
}

void TfrmPadraoGrid::sbtExcluirClick(QObject*) {
    ClientDataSet* ds = dtsPadrao.DataSet();
    if (!ds || ds->IsEmpty()) return;
    if (corvana::services::Dialogs().Confirm(msgPadrao.Msg("Excl"))) ds->Delete();
}

void TfrmPadraoGrid::sbtVerificarClick(QObject*) {}

void TfrmPadraoGrid::sbtCancelarClick(QObject*) {
    if (ClientDataSet* ds = dtsPadrao.DataSet()) {
        ds->Cancel();
    }
}

void TfrmPadraoGrid::sbtConfirmarClick(QObject*) {
    if (ClientDataSet* ds = dtsPadrao.DataSet()) {
        dtsPadrao.UpdateRecord();
        if (ds->Editing()) ds->Post();
    }
}

void TfrmPadraoGrid::sbtImpArqClick(QObject*) {}
void TfrmPadraoGrid::sbtImprimirClick(QObject*) {}

void TfrmPadraoGrid::sbtAjudaClick(QObject*) {
    corvana::services::Dialogs().ShowInformation(Caption() + " (" + lblCodTela->Caption() + ")");
}

void TfrmPadraoGrid::sbtFecharClick(QObject*) {
    Close();
}

void TfrmPadraoGrid::dbgPadraoKeyPress(QObject*, char32_t&) {}

}  // namespace corvana::ui
