#include "corvana/ui/TPanel.h"

namespace corvana::ui {

TPanel::TPanel(QWidget* parent) : TControl<QFrame>(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    setFocusPolicy(Qt::NoFocus);
}

}  // namespace corvana::ui
