#include "corvana/ui/QtWaitCursor.h"

#include <QApplication>

namespace corvana::ui {

QtWaitCursor::~QtWaitCursor() {
    if (wait_ && QCoreApplication::instance()) QApplication::restoreOverrideCursor();
}

void QtWaitCursor::SetWait() {
    if (wait_) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    wait_ = true;
}

void QtWaitCursor::SetDefault() {
    if (!wait_) return;
    QApplication::restoreOverrideCursor();
    wait_ = false;
}

}  // namespace corvana::ui
