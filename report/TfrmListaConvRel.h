#pragma once
#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"
#include "corvana/db/TADOIBQuery.h"
#include "corvana/net/TNetConnection.h"
#include "corvana/report/TfrmDadosGerRel.h"
#include "corvana/ui/StdCtrls.h"
#include "corvana/ui/TBtnPesquisa.h"
#include "corvana/ui/TMaskEdit.h"

// The report parameter screen "Lista de Convidados" (EVT07801, report
// EVT078): whose guest list is printed. The user picks a report definition,
// and a branch, a budget of it and a sequence of the budget, or the budget's
// resulting copy instead of a sequence; the branch and the budget are
// checked when the report asks for its parameters, the sequence when its
// field is left. It opens with the guest list screen's filter values.
class TfrmListaConvRel : public corvana::report::TfrmDadosGerRel {
    Q_OBJECT
public:
    explicit TfrmListaConvRel(QWidget* parent = nullptr);
    ~TfrmListaConvRel() override;

    corvana::TNetConnection netListaConv;

    // --- parameter fields (inside grbDadosRel) ---------------------------------
    corvana::ui::TLabel* lblFilial;
    corvana::ui::TMaskEdit* medCdFilial;
    corvana::ui::TBtnPesquisa* btnFilial;
    corvana::ui::TEdit* edtNmFilial;
    corvana::ui::TLabel* lblNrOrca;
    corvana::ui::TEdit* medOrcamento;
    corvana::ui::TBtnPesquisa* btnOrca;
    corvana::ui::TLabel* lblSequencial;
    corvana::ui::TEdit* edtSeq;
    corvana::ui::TCheckBox* ckbMostrarCopia;

    // --- datasets -----------------------------------------------------------------
    corvana::db::TADOIBQuery qryFilial;     // branches, for the branch lookup
    corvana::db::TADOIBQuery qryVd_Filial;  // one branch, for the branch check
    corvana::ClientDataSet cdsOrcamento;    // budgets of a branch, for the budget lookup
    corvana::DataSource dtsOrcamento;
    corvana::ClientDataSet cdsVdOrca;      // the budget check
    corvana::ClientDataSet cdsSequencial;  // the sequence check

    // --- handlers -------------------------------------------------------------------
    void FormCreate() override;
    void FormClose(QObject* sender, corvana::ui::TCloseAction& action) override;
    void netListaConvBeforeConnect(corvana::TNetConnection& sender);
    void btnFilialAfterPesq(QObject* sender);
    void btnOrcaBeforePesq(QObject* sender, bool& flag);
    void btnOrcaAfterPesq(QObject* sender);
    void medCdFilialExit(QObject* sender);
    void medOrcamentoChange(QObject* sender);
    void medOrcamentoExit(QObject* sender);
    void edtSeqExit(QObject* sender);
    void ckbMostrarCopiaClick(QObject* sender);
    // The report asks for its parameters: the branch and the budget are
    // checked (a refusal ends the run before any parameter is set), then
    // P_CDFILIAL, P_NRORCAEVENTO, and P_NRSEQORCAEVE with P_IDRESULT (only
    // when the report has both) are set as text.
    void rpddPadraoBeforeGetQueryParams(corvana::report::TReportParams& params, bool& flag);

    // --- checks ----------------------------------------------------------------------
    void Vd_Filial();
    // Always requires the budget. Writing the budget back in its adjusted
    // form keeps the sequence the user typed (the change handler would
    // clear it, and the report would then run without a sequence).
    void Vd_Orcamento();
    void Vd_Sequencial();

private:
    void BuildParameterFields();
};
