#include "corvana/report/TReportDesignerDialog.h"

#include <QEventLoop>
#include <exception>
#include <thread>

#include "corvana/core/Services.h"
#include "corvana/data/Error.h"
#include "corvana/report/ReportLayout.h"
#include "corvana/report/ReportQuery.h"
#include "corvana/report/TReportPreview.h"

namespace corvana::report {

TReportParams::TParam& TReportParams::ParamByName(const std::string& name) {
    auto it = params_.find(name);
    if (it == params_.end())
        throw corvana::Error("Parâmetro '" + name + "' não encontrado no relatório.");
    return it->second;
}

const TReportParams::TParam& TReportParams::ParamByName(const std::string& name) const {
    return const_cast<TReportParams*>(this)->ParamByName(name);
}

std::optional<TReportParams> TReportDesignerDialog::GetQueryParams(const ReportDefinition& def) {
    TReportParams params;
    for (const ReportParameter& p : def.parameters) params.Add(p.name, p.defaultValue);
    bool flag = true;
    if (BeforeGetQueryParams) BeforeGetQueryParams(params, flag);
    if (!flag) return std::nullopt;
    return params;
}

void TReportDesignerDialog::Execute(const ReportDefinition& def, QWidget* owner) {
    std::optional<TReportParams> params = GetQueryParams(def);
    if (!params) return;
    lastParams_ = params;

    const QDateTime printedAt = QDateTime::currentDateTime();
    ReportData data;
    ReportDocument doc;
    std::exception_ptr failure;
    {
        corvana::services::BusyScope busy(owner, std::string("Gerando o relatório..."));
        QEventLoop loop;
        std::thread worker([&] {
            try {
                data = RunReportQueries(def, *params);
                SortReportRows(def, data);
                doc = LayoutReport(def, data, PageSize(def.orientation), printedAt);
            } catch (...) {
                failure = std::current_exception();
            }
            QMetaObject::invokeMethod(
                &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
        });
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        worker.join();
    }
    if (failure) std::rethrow_exception(failure);

    TReportPreview preview(def, std::move(data), std::move(doc), printedAt, owner);
    if (OnPreview) OnPreview(preview);
    preview.exec();
}

}  // namespace corvana::report

namespace Qrddlgs {
bool ExistParam(const corvana::report::TReportParams& params, const std::string& name) {
    return params.Has(name);
}
}  // namespace Qrddlgs
