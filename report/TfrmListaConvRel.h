#pragma once
#include "corvana/net/TNetConnection.h"
#include "corvana/report/TfrmDadosGerRel.h"
#include "listkey/ListKeyPanel.h"
#include "listkey/ShownList.h"

// The report parameter screen "Lista de Convidados" (EVT07801, report
// EVT078): whose guest list is printed. The user picks a report definition,
// and a branch, a budget of it and a sequence of the budget, or the budget's
// resulting copy instead of a sequence; the branch and the budget are
// checked when the report asks for its parameters, the sequence when its
// field is left (ListKeyPanel). It opens with the values of the list it is
// given when that list names a branch.
class TfrmListaConvRel : public corvana::report::TfrmDadosGerRel {
    Q_OBJECT
public:
    explicit TfrmListaConvRel(ShownList shown, QWidget* parent = nullptr);

    corvana::TNetConnection netListaConv;

    // The parameter fields (inside grbDadosRel), their checks and lookups:
    // the sequence typed is kept when the budget is adjusted, the budget is
    // checked when the report runs, the sequence when it is left, and the
    // box "Mostrar cópia resultante" stands for the sequence.
    ListKeyPanel listKey;
    // The list the screen was opened on.
    const ShownList list;

    void FormCreate() override;
    void FormClose(QObject* sender, corvana::ui::TCloseAction& action) override;
    void netListaConvBeforeConnect(corvana::TNetConnection& sender);
    // The report asks for its parameters: the branch and the budget are
    // checked (a refusal ends the run before any parameter is set), then
    // P_CDFILIAL, P_NRORCAEVENTO, and P_NRSEQORCAEVE with P_IDRESULT (only
    // when the report has both) are set as text.
    void rpddPadraoBeforeGetQueryParams(corvana::report::TReportParams& params, bool& flag);

private:
    void BuildParameterFields();
};
