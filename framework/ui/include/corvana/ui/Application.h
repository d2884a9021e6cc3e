#pragma once
#include <string>

#include "corvana/data/Variant.h"

class QMainWindow;
class QMdiArea;
class QWidget;

// What the host application offers to the screens of its packages: its
// main form (over which the busy animation shows), the MDI area in which
// child screens open, and the loading of packages by screen code.
namespace Corvana {

// The host's main window and its MDI area; null when no host runs (tests,
// where screens open as top-level windows).
QMainWindow* MainForm();
QMdiArea* MdiArea();
void SetMainForm(QMainWindow* mainForm, QMdiArea* mdiArea);

// Loads the package of a screen, Pkg_<code>.so from Corvana::PackagesDir()
// (once; later calls reuse it), and calls its exported entry
// `IniProc(const corvana::Variant& params)`. A missing package or entry
// raises corvana::Error with a clear Portuguese message; what IniProc
// raises reaches the caller.
void LoadBPL(const std::string& code, const corvana::Variant& params);

// The signature every package exports as IniProc.
using IniProcFn = void (*)(const corvana::Variant& params);

}  // namespace Corvana
