#pragma once
#include <QPointer>

#include "import/TfrmListaImpArq.h"

// Unit of the import screen.
// The import window last created (null once it is released).
extern QPointer<TfrmListaImpArq> frmListaImpArq;

namespace Cli_evt07802 {
void Initialization();
void Finalization();
}  // namespace Cli_evt07802
