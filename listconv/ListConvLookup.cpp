// A guest taken from the client file: the lookup behind the inscription
// column's button, and the checks that run again when the user leaves the
// name or the inscription column of a row being edited.
#include "corvana/core/Consiste.h"
#include "corvana/core/Services.h"
#include "listconv/Cli_evt07800.h"

using corvana::DataSetState;

// The telephone, mobile and e-mail of the client's first address record;
// empty when the client has none.
void TfrmListConv::CopyContacts() {
    cdsConvOrceveNRTELCONVEVEN.SetValue(cdsEndeClieNRTELECLIE.AsString());
    cdsConvOrceveNRCELCONVEVEN.SetValue(cdsEndeClieNRCELULARCLI.AsString());
    cdsConvOrceveDSEMAILCONVEVEN.SetValue(cdsEndeClieDSEMAILCLIE.AsString());
}

// Lets the user pick a client for the current row. The client list is asked
// afresh on every click. A cancelled dialog leaves the row untouched; a pick
// writes inscription, name, client code and contacts into the row (a browsed
// row goes into edit), without posting it.
void TfrmListConv::dbgPadraoEditButtonClick(QObject*) {
    corvana::Field* selected = dbgPadrao->SelectedField();
    if (selected != &cdsConvOrceveNRINSJURCLILISCONV) return;

    cdsCliente.SetData(Consiste::CheckResultServ(netListaConv.Call("GetCliente", {"T"}), true, 0));
    const std::string text = msgPadrao.Msg("CONVIDADO") + "|" + msgPadrao.Msg("Conv_N_Cad");
    if (!Pesquisa::Pesquisar(dtsCliente, text, false, true)) return;

    if (dtsPadrao.State() == DataSetState::Browse) cdsConvOrceve.Edit();
    const std::string cdCliente = cdsClienteCDCLIENTE.AsString();
    cdsConvOrceveNRINSJURCLILISCONV.SetValue(cdsClienteNRINSJURCLIE.AsString());
    cdsConvOrceveNMLISTACONVOREV.SetValue(cdsClienteNMFANTCLIE.AsString());
    cdsConvOrceveCDCLIENTELISTCONV.SetValue(cdCliente);
    linkedClient_ = {cdCliente, cdsClienteNMFANTCLIE.AsString()};

    cdsEndeClie.SetData(
        Consiste::CheckResultServ(netListaConv.Call("GetEndeClie", {cdCliente}), true, 0));
    CopyContacts();
}

// Leaving the name column checks the name against the client of the
// inscription; leaving the inscription column runs the inscription check and
// takes the contacts of the client it found. An inscription that no client
// bears leaves the contacts the user typed as they are, and clears those of
// a client the guest was linked to (the check ends the link).
void TfrmListConv::dbgPadraoColExit(QObject*) {
    // A check of the post moving the focus to the column it refuses is not
    // the user leaving a column: the post's own checks have just run.
    if (checkingPost_) return;
    if (!cdsConvOrceve.Editing()) return;
    corvana::Field* leaving = dbgPadrao->SelectedField();
    if (!leaving) return;
    const bool noInscription = Consiste::EmptyString(cdsConvOrceveNRINSJURCLILISCONV.AsString());

    if (leaving == &cdsConvOrceveNMLISTACONVOREV && !noInscription) {
        Vd_NomeAlterado(NormalizedInscription());
    } else if (leaving == &cdsConvOrceveNRINSJURCLILISCONV && !noInscription) {
        Vd_NrInscricao(false, "EXIT");
        if (!cdsCliente.IsEmpty()) CopyContacts();
    }
}
