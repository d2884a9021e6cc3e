// The guest list report of the 5000-guest budget (its resulting copy), by
// name: the queries, sort and layout that run on the worker thread, the
// preview opening (the pages painted into Qt's preview on the user
// interface thread, the only part the user waits for with the window
// still), and the PDF.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QDateTime>
#include <filesystem>

#include "corvana/core/Corvana.h"
#include "corvana/db/DBGeral.h"
#include "corvana/report/ReportPainter.h"
#include "corvana/report/ReportQuery.h"
#include "corvana/report/TReportPreview.h"
#include "storage/Database.h"
#include "storage/DemoData.h"

namespace {

using namespace corvana::report;
namespace fs = std::filesystem;

struct World {
    fs::path dir;
    ReportDefinition def;
    TReportParams params;

    World() {
        dir = fs::temp_directory_path() / ("bench-report-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        const std::string path = (dir / "evt.db").string();
        {
            auto db = evt::server::storage::Database::Open(path);
            evt::server::storage::SeedDemo(*db);
        }
        corvana::db::dtmDBGeral().Open(path);
        def = LoadReportDefinition(fs::path(EVT_REPORT_DEFINITIONS) / "EVT078-lista-por-nome.json");
        for (const auto& p : def.parameters) params.Add(p.name);
        params.ParamByName("P_CDFILIAL").AsString = evt::server::storage::demo::kBigListBranch;
        params.ParamByName("P_NRORCAEVENTO").AsString = evt::server::storage::demo::kBigListBudget;
        params.ParamByName("P_IDRESULT").AsString = "T";
    }
    ~World() {
        corvana::db::dtmDBGeral().Close();
        fs::remove_all(dir);
    }
    ReportData Data() const {
        ReportData data = RunReportQueries(def, params);
        SortReportRows(def, data);
        return data;
    }
};

World& TheWorld() {
    static World world;
    return world;
}

void BM_ReportQueriesSortAndLayout(benchmark::State& state) {
    World& w = TheWorld();
    std::size_t pages = 0;
    for (auto _ : state) {
        ReportData data = w.Data();
        const ReportDocument doc =
            LayoutReport(w.def, data, PageSize(w.def.orientation), QDateTime::currentDateTime());
        pages = doc.pages.size();
    }
    state.counters["pages"] = static_cast<double>(pages);
}
BENCHMARK(BM_ReportQueriesSortAndLayout)->Unit(benchmark::kMillisecond);

void BM_ReportPreviewOpens(benchmark::State& state) {
    World& w = TheWorld();
    const ReportData data = w.Data();
    const QDateTime now = QDateTime::currentDateTime();
    const ReportDocument doc = LayoutReport(w.def, data, PageSize(w.def.orientation), now);
    for (auto _ : state) {
        TReportPreview preview(w.def, data, doc, now);
        preview.show();  // paints every page into the preview
        QCoreApplication::processEvents();
        preview.hide();
    }
}
BENCHMARK(BM_ReportPreviewOpens)->Unit(benchmark::kMillisecond);

void BM_ReportPdf(benchmark::State& state) {
    World& w = TheWorld();
    const ReportData data = w.Data();
    const ReportDocument doc =
        LayoutReport(w.def, data, PageSize(w.def.orientation), QDateTime::currentDateTime());
    const QString pdf = QString::fromStdString((w.dir / "lista.pdf").string());
    for (auto _ : state) SaveReportPdf(doc, pdf);
}
BENCHMARK(BM_ReportPdf)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
