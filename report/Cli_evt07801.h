#pragma once
#include <QPointer>

#include "report/TfrmListaConvRel.h"

// Unit of the report parameter screen.
// The report parameter window last created (null once it is released).
extern QPointer<TfrmListaConvRel> frmListaConvRel;
// Exported for the host; nothing in the module reads or writes it.
extern bool boIdCriado;

namespace Cli_evt07801 {
void Initialization();
void Finalization();
}  // namespace Cli_evt07801
