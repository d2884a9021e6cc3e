#include "listconv/Cli_evt07800.h"

std::string stCdFilial;
std::string stNmFilial;
std::string stNrOrca;
std::string stNrSeq;
bool boStCriado = false;
bool boPrimVez = false;
bool boPanel = false;
TfrmListConv* frmListConv = nullptr;

namespace Cli_evt07800 {

void Initialization() { boStCriado = false; }

// The launch strings are released with the package.
void Finalization() {
    std::string().swap(stCdFilial);
    std::string().swap(stNmFilial);
    std::string().swap(stNrOrca);
    std::string().swap(stNrSeq);
}

}  // namespace Cli_evt07800
