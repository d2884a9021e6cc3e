#pragma once
#include <optional>
#include <string>

// The widget type of the UI layer. Only a pointer to a form passes through
// these interfaces, so the core library needs no Qt.
class QWidget;

namespace corvana {
class DataSource;
}

// The services a screen needs from its surroundings (dialogs, the search
// window, the open-file dialog, the busy animation, the wait cursor). Screens
// reach them only through the functions of corvana::services, so that the UI
// layer installs the real ones and tests install scripted ones
// (ScriptedServices.h).
//
// The registry does not own what is installed: whoever installs an
// implementation keeps it alive until it is replaced or uninstalled. Passing
// nullptr restores the default console implementation. Installation is meant
// for the UI thread at start-up and for tests; it is not synchronised.
namespace corvana::services {

class IDialogs {
public:
    virtual ~IDialogs();
    virtual void ShowError(const std::string& text) = 0;
    virtual void ShowInformation(const std::string& text) = 0;
    // A Sim/Não question; true for Sim.
    virtual bool Confirm(const std::string& text) = 0;
    // Asks for one line of text under `caption`, with `prompt` above the
    // field and `initial` in it; nothing when the user cancelled. The
    // default answers nothing (no user to ask).
    virtual std::optional<std::string> InputQuery(const std::string& caption,
                                                  const std::string& prompt,
                                                  const std::string& initial);
};

class ISearchDialog {
public:
    virtual ~ISearchDialog();
    // Lists the rows of the source's dataset for the user to pick one.
    // `titleAndEmptyText` is "title|text shown when the list is empty".
    // True when a row was picked; the dataset is then positioned on it.
    virtual bool Pesquisar(corvana::DataSource& source, const std::string& titleAndEmptyText,
                           bool flag1, bool flag2) = 0;
};

class IOpenFileDialog {
public:
    virtual ~IOpenFileDialog();
    // The chosen file, or nothing when the user cancelled.
    virtual std::optional<std::string> Execute(const std::string& filter,
                                               const std::string& initialFile) = 0;
};

class ISaveFileDialog {
public:
    virtual ~ISaveFileDialog();
    // The file to write, or nothing when the user cancelled. `filter` has
    // the form of the open-file dialog's.
    virtual std::optional<std::string> Execute(const std::string& filter,
                                               const std::string& initialFile) = 0;
};

// Kinds of the busy animation.
inline constexpr int kBusySaving = 1;   // saving / sending to the server
inline constexpr int kBusyLoading = 6;  // loading from the server

class IBusyIndicator {
public:
    virtual ~IBusyIndicator();
    // Shows the busy animation of the given kind over `form` (may be null).
    virtual void Activate(QWidget* form, int kind) = 0;
    // Shows it with a text of the caller's instead of the kind's; ended by
    // Deactivate as well. The default shows the animation of kind 0.
    virtual void ActivateText(QWidget* form, const std::string& text);
    virtual void Deactivate() = 0;
};

class IWaitCursor {
public:
    virtual ~IWaitCursor();
    virtual void SetWait() = 0;
    virtual void SetDefault() = 0;
    virtual bool IsWait() const = 0;
};

IDialogs& Dialogs();
void SetDialogs(IDialogs* dialogs);

ISearchDialog& SearchDialog();
void SetSearchDialog(ISearchDialog* search);

IOpenFileDialog& OpenFileDialog();
void SetOpenFileDialog(IOpenFileDialog* openFile);

ISaveFileDialog& SaveFileDialog();
void SetSaveFileDialog(ISaveFileDialog* saveFile);

IBusyIndicator& BusyIndicator();
void SetBusyIndicator(IBusyIndicator* busy);

IWaitCursor& WaitCursor();
void SetWaitCursor(IWaitCursor* cursor);

// Shows the busy animation for the lifetime of the scope, so that it is
// removed also when an exception passes. Activation and deactivation go to
// the indicator installed when the scope began.
class BusyScope {
public:
    BusyScope(QWidget* form, int kind);
    BusyScope(QWidget* form, const std::string& text);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    IBusyIndicator& busy_;
};

// Shows the wait cursor for the lifetime of the scope; at the end the cursor
// returns to what it was when the scope began (so nested scopes keep the wait
// cursor until the outermost one ends).
class WaitCursorScope {
public:
    WaitCursorScope();
    ~WaitCursorScope();
    WaitCursorScope(const WaitCursorScope&) = delete;
    WaitCursorScope& operator=(const WaitCursorScope&) = delete;

private:
    IWaitCursor& cursor_;
    bool wasWait_;
};

}  // namespace corvana::services

// The call forms the screens use.
namespace Showavi {
void ActiveShowAvi(QWidget* form, int kind);
void DeactiveShowAvi();
}  // namespace Showavi

namespace Pesquisa {
bool Pesquisar(corvana::DataSource& source, const std::string& text, bool flag1, bool flag2);
}  // namespace Pesquisa
