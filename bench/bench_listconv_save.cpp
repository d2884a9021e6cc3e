// Time from the confirm button to the grid showing the saved guest: the
// checks of the post (inscription, name and R.G., contract order), the save
// (SetConvOrceve, committed to disk), the reload of the whole list
// (GetConvOrceve into cdsConvOrceve), the cursor put back on the guest by
// name and the grid's paint. Runs the real screen under Qt's offscreen
// platform, inside a host main window, against the application server over
// a seeded temporary database: the 5,000-guest demo list, and a list filled
// to the most guests a list can hold (99,998, numbers being five digits with
// 99999 kept for "no number") imported into the demo's empty budget when
// that benchmark first runs.
//
// Each iteration inserts a guest with a name of its own (untimed), confirms
// it (timed) and removes it from the database again (untimed), so the list
// keeps its size.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QTest>
#include <filesystem>
#include <memory>

#include "corvana/core/Corvana.h"
#include "corvana/core/ScriptedServices.h"
#include "corvana/db/DBGeral.h"
#include "corvana/ui/Application.h"
#include "endpoint/AppServer.h"
#include "listconv/Cli_evt07800.h"
#include "module/Pkg_EVT07800.h"
#include "rdm/RdmListConv.h"
#include "storage/Database.h"
#include "storage/DemoData.h"

namespace {

namespace demo = evt::server::storage::demo;

// The demo's empty budget sequence that receives the big list; one guest
// short of the most a list can hold, for the guest each iteration saves.
constexpr const char* kHugeBudget = demo::kEmptyListBudget;
constexpr const char* kHugeSequence = demo::kEmptyListSequence;
constexpr int kHugeGuests = 99997;

struct World {
    std::filesystem::path dir;
    std::shared_ptr<evt::server::storage::Database> db;
    std::unique_ptr<evt::server::AppServer> server;
    std::unique_ptr<QMainWindow> host;
    corvana::services::ScriptedServicesScope services;
    bool hugeImported = false;

    World() {
        dir = std::filesystem::temp_directory_path() /
              ("evt-bench-save-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        const std::string path = (dir / "evt.db").string();
        db = evt::server::storage::Database::Open(path);
        evt::server::storage::SeedDemo(*db);

        evt::server::AppServer::Limits limits;
        limits.logCalls = false;
        server = std::make_unique<evt::server::AppServer>(
            std::vector<std::shared_ptr<evt::server::RemoteDataModule>>{
                std::make_shared<evt::server::RdmListConv>(db)},
            limits);
        if (!server->Bind("127.0.0.1", 0)) throw std::runtime_error("no port for the server");
        server->Start();

        Corvana::SetWebURL("127.0.0.1");
        Corvana::SetWebPort(server->Port());
        Corvana::SetDatabaseURL(path);
        Corvana::SetFiliProc("0001");
        Corvana::SetNomeFiliProc("Matriz");
        Corvana::SetModuFili(false);
        corvana::db::dtmDBGeral().Open(path);

        host = std::make_unique<QMainWindow>();
        auto* mdi = new QMdiArea(host.get());
        host->setCentralWidget(mdi);
        host->resize(1300, 720);
        Corvana::SetMainForm(host.get(), mdi);
        host->show();
        if (!QTest::qWaitForWindowExposed(host.get()))
            throw std::runtime_error("the host window is not shown");
        host->activateWindow();
        if (!QTest::qWaitForWindowActive(host.get()))
            throw std::runtime_error("the host window is not active");
    }

    ~World() {
        CloseScreen();
        Corvana::SetMainForm(nullptr, nullptr);
        host.reset();
        server->Stop();
        server.reset();
        corvana::db::dtmDBGeral().Close();
        db.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    // The big list through the server's own import, in one unit of work.
    void ImportHugeList() {
        if (hugeImported) return;
        hugeImported = true;
        corvana::DataPacket lines({{"CDFILIAL", corvana::FieldType::String, 4},
                                   {"NRORCAEVENTO", corvana::FieldType::String, 10},
                                   {"NRSEQORCAEVE", corvana::FieldType::String, 2},
                                   {"NRRGLISTAOREV", corvana::FieldType::String, 20},
                                   {"NMLISTACONVOREV", corvana::FieldType::String, 80}});
        lines.rows().reserve(kHugeGuests);
        for (int i = kHugeGuests; i >= 1; --i) {  // last file line first
            const std::string n = std::to_string(i);
            lines.rows().push_back({corvana::Variant(demo::kEmptyListBranch),
                                    corvana::Variant(kHugeBudget), corvana::Variant(kHugeSequence),
                                    corvana::Variant(i % 3 ? "" : "RG" + n),
                                    corvana::Variant("Convidado Número " + n)});
        }
        evt::server::RdmListConv rdm(db);
        corvana::Variant refused = rdm.Call("GetImpLista", {corvana::Variant(std::move(lines))});
        if (!refused.isPacket() || refused.asPacket().rowCount() != 0)
            throw std::runtime_error("the big list was not imported whole");
    }

    void CloseScreen() {
        if (boStCriado && frmListConv) {
            frmListConv->Close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    // The screen with the list of a budget sequence loaded, as a user leaves
    // the filter panel.
    TfrmListConv* OpenList(const char* budget, const char* seq) {
        CloseScreen();
        CriaListConv("0001", "Matriz", budget, seq);
        for (int i = 0; i < 5; ++i) QTest::qWait(5);
        frmListConv->dbgPadrao->setFocus(Qt::OtherFocusReason);
        for (int i = 0; i < 5; ++i) QTest::qWait(5);
        return frmListConv;
    }

    void DeleteGuest(const char* budget, const char* seq, const std::string& name) {
        auto conn = db->Acquire();
        conn->Prepare(
                "DELETE FROM LISTACONVOREV WHERE CDFILIAL = '0001' AND NRORCAEVENTO = ? AND "
                "NRSEQORCAEVE = ? AND NMLISTACONVOREV = ?")
            ->BindAll(budget, seq, name)
            .Execute();
    }
};

World* world = nullptr;

void BM_ConfirmNewGuest(benchmark::State& state, const char* budget, const char* seq, int guests) {
    if (guests == kHugeGuests) world->ImportHugeList();
    TfrmListConv* f = world->OpenList(budget, seq);
    if (!f || f->cdsConvOrceve.RecordCount() != guests) {
        state.SkipWithError("the list did not load");
        return;
    }
    corvana::Field& name = f->cdsConvOrceve.FieldByName("NMLISTACONVOREV");
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string guest = "Convidado Medido " + std::to_string(++n);
        f->sbtIncluir->Click();
        name.SetValue(guest);
        state.ResumeTiming();

        // Confirm, as the user clicks it; the save and the reload run inside.
        QTest::mouseClick(f->sbtConfirmar, Qt::LeftButton);
        QCoreApplication::processEvents();
        f->dbgPadrao->viewport()->repaint();

        state.PauseTiming();
        const bool shown = f->cdsConvOrceve.State() == corvana::DataSetState::Browse &&
                           f->cdsConvOrceve.ChangeCount() == 0 && name.AsString() == guest &&
                           f->dbgPadrao->currentIndex().row() == f->cdsConvOrceve.RecNo() - 1 &&
                           f->cdsConvOrceve.RecordCount() == guests + 1;
        world->DeleteGuest(budget, seq, guest);
        state.ResumeTiming();
        if (!shown || !world->services.dialogs.Errors().empty()) {
            state.SkipWithError("the saved guest is not on the grid");
            break;
        }
    }
    state.counters["guests"] = guests;
}

BENCHMARK_CAPTURE(BM_ConfirmNewGuest, guests_5000, demo::kBigListBudget, demo::kBigListSequence,
                  demo::kBigListGuests)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_ConfirmNewGuest, guests_99997, kHugeBudget, kHugeSequence, kHugeGuests)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(4)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    World w;
    world = &w;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    world = nullptr;
    return 0;
}
