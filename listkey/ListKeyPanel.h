#pragma once
#include <QWidget>

#include "corvana/core/TMessages.h"
#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"
#include "corvana/db/TADOIBQuery.h"
#include "corvana/net/TNetConnection.h"
#include "corvana/ui/StdCtrls.h"
#include "corvana/ui/TBtnPesquisa.h"
#include "corvana/ui/TMaskEdit.h"

// The key of a guest list on a screen: a branch (code, with its lookup and
// its name), a budget of the branch (with its lookup) and a sequence of the
// budget. It holds the fields, their lookups, their checks against the
// host's branch table and the application server, and the handlers of the
// fields; the screen lays the fields out and gives the message table (keys
// FILIAL, FILI_N_CAD, ORCA_N_INF, ORCA_N_CAD, SEQ_N_INF, SEQ_N_CAD) and the
// connection. The guest list's filter panel, the report's parameters and
// the reception screen use it, each with its options.
//
// Always: leaving the branch checks it (refused: the focus stays on it);
// a lookup's choice fills its field (and the branch's name); changing the
// budget clears the sequence and leaving the budget sets the sequence to
// "00".
class ListKeyPanel {
public:
    struct Options {
        // Changing the branch code clears the branch's name and the budget.
        bool branchChangeClearsBudget = false;
        // Leaving the budget checks it when one is typed (before the
        // sequence is set to "00"); otherwise the screen checks it itself.
        bool checkBudgetOnExit = false;
        // Leaving the sequence checks it.
        bool checkSequenceOnExit = false;
        // Writing the budget back in its adjusted form keeps the sequence
        // typed for it (the change handler would clear it).
        bool keepTypedSequence = false;
        // The box "Mostrar cópia resultante": checked, the sequence and its
        // label are disabled (the sequence keeps its text).
        bool copyBox = false;
    };

    ListKeyPanel(corvana::TNetConnection& net, const corvana::TMessages& messages, Options options);
    ~ListKeyPanel();
    ListKeyPanel(const ListKeyPanel&) = delete;
    ListKeyPanel& operator=(const ListKeyPanel&) = delete;

    // Creates the fields under `parent` (the screen lays them out), the
    // lookups' datasets and the handlers.
    void CreateControls(QWidget* parent);

    // Fills the four fields, each after the one whose change would clear it.
    void Fill(const std::string& branch, const std::string& branchName, const std::string& budget,
              const std::string& sequence);

    corvana::ui::TLabel* lblFilial = nullptr;
    corvana::ui::TMaskEdit* medCdFilial = nullptr;
    corvana::ui::TBtnPesquisa* btnFilial = nullptr;
    corvana::ui::TEdit* edtNmFilial = nullptr;
    corvana::ui::TLabel* lblNrOrca = nullptr;
    corvana::ui::TEdit* medOrcamento = nullptr;
    corvana::ui::TBtnPesquisa* btnOrca = nullptr;
    corvana::ui::TLabel* lblSeq = nullptr;
    corvana::ui::TEdit* edtSeq = nullptr;
    corvana::ui::TCheckBox* ckbMostrarCopia = nullptr;  // with Options::copyBox only

    corvana::db::TADOIBQuery qryFilial;     // branches, for the branch lookup
    corvana::db::TADOIBQuery qryVd_Filial;  // one branch, for the branch check
    corvana::ClientDataSet cdsOrcamento;    // budgets of a branch, for the budget lookup
    corvana::DataSource dtsOrcamento;
    corvana::ClientDataSet cdsVdOrca;      // the budget check: the budget's header
    corvana::ClientDataSet cdsSequencial;  // the sequence check: the sequence's header

    // --- checks: each refusal shows its message and raises EAbort -------------
    // The branch: given, then adjusted to four digits and found in FILIAL;
    // its name fills edtNmFilial. Refused, the focus goes to the branch.
    void Vd_Filial();
    // The budget: an empty one is refused when `required`, otherwise
    // passes unchecked; adjusted to ten characters and found by GetOrca
    // (into cdsVdOrca). Refused, the focus goes to the budget.
    void Vd_Orcamento(bool required);
    // The sequence: given, adjusted to two digits and found by
    // GetSequencial (into cdsSequencial). A failing call leaves the focus
    // where it is.
    void Vd_Sequencial();

    // --- handlers ----------------------------------------------------------------
    void medCdFilialChange(QObject* sender);
    void medCdFilialExit(QObject* sender);
    void btnFilialAfterPesq(QObject* sender);
    void medOrcamentoChange(QObject* sender);
    void medOrcamentoExit(QObject* sender);
    // Lists the budgets of the branch code exactly as typed.
    void btnOrcaBeforePesq(QObject* sender, bool& flag);
    void btnOrcaAfterPesq(QObject* sender);
    void edtSeqExit(QObject* sender);
    void ckbMostrarCopiaClick(QObject* sender);

private:
    corvana::TNetConnection& net_;
    const corvana::TMessages& messages_;
    Options options_;
};
