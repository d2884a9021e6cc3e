#pragma once
#include "corvana/data/DataSource.h"
#include "corvana/ui/TBtnPesquisa.h"
#include "corvana/ui/TButtonFlat.h"
#include "corvana/ui/TDBGrid.h"
#include "corvana/ui/TDBNavigator.h"
#include "corvana/ui/TDBText.h"
#include "corvana/ui/TForm.h"
#include "corvana/ui/TPanel.h"

class QMenu;
class QMenuBar;
class QTabWidget;

namespace corvana::ui {

// The grid maintenance form: a tool bar with ten buttons mirrored by the
// maintenance menu, a grid over dtsPadrao inside a page control, and a
// navigator bar with the current row's name. A screen binds dtsPadrao to its
// dataset, adds its own panels with AddTopPanel/AddBottomPanel, and replaces
// the click handlers it needs (virtuals; a replacement calls the base one).
//
// Base handlers: insert, change and delete work on dtsPadrao's dataset
// (delete asks msgPadrao's "Excl" question, "Confirma exclusão?"); cancel
// cancels the edit; confirm stores the open cell and posts; close closes the
// window. FormClose releases the window (caFree).
class TfrmPadraoGrid : public TForm {
    Q_OBJECT
public:
    explicit TfrmPadraoGrid(QWidget* parent = nullptr);

    // Tool bar and its buttons, in this order.
    TPanel* panMenu;
    TButtonFlat* sbtIncluir;
    TButtonFlat* sbtAlterar;
    TButtonFlat* sbtExcluir;
    TButtonFlat* sbtVerificar;
    TButtonFlat* sbtCancelar;
    TButtonFlat* sbtConfirmar;
    TButtonFlat* sbtImpArq;
    TButtonFlat* sbtImprimir;
    TButtonFlat* sbtAjuda;
    TButtonFlat* sbtFechar;

    // The maintenance menu; one item per button, plus separators.
    QMenuBar* mnuPrincipal;
    QMenu* mnuManutencao;
    QAction* mnuIncluir;
    QAction* mnuAlterar;
    QAction* mnuExcluir;
    QAction* mnuVerificar;
    QAction* mnuCancelar;
    QAction* mnuConfirmar;
    QAction* mnuImpArq;
    QAction* mnuImprimir;
    QAction* mnuAjuda;
    QAction* mnuFechar;

    corvana::DataSource dtsPadrao;
    QTabWidget* pgcPadrao;
    QWidget* tbsPadrao;  // the page holding the grid
    TDBGrid* dbgPadrao;
    TPanel* panNavigator;
    TDBText* dbtNome;
    TDBNavigator* dbnPadrao;

    virtual void sbtIncluirClick(QObject* sender);
    virtual void sbtAlterarClick(QObject* sender);
    virtual void sbtExcluirClick(QObject* sender);
    virtual void sbtVerificarClick(QObject* sender);
    virtual void sbtCancelarClick(QObject* sender);
    virtual void sbtConfirmarClick(QObject* sender);
    virtual void sbtImpArqClick(QObject* sender);
    virtual void sbtImprimirClick(QObject* sender);
    virtual void sbtAjudaClick(QObject* sender);
    virtual void sbtFecharClick(QObject* sender);
    virtual void dbgPadraoKeyPress(QObject* sender, char32_t& key);

    void FormCreate() override;
    void FormClose(QObject* sender, TCloseAction& action) override;

protected:
    // Adds a panel between the tool bar and the page control (in call order)
    // or inside the grid's page, under the grid.
    void AddTopPanel(QWidget* panel);
    void AddGridBottomPanel(QWidget* panel);

private:
    TButtonFlat* addButton(const char* name, const char* caption, const char* icon, QAction*& item,
                           void (TfrmPadraoGrid::*handler)(QObject*));
    class QVBoxLayout* topArea_;
    class QVBoxLayout* pageLayout_;
};

}  // namespace corvana::ui
