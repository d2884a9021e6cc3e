#include "corvana/ui/QtServices.h"

namespace corvana::ui {

namespace {

struct QtServiceSet {
    QtDialogs dialogs;
    QtSearchDialog search;
    QtOpenFileDialog openFile;
    QtSaveFileDialog saveFile;
    QtBusyIndicator busy;
    QtWaitCursor cursor;
};

QtServiceSet& Services() {
    static QtServiceSet* set = new QtServiceSet;  // outlives every caller
    return *set;
}

}  // namespace

void InstallQtServices() {
    QtServiceSet& set = Services();
    corvana::services::SetDialogs(&set.dialogs);
    corvana::services::SetSearchDialog(&set.search);
    corvana::services::SetOpenFileDialog(&set.openFile);
    corvana::services::SetSaveFileDialog(&set.saveFile);
    corvana::services::SetBusyIndicator(&set.busy);
    corvana::services::SetWaitCursor(&set.cursor);
}

void UninstallQtServices() {
    corvana::services::SetDialogs(nullptr);
    corvana::services::SetSearchDialog(nullptr);
    corvana::services::SetOpenFileDialog(nullptr);
    corvana::services::SetSaveFileDialog(nullptr);
    corvana::services::SetBusyIndicator(nullptr);
    corvana::services::SetWaitCursor(nullptr);
}

}  // namespace corvana::ui
