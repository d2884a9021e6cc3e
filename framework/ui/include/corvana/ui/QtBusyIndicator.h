#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "corvana/core/Services.h"

namespace corvana::ui {

// A small frameless panel centred on the form's window, with an animated
// indicator and a text by kind: 1 "Gravando dados...", 6 "Carregando
// dados...", any other "Aguarde...". It is painted at once, without
// processing user input, so that it shows during a synchronous call.
// Activations nest: the innermost kind's text shows and the panel goes away
// with the last Deactivate. Without a form it goes over the active window,
// or centred on the screen; while a modal window (a dialog opened from the
// form) is open, over that window, which would hide it otherwise.
//
// While it shows, the user's input to the windows that were on screen when
// it came up is dropped, whatever event loop runs meanwhile; a window opened
// since (a message box of the call) takes input as usual.
class QtBusyIndicator : public corvana::services::IBusyIndicator {
public:
    QtBusyIndicator();
    ~QtBusyIndicator() override;
    QtBusyIndicator(const QtBusyIndicator&) = delete;
    QtBusyIndicator& operator=(const QtBusyIndicator&) = delete;

    void Activate(QWidget* form, int kind) override;
    void ActivateText(QWidget* form, const std::string& text) override;
    void Deactivate() override;

    int Depth() const { return static_cast<int>(texts_.size()); }
    bool Active() const { return !texts_.empty(); }
    QWidget* Panel() const { return panel_; }
    QString Text() const;
    static QString TextFor(int kind);

private:
    class InputBlock;
    void Paint();

    std::vector<QString> texts_;  // of each activation, innermost last
    QPointer<QWidget> panel_;
    std::unique_ptr<InputBlock> inputBlock_;
};

}  // namespace corvana::ui
