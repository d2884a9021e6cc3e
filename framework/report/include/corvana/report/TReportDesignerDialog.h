#pragma once
#include <QDateTime>
#include <functional>
#include <optional>

#include "corvana/report/ReportDefinition.h"
#include "corvana/report/TReportParams.h"

class QWidget;

namespace corvana::report {

class TReportPreview;

// The report designer dialog of a report form (rpddPadrao): it produces a
// report from its definition.
//
// Execute(def, owner):
//  1. starts the definition's parameters at their defaults and runs
//     BeforeGetQueryParams with them and a flag set to true. The handler
//     sets the values it knows; it refuses by throwing (Consiste::MensErro),
//     which ends the run before any query, the exception passing on to the
//     caller. A handler that clears the flag ends the run silently;
//  2. runs the queries on the host's database connection with every
//     parameter as text, sorts and lays the pages out, on a worker thread
//     under the busy animation: the windows keep painting, the user's input
//     waits;
//  3. shows the pages in the print preview (TReportPreview), modal over
//     `owner`, from which the user prints or saves a PDF.
// A failing query or layout raises corvana::Error after the animation is
// gone; no preview opens.
class TReportDesignerDialog {
public:
    std::function<void(TReportParams& params, bool& flag)> BeforeGetQueryParams;
    // Runs on the preview once it is built, before it shows (for the host's
    // own additions, and for tests that look at it).
    std::function<void(TReportPreview& preview)> OnPreview;

    // Step 1 alone: the parameters as handed over; nothing when the handler
    // cleared the flag.
    std::optional<TReportParams> GetQueryParams(const ReportDefinition& def);
    void Execute(const ReportDefinition& def, QWidget* owner);

    // The parameters the last run sent to the queries.
    const std::optional<TReportParams>& LastParams() const { return lastParams_; }

private:
    std::optional<TReportParams> lastParams_;
};

}  // namespace corvana::report
