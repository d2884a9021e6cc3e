#pragma once
#include <QGroupBox>
#include <string>
#include <vector>

#include "corvana/report/ReportDefinition.h"
#include "corvana/report/TReportDesignerDialog.h"
#include "corvana/report/TReportParams.h"
#include "corvana/ui/StdCtrls.h"
#include "corvana/ui/TButtonFlat.h"
#include "corvana/ui/TForm.h"
#include "corvana/ui/TPanel.h"

class QMenu;
class QAction;

namespace corvana::report {

// The report parameter form: the choice of report definition
// (cbbReportNames, the definitions of the form's report code, shown in
// lblCodRel), a group of parameters (grbDadosRel) that the screen fills,
// the report designer dialog rpddPadrao, and the button column: print
// (sbtImprimir), save the chosen definition under another title
// (sbtSalvarRelatorio, also the menu ppmSalvarRelatorio of the report
// list) and close. A dialog of fixed size, opened modally; a closed window
// is released.
//
// The screen's message table holds the form's texts: Arq_Rel_Err (no
// definition of the code in the folder: code, folder), NovoCaption and
// NovoPrompt (the title question), VD_TRAD (shown while the definitions
// load).
class TfrmDadosGerRel : public corvana::ui::TForm {
    Q_OBJECT
public:
    explicit TfrmDadosGerRel(QWidget* parent = nullptr);

    QGroupBox* grbDadosRel;
    corvana::ui::TLabel* lblRelatorio;
    corvana::ui::TComboBox* cbbReportNames;
    corvana::ui::TLabel* lblCodRel;
    corvana::ui::TPanel* panMenu;
    corvana::ui::TButtonFlat* sbtImprimir;
    corvana::ui::TButtonFlat* sbtSalvarRelatorio;
    corvana::ui::TButtonFlat* sbtFechar;
    QMenu* ppmSalvarRelatorio;
    QAction* mniSalvarRelatorio;
    TReportDesignerDialog rpddPadrao;

    // Loads the definitions (CarregaRelatorios); when there is none, the
    // form is not created.
    void FormCreate() override;
    void FormClose(QObject* sender, corvana::ui::TCloseAction& action) override;

    // Reads the definitions of lblCodRel's code from Corvana::ReportsDir()
    // into cbbReportNames, by title, under the busy animation with VD_TRAD.
    // Files of the code that cannot be read are told in one error message
    // naming each file and its fault; the others are listed. With no
    // readable definition it shows Arq_Rel_Err and aborts. The choice stays
    // on the title chosen before, when it is still there.
    void CarregaRelatorios();
    // The definition chosen in cbbReportNames, or null.
    const ReportDefinition* RelatorioSelecionado() const;
    const std::vector<ReportDefinition>& Relatorios() const { return definitions_; }

    // Runs the chosen definition through rpddPadrao.
    virtual void sbtImprimirClick(QObject* sender);
    // Asks a title (NovoCaption, NovoPrompt) and saves a copy of the chosen
    // definition under it in the reports folder, which is then listed and
    // chosen. An empty title, or one another definition of the code has,
    // is refused with a message; cancelling does nothing.
    void ppmSalvarRelatorioClick(QObject* sender);

private:
    std::vector<ReportDefinition> definitions_;
};

}  // namespace corvana::report
