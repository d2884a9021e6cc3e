#pragma once
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

// What the framework's controls have in common: the enter and exit events
// with the order of the classic RAD platform, focus by code, and the common
// properties (Enabled, Visible, Hint, Name).
//
// Enter and exit events are raised by one application-wide focus tracker
// (see TControl.cpp) from Qt's focus changes, per form: each form (a
// top-level window, or an MDI child window) keeps the control that was last
// entered and the containers (TPanel) around it. When the focus moves inside
// a form from control A to control B:
//
//   A.OnExit, then the exits of the containers left (innermost first),
//   then the enters of the containers entered (outermost first), B.OnEnter.
//
// Every handler runs through the exception guard. After each one the
// tracker looks at where the focus is now: when a handler moved it, the rest
// of the old move is dropped and the tracker goes on towards the new focus.
// A handler that throws refuses the move:
//   - an exit handler of a control that throws keeps the focus on the
//     control (the move is undone without further events); one that moved
//     the focus itself keeps the place it chose;
//   - an exit handler of a container that throws returns the focus to the
//     control that was left (which is then entered again), unless the
//     handler put the focus somewhere itself;
//   - an enter handler that throws is shown and the move completes.
// Moves between forms raise nothing: a form keeps its control while another
// form or window (a message box, a dialog, another MDI child) has the focus,
// as the platform's forms keep their active control. When the window comes
// back (the box or dialog closed), the form's control gets the focus again
// without events, wherever the window system puts it; so does a control left
// for a menu bar or a menu. After a refused move made with the mouse, the
// rest of that click is dropped (it would open an editor or move the focus
// again where it was refused). When a handler takes
// the focus to another form, the rest of the move in its own form waits
// until the focus comes back to it. A widget embedded as a
// form of its own other than in a QMdiSubWindow is marked with the dynamic
// property kFormProperty set to true. Drop-down lists and menus (popups) are
// part of the control that opened them. Widgets that are not framework
// controls raise nothing of their own, but the containers around them follow
// them; a widget inside an item view (a cell editor) counts as the view.
namespace corvana::ui {

// The dynamic property that marks a widget as a form for the focus events.
inline constexpr const char* kFormProperty = "corvanaForm";

class TFocusEvents {
public:
    TFocusEvents();
    virtual ~TFocusEvents();
    TFocusEvents(const TFocusEvents&) = delete;
    TFocusEvents& operator=(const TFocusEvents&) = delete;

    std::function<void(QObject* sender)> OnEnter;
    std::function<void(QObject* sender)> OnExit;

    // A container (TPanel) is entered when the focus moves into one of its
    // descendants from outside it; a control when it receives the focus.
    virtual bool IsFocusContainer() const { return false; }
    virtual QWidget* EventWidget() = 0;

    // Raise the events; derived controls may add their own work. The tracker
    // calls them through the guard; an exception refuses (see above).
    virtual void DoEnter();
    virtual void DoExit();
};

// Common properties on top of a Qt widget class.
template <class QtBase>
class TControl : public QtBase, public TFocusEvents {
public:
    explicit TControl(QWidget* parent = nullptr) : QtBase(parent) {}

    QWidget* EventWidget() override { return this; }

    // The control's own flag (a disabled parent does not change it).
    bool Enabled() const { return !this->testAttribute(Qt::WA_ForceDisabled); }
    void SetEnabled(bool enabled) { this->setEnabled(enabled); }
    // The control's own flag (a hidden parent does not change it).
    bool Visible() const { return !this->isHidden(); }
    void SetVisible(bool visible) { this->setVisible(visible); }
    std::string Hint() const { return this->toolTip().toStdString(); }
    void SetHint(const std::string& hint) { this->setToolTip(QString::fromStdString(hint)); }
    std::string Name() const { return this->objectName().toStdString(); }
    void SetName(const std::string& name) { this->setObjectName(QString::fromStdString(name)); }

    // True when the control is enabled (and so are its parents), is not
    // hidden inside its window, and accepts focus at all.
    bool CanFocus() const {
        return this->isEnabled() && this->focusPolicy() != Qt::NoFocus &&
               this->isVisibleTo(this->window());
    }
    // Moves the focus to the control. A control that cannot take the focus
    // raises corvana::Error. In a window not yet shown or not active, the
    // control becomes the one that gets the focus when the window does.
    void SetFocus();
};

// SetFocus of every control: raises corvana::Error when canFocus is false,
// otherwise gives widget the focus.
void SetControlFocus(QWidget* widget, bool canFocus);

template <class QtBase>
void TControl<QtBase>::SetFocus() {
    SetControlFocus(this, CanFocus());
}

}  // namespace corvana::ui
