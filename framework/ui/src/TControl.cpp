#include "corvana/ui/TControl.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <vector>

#include "corvana/data/Error.h"
#include "corvana/ui/Guard.h"

namespace corvana::ui {

namespace {

// The application-wide focus tracker: turns Qt's focus changes into the
// enter and exit events of the framework's controls and containers. One
// instance, a child of the application object, created with the first
// control.
//
// Each form has a state: the control whose enter has fired and whose exit
// has not (the form's active control), and the containers entered around
// it, outermost first. A form is a top-level window, an MDI child window
// (QMdiSubWindow) or a widget marked with kFormProperty, so the forms inside
// a main window keep their own active controls as separate windows do. On a focus change inside a
// form the tracker walks the state towards the widget that now has the form's focus
// (QWidget::focusWidget of the form), one handler at a time, and looks at
// the focus again after each handler. A focus change that arrives while a
// handler of the same form runs is not handled on its own: the walk in
// progress sees it when the handler returns.
class FocusTracker : public QObject {
public:
    static FocusTracker* Instance(bool create);

    void Forget(TFocusEvents* events);

private:
    struct FormState {
        QPointer<QWidget> form;
        TFocusEvents* control = nullptr;
        std::vector<TFocusEvents*> containers;  // outermost first
        QPointer<QWidget> settled;              // the focus when the state last caught up with it
        // While a handler runs: the last widget of the form that code or the
        // user gave the focus to (not the window system).
        QPointer<QWidget> placed;
        bool busy = false;
        bool byMouse = false;      // the walk in progress follows a click
        bool interrupted = false;  // a handler took the focus to another form mid-walk
    };

    // Where a focused widget stands for the tracker.
    struct Place {
        TFocusEvents* control = nullptr;
        std::vector<TFocusEvents*> containers;  // outermost first
    };

    explicit FocusTracker(QObject* parent) : QObject(parent) {}

    bool eventFilter(QObject* watched, QEvent* event) override;
    void FocusChanged(QWidget* old, QWidget* now);
    // The reason of the focus change that gave `now` the focus.
    Qt::FocusReason ReasonFor(const QWidget* now) const;
    // After an exit handler refused a move made with the mouse, the rest of
    // that click must not reach the widget the user aimed at (it would open
    // a cell editor there, or move the focus again).
    void DropPendingClick();
    FormState& StateOf(QWidget* form);
    void Walk(FormState& state);
    static QWidget* FormOf(QWidget* widget);
    static Place PlaceOf(QWidget* widget, QWidget* form);
    static bool TakeFocus(QWidget* widget, QWidget* form);
    static bool FocusInOtherForm(const QWidget* form);

    // Handlers that keep moving the focus back and forth must not hold the
    // application in the walk forever.
    static constexpr int kMaxSteps = 64;

    std::vector<std::unique_ptr<FormState>> states_;
    QPointer<QWidget> focusInWidget_;
    Qt::FocusReason focusInReason_ = Qt::OtherFocusReason;
    bool dropPress_ = false;
    bool dropRelease_ = false;
};

FocusTracker* FocusTracker::Instance(bool create) {
    static QPointer<FocusTracker> instance;
    if (!instance && create) {
        auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
        if (!app) return nullptr;
        instance = new FocusTracker(app);
        app->installEventFilter(instance);
        QObject::connect(app, &QApplication::focusChanged, instance,
                         [tracker = instance.data()](QWidget* old, QWidget* now) {
                             Guarded([&] { tracker->FocusChanged(old, now); });
                         });
    }
    return instance;
}

void FocusTracker::Forget(TFocusEvents* events) {
    for (auto& state : states_) {
        if (state->control == events) state->control = nullptr;
        auto& c = state->containers;
        c.erase(std::remove(c.begin(), c.end(), events), c.end());
    }
}

QWidget* FocusTracker::FormOf(QWidget* widget) {
    for (QWidget* p = widget; p; p = p->parentWidget()) {
        if (p->isWindow() || qobject_cast<QMdiSubWindow*>(p) || p->property(kFormProperty).toBool())
            return p;
    }
    return widget;
}

FocusTracker::Place FocusTracker::PlaceOf(QWidget* widget, QWidget* form) {
    Place place;
    if (!widget || !form || !form->isAncestorOf(widget)) return place;
    // A widget inside an item view (a cell editor) stands for the view.
    QWidget* stand = widget;
    for (QWidget* p = widget; p && p != form; p = p->parentWidget()) {
        if (qobject_cast<QAbstractItemView*>(p->parentWidget())) stand = p->parentWidget();
    }
    bool searchingControl = true;
    for (QWidget* p = stand; p; p = p == form ? nullptr : p->parentWidget()) {
        auto* events = dynamic_cast<TFocusEvents*>(p);
        if (!events) continue;
        if (events->IsFocusContainer()) {
            place.containers.push_back(events);
            searchingControl = false;
        } else if (searchingControl) {
            place.control = events;
            searchingControl = false;
        }
    }
    std::reverse(place.containers.begin(), place.containers.end());
    return place;
}

bool FocusTracker::TakeFocus(QWidget* widget, QWidget* form) {
    if (!widget || !widget->isEnabled() || !widget->isVisibleTo(form)) return false;
    widget->setFocus(Qt::OtherFocusReason);
    return form->focusWidget() == widget;
}

FocusTracker::FormState& FocusTracker::StateOf(QWidget* form) {
    // Forget the forms that are gone (never one whose walk is running).
    states_.erase(std::remove_if(states_.begin(), states_.end(),
                                 [](const auto& s) { return !s->form && !s->busy; }),
                  states_.end());
    for (auto& state : states_) {
        if (state->form == form) return *state;
    }
    states_.push_back(std::make_unique<FormState>());
    states_.back()->form = form;
    return *states_.back();
}

bool FocusTracker::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::FocusIn:
            // Sent to the widget (and then to its style) just before focusChanged
            // is emitted for it.
            if (auto* widget = qobject_cast<QWidget*>(watched)) {
                focusInWidget_ = widget;
                focusInReason_ = static_cast<QFocusEvent*>(event)->reason();
            }
            break;
        case QEvent::MouseButtonPress:
            dropRelease_ = false;
            if (dropPress_ && watched->isWidgetType()) {
                dropPress_ = false;
                dropRelease_ = true;
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            if (dropRelease_ && watched->isWidgetType()) {
                if (event->type() == QEvent::MouseButtonRelease) dropRelease_ = false;
                return true;
            }
            break;
        default:
            break;
    }
    return false;
}

Qt::FocusReason FocusTracker::ReasonFor(const QWidget* now) const {
    return focusInWidget_ == now ? focusInReason_ : Qt::OtherFocusReason;
}

void FocusTracker::DropPendingClick() {
    // Qt gives the focus on a mouse press before it delivers the press, so
    // the press that caused the refused move is still to come; the timer
    // forgets it if it does not (a release may have been dropped meanwhile).
    dropPress_ = true;
    QTimer::singleShot(0, this, [this] { dropPress_ = false; });
}

void FocusTracker::FocusChanged(QWidget* old, QWidget* now) {
    if (!now) return;  // the application lost the focus: forms keep their state
    // Drop-down lists and menus are part of the control that opened them.
    if (now->window()->windowType() == Qt::Popup) return;
    // A menu bar holds the keyboard only while its menus are browsed, and
    // gives it back to the control that had it: no move of the user's.
    const Qt::FocusReason reason = ReasonFor(now);
    if (reason == Qt::MenuBarFocusReason || qobject_cast<QMenuBar*>(now)) return;
    QWidget* form = FormOf(now);
    // While an MDI child minimizes, Qt passes the focus along its controls
    // as they hide, then to the child's frame: no move of the user's, the
    // form keeps its control. Restored, the control that had the focus gets
    // it back without events, as a reactivated form's active control does.
    if (!now->isVisible() || qobject_cast<QMdiSubWindow*>(now)) return;
    if (qobject_cast<QMdiSubWindow*>(old) && old->isAncestorOf(now)) {
        FormState& kept = StateOf(form);
        QWidget* back = kept.settled;
        if (!kept.busy && back && back != now && form->isAncestorOf(back) && TakeFocus(back, form))
            return;
    }
    FormState& state = StateOf(form);
    // The window system gives a window that comes back to the front (a
    // message box, a menu or another window closed) the focus it thinks the
    // window had. The form keeps its own active control instead, without
    // events: coming back to a window is no move between its controls. Only
    // a move that a handler interrupted by going to another form goes on.
    const bool windowCameBack =
        reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
    if (windowCameBack && !(state.interrupted && !state.busy)) {
        QWidget* keep = state.busy ? state.placed : state.settled;
        if (keep && keep != now && form->isAncestorOf(keep) && TakeFocus(keep, form)) return;
        if (state.busy || keep == now) return;
    } else if (state.busy) {
        state.placed = now;  // a handler moved the focus: the walk will follow it
    }
    if (state.busy) return;
    state.busy = true;
    state.placed = now;
    state.byMouse = reason == Qt::MouseFocusReason;
    Walk(state);
    state.busy = false;
}

bool FocusTracker::FocusInOtherForm(const QWidget* form) {
    QWidget* focus = QApplication::focusWidget();
    return focus && focus->window()->windowType() != Qt::Popup && FormOf(focus) != form;
}

void FocusTracker::Walk(FormState& state) {
    for (int step = 0; step < kMaxSteps; ++step) {
        QWidget* form = state.form;
        QWidget* target = form ? form->focusWidget() : nullptr;
        if (!target) return;
        // A handler took the focus to another form (and it stayed there):
        // the rest waits until the focus comes back to this one.
        if (step > 0 && FocusInOtherForm(form)) {
            state.interrupted = true;
            return;
        }
        const Place want = PlaceOf(target, form);

        // 1. Leave the active control.
        if (state.control && state.control != want.control) {
            TFocusEvents* control = state.control;
            const bool accepted = GuardedBool([&] { control->DoExit(); });
            if (state.control != control || !state.form)
                continue;  // the control went away during its handler
            QWidget* now = state.form->focusWidget();
            if (!accepted && state.byMouse) DropPendingClick();
            if (now != target) {
                // The handler moved the focus; back into the control means
                // the control was not left.
                if (PlaceOf(now, state.form).control != control) state.control = nullptr;
                continue;
            }
            if (!accepted && TakeFocus(control->EventWidget(), state.form))
                continue;  // refused: the control keeps the focus
            state.control = nullptr;
            continue;
        }

        std::size_t common = 0;
        while (common < state.containers.size() && common < want.containers.size() &&
               state.containers[common] == want.containers[common])
            ++common;

        // 2. Leave the containers the focus is no longer in, innermost first.
        if (state.containers.size() > common) {
            TFocusEvents* container = state.containers.back();
            const bool accepted = GuardedBool([&] { container->DoExit(); });
            if (state.containers.empty() || state.containers.back() != container || !state.form)
                continue;
            QWidget* now = state.form->focusWidget();
            if (!accepted && state.byMouse) DropPendingClick();
            if (now != target) {
                const Place there = PlaceOf(now, state.form);
                if (std::find(there.containers.begin(), there.containers.end(), container) ==
                    there.containers.end())
                    state.containers.pop_back();
                continue;
            }
            if (!accepted) {
                // Refused: the focus goes back to where it was inside.
                QWidget* back = state.settled;
                const Place was = PlaceOf(back, state.form);
                if (std::find(was.containers.begin(), was.containers.end(), container) !=
                        was.containers.end() &&
                    TakeFocus(back, state.form))
                    continue;
            }
            state.containers.pop_back();
            continue;
        }

        // 3. Enter the containers around the focus, outermost first.
        if (want.containers.size() > common) {
            TFocusEvents* container = want.containers[common];
            state.containers.push_back(container);
            Guarded([&] { container->DoEnter(); });
            continue;
        }

        // 4. Enter the control.
        if (want.control && state.control != want.control) {
            state.control = want.control;
            Guarded([&] { want.control->DoEnter(); });
            continue;
        }

        state.settled = target;
        state.interrupted = false;
        return;
    }
    qWarning("corvana: os eventos de foco não se estabilizaram; a sequência foi interrompida.");
    if (state.form) state.settled = state.form->focusWidget();
}

}  // namespace

TFocusEvents::TFocusEvents() {
    FocusTracker::Instance(true);
}

TFocusEvents::~TFocusEvents() {
    if (FocusTracker* tracker = FocusTracker::Instance(false)) tracker->Forget(this);
}

void TFocusEvents::DoEnter() {
    if (OnEnter) OnEnter(EventWidget());
}

void TFocusEvents::DoExit() {
    if (OnExit) OnExit(EventWidget());
}

void SetControlFocus(QWidget* widget, bool canFocus) {
    if (!canFocus)
        throw corvana::Error(
            "Não é possível mover o foco para um controle desabilitado ou invisível.");
    widget->setFocus(Qt::OtherFocusReason);
}

}  // namespace corvana::ui
