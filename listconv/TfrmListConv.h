#pragma once
#include "corvana/data/ClientDataSet.h"
#include "corvana/net/TNetConnection.h"
#include "corvana/ui/StdCtrls.h"
#include "corvana/ui/TBtnPesquisa.h"
#include "corvana/ui/TMaskEdit.h"
#include "corvana/ui/TPanel.h"
#include "corvana/ui/TfrmPadraoGrid.h"

// The guest list screen "Lista de Convidados" (EVT07800): the guests of one
// budget sequence, chosen in the filter panel, kept in the grid.
class TfrmListConv : public corvana::ui::TfrmPadraoGrid {
    Q_OBJECT
public:
    explicit TfrmListConv(QWidget* parent = nullptr);
    ~TfrmListConv() override;

    // Connection to the application server; every remote call of the screen
    // goes through it.
    corvana::TNetConnection netListaConv;

    // Filter panel: the keys of the list.
    corvana::ui::TPanel* panFiltro;
    corvana::ui::TLabel* lblFilial;
    corvana::ui::TMaskEdit* medCdFilial;
    corvana::ui::TBtnPesquisa* btnFilial;
    corvana::ui::TEdit* edtNmFilial;
    corvana::ui::TLabel* lblNrOrca;
    corvana::ui::TEdit* medOrcamento;
    corvana::ui::TBtnPesquisa* btnOrca;
    corvana::ui::TLabel* lblSeq;
    corvana::ui::TEdit* edtSeq;

    // The guests of the list.
    corvana::ClientDataSet cdsConvOrceve;

    void FormCreate() override;
    void FormActivate() override;
    void FormClose(QObject* sender, corvana::ui::TCloseAction& action) override;
    void netListaConvBeforeConnect(corvana::TNetConnection& sender);

    void medCdFilialChange(QObject* sender);
    void medOrcamentoChange(QObject* sender);

private:
    void BuildFilterPanel();
};
