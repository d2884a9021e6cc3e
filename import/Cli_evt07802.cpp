#include "import/Cli_evt07802.h"

QPointer<TfrmListaImpArq> frmListaImpArq;

namespace Cli_evt07802 {
void Initialization() {}
void Finalization() {}
}  // namespace Cli_evt07802
