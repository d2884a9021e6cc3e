#include "module/Pkg_EVT07800.h"

#include "corvana/core/Services.h"
#include "corvana/ui/TForm.h"
#include "import/Cli_evt07802.h"
#include "listconv/Cli_evt07800.h"
#include "reception/TfrmRecepcao.h"
#include "report/Cli_evt07801.h"

// Units are initialized when the package is loaded, in the order
// Cli_evt07801, Cli_evt07802, Cli_evt07800, and finalized in the reverse
// order when it is unloaded.
namespace {
__attribute__((constructor)) void InitializePackage() {
    Cli_evt07801::Initialization();
    Cli_evt07802::Initialization();
    Cli_evt07800::Initialization();
}
__attribute__((destructor)) void FinalizePackage() {
    Cli_evt07800::Finalization();
    Cli_evt07802::Finalization();
    Cli_evt07801::Finalization();
}
}  // namespace

extern "C" void IniProc(const corvana::Variant& Params) {
    try {
        // Read from the last element to the first, as the values arrive.
        std::string seq = Params[3].toString();
        std::string orca = Params[2].toString();
        std::string nome = Params[1].toString();
        std::string filial = Params[0].toString();
        CriaListConv(filial, nome, orca, seq);
    } catch (...) {
        CriaListConv("", "", "", "");
    }
}

void CriaListConv(const std::string& CdFilial, const std::string& NmFilial,
                  const std::string& NrOrca, const std::string& NrSeq) {
    // The wait cursor is restored also when opening the window fails.
    corvana::services::WaitCursorScope wait;
    stCdFilial = CdFilial;
    stNmFilial = NmFilial;
    stNrOrca = NrOrca;
    stNrSeq = NrSeq;
    if (!boStCriado) {
        frmListConv = corvana::ui::CreateForm<TfrmListConv>();
        boStCriado = true;
    }
    frmListConv->Show();
    frmListConv->SetWindowStateNormal();
}

void CriaListaConvRel(const ShownList& list) {
    corvana::services::WaitCursorScope wait;
    frmListaConvRel = corvana::ui::CreateForm<TfrmListaConvRel>(list);
    frmListaConvRel->ShowModal();
}

void CriaListaImpArq(const ShownList& list) {
    corvana::services::WaitCursorScope wait;
    frmListaImpArq = corvana::ui::CreateForm<TfrmListaImpArq>(list);
    frmListaImpArq->ShowModal();
}

void CriaRecepcao(const ShownList& list) {
    TfrmRecepcao* window;
    {
        corvana::services::WaitCursorScope wait;
        window = corvana::ui::CreateForm<TfrmRecepcao>(list);
    }
    window->ShowModal();
}
