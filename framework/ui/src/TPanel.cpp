#include "corvana/ui/TPanel.h"

namespace corvana::ui {

TPanel::TPanel(QWidget* parent) : TControl<QFrame>(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    setFocusPolicy(Qt::NoFocus);
}

TPanel::TPanel(QWidget* parent, const char* name, int fixedHeight) : TPanel(parent) {
    setObjectName(name);
    if (fixedHeight > 0) setFixedHeight(fixedHeight);
}

}  // namespace corvana::ui
