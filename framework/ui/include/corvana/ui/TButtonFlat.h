#pragma once
#include <QPointer>
#include <QToolButton>
#include <functional>
#include <string>

#include "corvana/ui/TControl.h"

class QAction;

namespace corvana::ui {

// A flat tool-bar button with a hint. Like the platform's speed buttons it
// does not take the focus, so a click leaves the focused control where it
// is (no exit event).
//
// It may be paired with a menu item (SetMenuItem): the item is enabled
// exactly when the button is (its own Enabled flag and its parents'), and
// choosing the item clicks the button.
class TButtonFlat : public TControl<QToolButton> {
    Q_OBJECT
public:
    explicit TButtonFlat(QWidget* parent = nullptr);

    std::string Caption() const;
    void SetCaption(const std::string& caption);

    // The paired menu item (not owned), or nullptr.
    QAction* MenuItem() const { return menuItem_; }
    void SetMenuItem(QAction* item);

    // Clicks from code: runs the click without the guard, so that the
    // caller sees a handler's exception. Nothing happens when disabled.
    void Click();

    std::function<void(QObject* sender)> OnClick;

protected:
    // What a click does; the default runs OnClick.
    virtual void DoClick();
    void changeEvent(QEvent* event) override;

private:
    void UserClicked();

    QPointer<QAction> menuItem_;
    QMetaObject::Connection menuConnection_;
};

}  // namespace corvana::ui
