#pragma once
#include <QGroupBox>

#include "corvana/ui/TButtonFlat.h"
#include "corvana/ui/TForm.h"
#include "corvana/ui/TPanel.h"

namespace corvana::ui {

// The general routine form: a group box of parameters (grbDadosRel) with a
// button column to its right (panMenu holding panBotoes, with the confirm
// button sbtConfirma and a close button, each with its caption beside its
// picture). A dialog of fixed size (bsDialog), opened modally; a closed
// window is released.
class TfrmRotiGeral : public TForm {
    Q_OBJECT
public:
    explicit TfrmRotiGeral(QWidget* parent = nullptr);

    QGroupBox* grbDadosRel;
    TPanel* panMenu;
    TPanel* panBotoes;
    TButtonFlat* sbtConfirma;
    TButtonFlat* sbtFechar;

    virtual void sbtConfirmaClick(QObject* sender);
    void FormClose(QObject* sender, TCloseAction& action) override;

protected:
    // A button for the column: its caption beside its picture, as wide as
    // the column, and a hint. The caller places it in panBotoes.
    TButtonFlat* NewColumnButton(const char* name, const char* caption, const char* hint,
                                 const char* icon);
};

}  // namespace corvana::ui
