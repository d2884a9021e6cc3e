#pragma once
#include <QGroupBox>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "corvana/ui/StdCtrls.h"
#include "corvana/ui/TButtonFlat.h"
#include "corvana/ui/TForm.h"
#include "corvana/ui/TPanel.h"

namespace corvana::ui {

// The query parameters of a report definition, by name.
class TReportParams {
public:
    class TParam {
    public:
        std::string AsString;
    };
    void Add(const std::string& name) { params_[name]; }
    bool Has(const std::string& name) const { return params_.count(name) > 0; }
    // Raises corvana::Error when the report has no parameter of that name.
    TParam& ParamByName(const std::string& name);
    const std::map<std::string, TParam>& All() const { return params_; }

private:
    std::map<std::string, TParam> params_;
};

// The report designer dialog of a report form: it asks the screen for the
// query parameters of the chosen report definition (BeforeGetQueryParams)
// before it runs the report. A handler refuses by throwing; the report is
// then not produced.
class TReportDesignerDialog {
public:
    std::function<void(TReportParams& params, bool& flag)> BeforeGetQueryParams;
    // Runs the parameter hand-over for a report whose query takes
    // `parameterNames`; returns the parameters as handed over.
    TReportParams GetQueryParams(const std::vector<std::string>& parameterNames);
};

// The report parameter form: a group of parameters (grbDadosRel), the list
// of report definitions of the form's report code (cbbReportNames, code in
// lblCodRel) and the report designer dialog rpddPadrao. A closed window is
// released.
class TfrmDadosGerRel : public TForm {
    Q_OBJECT
public:
    explicit TfrmDadosGerRel(QWidget* parent = nullptr);

    QGroupBox* grbDadosRel;
    TComboBox* cbbReportNames;
    TLabel* lblCodRel;
    TPanel* panMenu;
    TButtonFlat* sbtImprimir;
    TButtonFlat* sbtFechar;
    TReportDesignerDialog rpddPadrao;

    void FormClose(QObject* sender, TCloseAction& action) override;
};

}  // namespace corvana::ui

namespace Qrddlgs {
// True when the report's parameter list holds a parameter of that name.
bool ExistParam(const corvana::ui::TReportParams& params, const std::string& name);
}  // namespace Qrddlgs
