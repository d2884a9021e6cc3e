#include "corvana/ui/TfrmDadosGerRel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "corvana/data/Error.h"

namespace corvana::ui {

TReportParams::TParam& TReportParams::ParamByName(const std::string& name) {
    auto it = params_.find(name);
    if (it == params_.end()) throw corvana::Error("Parâmetro '" + name + "' não encontrado no relatório.");
    return it->second;
}

TReportParams TReportDesignerDialog::GetQueryParams(const std::vector<std::string>& parameterNames) {
    TReportParams params;
    for (const auto& name : parameterNames) params.Add(name);
    bool flag = true;
    if (BeforeGetQueryParams) BeforeGetQueryParams(params, flag);
    return params;
}

TfrmDadosGerRel::TfrmDadosGerRel(QWidget* parent) : TForm(parent) {
    SetFormStyle(TFormStyle::fsNormal);
    auto* row = new QHBoxLayout();
    row->setContentsMargins(4, 4, 4, 4);
    MainLayout()->addLayout(row);
    auto* left = new QVBoxLayout();
    row->addLayout(left, 1);

    auto* reportRow = new QHBoxLayout();
    reportRow->addWidget(new TLabel("Relatório", this));
    cbbReportNames = new TComboBox(this);
    cbbReportNames->setObjectName("cbbReportNames");
    cbbReportNames->SetStyle(TComboStyle::DropDownList);
    reportRow->addWidget(cbbReportNames, 1);
    lblCodRel = new TLabel(this);
    lblCodRel->setObjectName("lblCodRel");
    reportRow->addWidget(lblCodRel);
    left->addLayout(reportRow);

    grbDadosRel = new QGroupBox(this);
    grbDadosRel->setObjectName("grbDadosRel");
    left->addWidget(grbDadosRel, 1);

    panMenu = new TPanel(this);
    panMenu->setObjectName("panMenu");
    auto* buttons = new QVBoxLayout(panMenu);
    buttons->setContentsMargins(4, 3, 4, 3);
    sbtImprimir = NewFlatButton(panMenu, "sbtImprimir", "Imprimir", "document-print");
    buttons->addWidget(sbtImprimir);
    sbtFechar = NewFlatButton(panMenu, "sbtFechar", "Fechar", "system-log-out");
    sbtFechar->OnClick = [this](QObject*) { Close(); };
    buttons->addWidget(sbtFechar);
    buttons->addStretch(1);
    row->addWidget(panMenu);
    AddScreenCodeRow();
}

void TfrmDadosGerRel::FormClose(QObject*, TCloseAction& action) { action = TCloseAction::caFree; }

}  // namespace corvana::ui

namespace Qrddlgs {
bool ExistParam(const corvana::ui::TReportParams& params, const std::string& name) {
    return params.Has(name);
}
}  // namespace Qrddlgs
