#include "corvana/ui/KeyCodes.h"

#include <QKeyEvent>

namespace corvana::ui {

char32_t ControlKeyCode(const QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return kKeyEnter;
        case Qt::Key_Backspace:
            return kKeyBackspace;
        case Qt::Key_Escape:
            return kKeyEscape;
        default:
            return 0;
    }
}

}  // namespace corvana::ui
