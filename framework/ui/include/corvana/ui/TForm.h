#pragma once
#include <QPointer>
#include <QWidget>
#include <string>

#include "corvana/core/TMessages.h"
#include "corvana/ui/StdCtrls.h"

class QEventLoop;
class QMdiSubWindow;
class QVBoxLayout;

namespace corvana::ui {

enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TFormStyle { fsNormal, fsMDIChild };
enum class TFormBorderStyle { bsSizeable, bsDialog };

// The base of every screen. A screen is built in two steps, as the
// platform's forms are: the constructor lays out the controls, then Create()
// runs FormCreate (a virtual, so a screen's FormCreate replaces the base one
// and calls it). Factories use CreateForm<T>().
//
// A form with style fsMDIChild opens inside the host's MDI area (as a
// top-level window when no host runs, e.g. in tests). FormActivate runs on
// every activation of the window; FormClose when it is about to close, with
// the action the base chose (caFree for MDI children: the closed window is
// released; caHide for others). Every entry from Qt runs through the guard.
class TForm : public QWidget {
    Q_OBJECT
public:
    explicit TForm(QWidget* parent = nullptr);
    ~TForm() override;

    // Runs FormCreate. An exception reaches the caller (the form is then
    // deleted by CreateForm).
    void Create();

    TFormStyle FormStyle() const { return style_; }
    void SetFormStyle(TFormStyle style) { style_ = style; }
    // bsDialog: a window of its own that the user cannot resize, shown at
    // its designed size or, when its controls need more (a larger font), at
    // what they need. Window managers draw no resize handle on it. An MDI
    // child is always sizeable.
    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle style) { borderStyle_ = style; }
    std::string Caption() const;
    void SetCaption(const std::string& caption);

    // Shows the window (in the MDI area for MDI children) and brings it to
    // the front. An MDI child opens at its designed size scaled to the
    // running font (FontScale.h), within the MDI area.
    void Show();
    // Shows the window modally; returns when it is closed.
    void ShowModal();
    bool IsModal() const { return modalLoop_ != nullptr; }
    // Restores a minimized or maximized window.
    void SetWindowStateNormal();
    // Closes the window as the user would (FormClose decides what happens).
    void Close();
    void Repaint();
    // The window that holds the form on screen: its MDI sub-window, or the
    // form itself.
    QWidget* FrameWindow();

    // Screen code label and message table.
    TLabel* lblCodTela;
    corvana::TMessages msgPadrao;

    virtual void FormCreate() {}
    virtual void FormActivate() {}
    virtual void FormClose(QObject* sender, TCloseAction& action);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // Where a screen adds its controls, below what the base form puts on top.
    QVBoxLayout* MainLayout() const { return mainLayout_; }
    // The screen code, bold, at the bottom right of the window.
    void AddScreenCodeRow();
    // A flat tool button with a hint and a tool bar picture (ToolIcon).
    class TButtonFlat* NewFlatButton(QWidget* parent, const char* name, const char* hint,
                                     const char* icon);

private:
    void activated();
    // Fixes the size of a bsDialog window before it is shown.
    void applyBorderStyle();

    TFormStyle style_ = TFormStyle::fsNormal;
    TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
    QVBoxLayout* mainLayout_;
    QPointer<QMdiSubWindow> subWindow_;
    QEventLoop* modalLoop_ = nullptr;
    bool closing_ = false;
};

// Creates a form of type T (parent: none; MDI children are adopted by the
// MDI area when shown) and runs its FormCreate.
template <class T, class... Args>
T* CreateForm(Args&&... args) {
    auto* form = new T(std::forward<Args>(args)...);
    try {
        form->Create();
    } catch (...) {
        delete form;
        throw;
    }
    return form;
}

}  // namespace corvana::ui
