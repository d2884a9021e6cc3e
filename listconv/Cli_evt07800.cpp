#include "listconv/Cli_evt07800.h"

std::string stCdFilial;
std::string stNmFilial;
std::string stNrOrca;
std::string stNrSeq;
bool boStCriado = false;
bool boPrimVez = false;
bool boPanel = false;
QPointer<TfrmListConv> frmListConv;

namespace Cli_evt07800 {

void Initialization() {
    boStCriado = false;
}

// The launch strings are released with the package by their own
// destructors, once. The finalization must not release them again: when the
// process exits with the package loaded, those destructors have already run
// when the package's finalization is called (at dlclose they run after it).
void Finalization() {}

}  // namespace Cli_evt07800
