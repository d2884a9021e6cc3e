#include "report/Cli_evt07801.h"

QPointer<TfrmListaConvRel> frmListaConvRel;
bool boIdCriado = false;

namespace Cli_evt07801 {
void Initialization() {}
void Finalization() {}
}  // namespace Cli_evt07801
