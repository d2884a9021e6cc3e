#include "corvana/ui/TfrmRotiGeral.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace corvana::ui {

TfrmRotiGeral::TfrmRotiGeral(QWidget* parent) : TForm(parent) {
    SetFormStyle(TFormStyle::fsNormal);
    auto* row = new QHBoxLayout();
    row->setContentsMargins(4, 4, 4, 4);
    MainLayout()->addLayout(row);
    grbDadosRel = new QGroupBox(this);
    grbDadosRel->setObjectName("grbDadosRel");
    row->addWidget(grbDadosRel, 1);

    panMenu = new TPanel(this);
    panMenu->setObjectName("panMenu");
    auto* menuLayout = new QVBoxLayout(panMenu);
    menuLayout->setContentsMargins(0, 0, 0, 0);
    panBotoes = new TPanel(panMenu);
    panBotoes->setObjectName("panBotoes");
    auto* buttons = new QVBoxLayout(panBotoes);
    buttons->setContentsMargins(4, 3, 4, 3);
    sbtConfirma = NewFlatButton(panBotoes, "sbtConfirma", "Confirmar", "document-save");
    sbtConfirma->setFixedSize(40, 22);
    sbtConfirma->OnClick = [this](QObject* sender) { sbtConfirmaClick(sender); };
    buttons->addWidget(sbtConfirma);
    sbtFechar = NewFlatButton(panBotoes, "sbtFechar", "Fechar", "system-log-out");
    sbtFechar->setFixedSize(40, 22);
    sbtFechar->OnClick = [this](QObject*) { Close(); };
    buttons->addWidget(sbtFechar);
    buttons->addStretch(1);
    menuLayout->addWidget(panBotoes);
    row->addWidget(panMenu);
    AddScreenCodeRow();
}

void TfrmRotiGeral::sbtConfirmaClick(QObject*) {}

void TfrmRotiGeral::FormClose(QObject*, TCloseAction& action) {
    action = TCloseAction::caFree;
}

}  // namespace corvana::ui
