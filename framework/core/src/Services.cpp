#include "corvana/core/Services.h"

#include <iostream>

namespace corvana::services {

IDialogs::~IDialogs() = default;
ISearchDialog::~ISearchDialog() = default;
IOpenFileDialog::~IOpenFileDialog() = default;
ISaveFileDialog::~ISaveFileDialog() = default;
IBusyIndicator::~IBusyIndicator() = default;
IWaitCursor::~IWaitCursor() = default;

std::optional<std::string> IDialogs::InputQuery(const std::string&, const std::string&,
                                                const std::string&) {
    return std::nullopt;
}

void IBusyIndicator::ActivateText(QWidget* form, const std::string&) {
    Activate(form, 0);
}

namespace {

// Defaults for a process without a UI (tools, the server, tests that did not
// script a service): messages go to stderr, questions are answered with Não,
// nothing is ever picked or opened.
class ConsoleDialogs final : public IDialogs {
public:
    void ShowError(const std::string& text) override { std::cerr << "Erro: " << text << '\n'; }
    void ShowInformation(const std::string& text) override {
        std::cerr << "Informação: " << text << '\n';
    }
    bool Confirm(const std::string& text) override {
        std::cerr << "Pergunta: " << text << " (respondida Não: sem interface)\n";
        return false;
    }
};

class ConsoleSearch final : public ISearchDialog {
public:
    bool Pesquisar(corvana::DataSource&, const std::string&, bool, bool) override { return false; }
};

class ConsoleOpenFile final : public IOpenFileDialog {
public:
    std::optional<std::string> Execute(const std::string&, const std::string&) override {
        return std::nullopt;
    }
};

class ConsoleSaveFile final : public ISaveFileDialog {
public:
    std::optional<std::string> Execute(const std::string&, const std::string&) override {
        return std::nullopt;
    }
};

class ConsoleBusy final : public IBusyIndicator {
public:
    void Activate(QWidget*, int) override {}
    void Deactivate() override {}
};

class ConsoleCursor final : public IWaitCursor {
public:
    void SetWait() override {}
    void SetDefault() override {}
    bool IsWait() const override { return false; }
};

ConsoleDialogs g_defaultDialogs;
ConsoleSearch g_defaultSearch;
ConsoleOpenFile g_defaultOpenFile;
ConsoleSaveFile g_defaultSaveFile;
ConsoleBusy g_defaultBusy;
ConsoleCursor g_defaultCursor;

IDialogs* g_dialogs = nullptr;
ISearchDialog* g_search = nullptr;
IOpenFileDialog* g_openFile = nullptr;
ISaveFileDialog* g_saveFile = nullptr;
IBusyIndicator* g_busy = nullptr;
IWaitCursor* g_cursor = nullptr;

}  // namespace

IDialogs& Dialogs() {
    return g_dialogs ? *g_dialogs : g_defaultDialogs;
}
void SetDialogs(IDialogs* dialogs) {
    g_dialogs = dialogs;
}

ISearchDialog& SearchDialog() {
    return g_search ? *g_search : g_defaultSearch;
}
void SetSearchDialog(ISearchDialog* search) {
    g_search = search;
}

IOpenFileDialog& OpenFileDialog() {
    return g_openFile ? *g_openFile : g_defaultOpenFile;
}
void SetOpenFileDialog(IOpenFileDialog* openFile) {
    g_openFile = openFile;
}

ISaveFileDialog& SaveFileDialog() {
    return g_saveFile ? *g_saveFile : g_defaultSaveFile;
}
void SetSaveFileDialog(ISaveFileDialog* saveFile) {
    g_saveFile = saveFile;
}

IBusyIndicator& BusyIndicator() {
    return g_busy ? *g_busy : g_defaultBusy;
}
void SetBusyIndicator(IBusyIndicator* busy) {
    g_busy = busy;
}

IWaitCursor& WaitCursor() {
    return g_cursor ? *g_cursor : g_defaultCursor;
}
void SetWaitCursor(IWaitCursor* cursor) {
    g_cursor = cursor;
}

BusyScope::BusyScope(QWidget* form, int kind) : busy_(BusyIndicator()) {
    busy_.Activate(form, kind);
}

BusyScope::BusyScope(QWidget* form, const std::string& text) : busy_(BusyIndicator()) {
    busy_.ActivateText(form, text);
}

BusyScope::~BusyScope() {
    // A destructor may run while an exception passes; a failing indicator
    // must not turn that into a termination.
    try {
        busy_.Deactivate();
    } catch (...) {
    }
}

WaitCursorScope::WaitCursorScope() : cursor_(WaitCursor()), wasWait_(cursor_.IsWait()) {
    cursor_.SetWait();
}

WaitCursorScope::~WaitCursorScope() {
    if (wasWait_) return;
    try {
        cursor_.SetDefault();
    } catch (...) {
    }
}

}  // namespace corvana::services

namespace Showavi {

void ActiveShowAvi(QWidget* form, int kind) {
    corvana::services::BusyIndicator().Activate(form, kind);
}

void DeactiveShowAvi() {
    corvana::services::BusyIndicator().Deactivate();
}

}  // namespace Showavi

namespace Pesquisa {

bool Pesquisar(corvana::DataSource& source, const std::string& text, bool flag1, bool flag2) {
    return corvana::services::SearchDialog().Pesquisar(source, text, flag1, flag2);
}

}  // namespace Pesquisa
