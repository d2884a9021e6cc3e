#include "report/TfrmListaConvRel.h"

#include <QGridLayout>
#include <utility>

#include "corvana/core/Consiste.h"
#include "corvana/core/Corvana.h"

using namespace corvana::ui;

namespace {

// The fields the user fills stand out on the light yellow of hints.
void InfoBackground(QWidget* w) {
    QPalette p = w->palette();
    p.setColor(QPalette::Base, QColor(0xff, 0xff, 0xe1));
    w->setPalette(p);
}

}  // namespace

TfrmListaConvRel::TfrmListaConvRel(ShownList shown, QWidget* parent)
    : TfrmDadosGerRel(parent),
      listKey(netListaConv, msgPadrao,
              {.checkSequenceOnExit = true, .keepTypedSequence = true, .copyBox = true}),
      list(std::move(shown)) {
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

    rpddPadrao.BeforeGetQueryParams = [this](corvana::report::TReportParams& params, bool& flag) {
        rpddPadraoBeforeGetQueryParams(params, flag);
    };
    resize(520, 230);
}

void TfrmListaConvRel::BuildParameterFields() {
    auto* grid = new QGridLayout(grbDadosRel);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(1);

    listKey.CreateControls(grbDadosRel);
    const ListKeyPanel& k = listKey;
    for (QWidget* field : {static_cast<QWidget*>(k.medCdFilial),
                           static_cast<QWidget*>(k.medOrcamento), static_cast<QWidget*>(k.edtSeq)})
        InfoBackground(field);

    grid->addWidget(k.lblFilial, 0, 0, 1, 3);
    grid->addWidget(k.medCdFilial, 1, 0);
    grid->addWidget(k.btnFilial, 1, 1);
    grid->addWidget(k.edtNmFilial, 1, 2, 1, 4);
    grid->addWidget(k.lblNrOrca, 2, 0, 1, 3);
    grid->addWidget(k.medOrcamento, 3, 0, 1, 1);
    grid->addWidget(k.btnOrca, 3, 1);
    grid->addWidget(k.lblSeq, 2, 3);
    grid->addWidget(k.edtSeq, 3, 3);
    grid->addWidget(k.ckbMostrarCopia, 4, 0, 1, 6);
    grid->setColumnMinimumWidth(2, 16);
    grid->setColumnStretch(5, 1);
    grid->setRowStretch(5, 1);
    // Budget, check box, sequence; the branch code is left out of the tab
    // chain and its name is disabled.
    setTabOrder(cbbReportNames, k.medOrcamento);
    setTabOrder(k.medOrcamento, k.ckbMostrarCopia);
    setTabOrder(k.ckbMostrarCopia, k.edtSeq);
}

// --- opening and closing --------------------------------------------------------------

void TfrmListaConvRel::FormCreate() {
    TfrmDadosGerRel::FormCreate();
    netListaConv.SetConnected(true);
    // The values of the list it was opened on, when it names a branch.
    if (!list.branchName.empty())
        listKey.Fill(list.branch, list.branchName, list.budget, list.sequence);
}

void TfrmListaConvRel::FormClose(QObject* sender, TCloseAction& action) {
    TfrmDadosGerRel::FormClose(sender, action);
    netListaConv.SetConnected(false);
}

void TfrmListaConvRel::netListaConvBeforeConnect(corvana::TNetConnection& sender) {
    sender.SetHost(Corvana::WebURL());
    sender.SetPort(Corvana::WebPort());
}

// --- the report's parameters ----------------------------------------------------------

void TfrmListaConvRel::rpddPadraoBeforeGetQueryParams(corvana::report::TReportParams& params,
                                                      bool&) {
    listKey.Vd_Filial();
    listKey.Vd_Orcamento(true);
    const ListKeyPanel& k = listKey;
    if (Qrddlgs::ExistParam(params, "P_CDFILIAL") && !Consiste::EmptyString(k.medCdFilial->Text()))
        params.ParamByName("P_CDFILIAL").AsString = k.medCdFilial->Text();
    if (Qrddlgs::ExistParam(params, "P_NRORCAEVENTO") &&
        !Consiste::EmptyString(k.medOrcamento->Text()))
        params.ParamByName("P_NRORCAEVENTO").AsString = k.medOrcamento->Text();
    if (Qrddlgs::ExistParam(params, "P_NRSEQORCAEVE") &&
        Qrddlgs::ExistParam(params, "P_IDRESULT")) {
        if (k.ckbMostrarCopia->Checked()) {
            params.ParamByName("P_NRSEQORCAEVE").AsString = "";
            params.ParamByName("P_IDRESULT").AsString = "T";
        } else {
            params.ParamByName("P_NRSEQORCAEVE").AsString = k.edtSeq->Text();
            params.ParamByName("P_IDRESULT").AsString = "";
        }
    }
}
