#pragma once
#include <QPointer>
#include <string>

#include "listconv/TfrmListConv.h"

// Unit of the guest list screen: the variables it shares with the host and
// with the report and import screens.

// Launch values: written only by CriaListConv, read only by
// TfrmListConv::FormCreate.
extern std::string stCdFilial;
extern std::string stNmFilial;
extern std::string stNrOrca;
extern std::string stNrSeq;
// True while a guest list window exists.
extern bool boStCriado;
// True from the creation of a window until its first activation was handled.
extern bool boPrimVez;
// True once the user has left the filter panel; false while it is entered.
extern bool boPanel;
// The guest list window last created (null once it is released).
extern QPointer<TfrmListConv> frmListConv;

namespace Cli_evt07800 {
void Initialization();
void Finalization();
}  // namespace Cli_evt07800
