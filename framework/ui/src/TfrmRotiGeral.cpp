#include "corvana/ui/TfrmRotiGeral.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace corvana::ui {

TfrmRotiGeral::TfrmRotiGeral(QWidget* parent) : TForm(parent) {
    SetFormStyle(TFormStyle::fsNormal);
    SetBorderStyle(TFormBorderStyle::bsDialog);
    auto* row = new QHBoxLayout();
    row->setContentsMargins(4, 4, 4, 4);
    MainLayout()->addLayout(row);
    grbDadosRel = new QGroupBox(this);
    grbDadosRel->setObjectName("grbDadosRel");
    row->addWidget(grbDadosRel, 1);

    panMenu = new TPanel(this, "panMenu");
    auto* menuLayout = new QVBoxLayout(panMenu);
    menuLayout->setContentsMargins(0, 0, 0, 0);
    panBotoes = new TPanel(panMenu, "panBotoes");
    auto* buttons = new QVBoxLayout(panBotoes);
    buttons->setContentsMargins(4, 3, 4, 3);
    sbtConfirma = NewColumnButton("sbtConfirma", "Confirmar", "Confirmar", "document-save");
    sbtConfirma->OnClick = [this](QObject* sender) { sbtConfirmaClick(sender); };
    buttons->addWidget(sbtConfirma);
    sbtFechar = NewColumnButton("sbtFechar", "Fechar", "Fechar", "system-log-out");
    sbtFechar->OnClick = [this](QObject*) { Close(); };
    buttons->addWidget(sbtFechar);
    buttons->addStretch(1);
    menuLayout->addWidget(panBotoes);
    row->addWidget(panMenu);
    AddScreenCodeRow();
}

TButtonFlat* TfrmRotiGeral::NewColumnButton(const char* name, const char* caption, const char* hint,
                                            const char* icon) {
    TButtonFlat* button = NewFlatButton(panBotoes, name, hint, icon);
    button->SetCaption(caption);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return button;
}

void TfrmRotiGeral::sbtConfirmaClick(QObject*) {}

void TfrmRotiGeral::FormClose(QObject*, TCloseAction& action) {
    action = TCloseAction::caFree;
}

}  // namespace corvana::ui
