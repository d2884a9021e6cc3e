#pragma once

#include "corvana/ui/QtBusyIndicator.h"
#include "corvana/ui/QtDialogs.h"
#include "corvana/ui/QtFileDialogs.h"
#include "corvana/ui/QtWaitCursor.h"
#include "corvana/ui/SearchWindow.h"

// The Qt implementations of the core services (corvana/core/Services.h),
// one header each; the host installs them at start-up with
// InstallQtServices().
namespace corvana::ui {

// Installs one instance of each (they live until the end of the program);
// UninstallQtServices restores the console defaults.
void InstallQtServices();
void UninstallQtServices();

}  // namespace corvana::ui
