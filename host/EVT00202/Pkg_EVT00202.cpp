// Pkg_EVT00202: the host's record-list screen, opened by screen code.
#include <cstdint>
#include <memory>

#include "TfrmListaRegistros.h"
#include "corvana/data/Error.h"
#include "corvana/data/Variant.h"

// IniProc(Params): Params[0] is a reference to the caller's dataset, carried
// as an integer; Params[1] the heading. Shows the list modally and returns
// when it is closed, so the dataset is not read after the call.
extern "C" __attribute__((visibility("default"))) void IniProc(const corvana::Variant& Params) {
    auto* dataSet =
        reinterpret_cast<corvana::ClientDataSet*>(static_cast<std::intptr_t>(Params[0].toInt()));
    if (!dataSet) throw corvana::Error("A lista de registros não foi informada.");
    const std::string heading = Params.arraySize() > 1 ? Params[1].toString() : std::string();
    std::unique_ptr<TfrmListaRegistros> form(
        corvana::ui::CreateForm<TfrmListaRegistros>(dataSet, heading));
    form->ShowModal();
}
