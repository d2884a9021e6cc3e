#pragma once
#include <QFrame>

#include "corvana/ui/TControl.h"

namespace corvana::ui {

// A container. OnEnter fires when the focus moves into one of its
// descendants from outside it, OnExit when it moves from inside to outside
// (see TControl.h for the order with the controls' events).
class TPanel : public TControl<QFrame> {
    Q_OBJECT
public:
    explicit TPanel(QWidget* parent = nullptr);
    // A panel named `name` (its object name), `fixedHeight` pixels high
    // when that is above 0; otherwise its layout decides.
    TPanel(QWidget* parent, const char* name, int fixedHeight = 0);

    bool IsFocusContainer() const override { return true; }
};

}  // namespace corvana::ui
