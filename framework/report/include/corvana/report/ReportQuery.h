#pragma once
#include "corvana/report/ReportDefinition.h"
#include "corvana/report/ReportLayout.h"
#include "corvana/report/TReportParams.h"

namespace corvana::report {

// Runs the definition's query, and its header query when it has one, on the
// host's database connection (corvana::db::dtmDBGeral), every parameter
// bound as text. Safe on a worker thread while the user interface thread
// leaves the connection alone. A query that fails raises corvana::Error
// naming the definition's file and the database's reason.
ReportData RunReportQueries(const ReportDefinition& def, const TReportParams& params);

}  // namespace corvana::report
