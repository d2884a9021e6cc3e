// Time from leaving the guest list screen's filter panel until the grid
// shows the loaded list: the budget and sequence checks, GetConvOrceve over
// the loopback endpoint, the packet into cdsConvOrceve, and the grid's first
// paint. Runs the real screen under Qt's offscreen platform, inside a host
// main window, against the application server over a seeded temporary
// database: the 5,000-guest demo list and the largest list the server
// numbers (99,998 guests: guest numbers have five digits and 99999 means
// "not saved yet"), imported into the demo's empty budget sequence.
//
// BM_SaveAfterAnotherUsersImport: a guest confirmed on a list that another
// user filled meanwhile with 99,997 guests through the import, until the grid
// shows the saved guest: the save, and the list's changes since the screen's
// version (all of those guests) merged into the empty list on screen.
#include <benchmark/benchmark.h>

#include "ScreenWorld.h"

namespace {

namespace demo = bench::demo;

// The empty demo sequence that receives the big list.
constexpr const char* kBigBudget = demo::kEmptyListBudget;
constexpr const char* kBigSequence = "02";
constexpr int kBigGuests = 99998;

struct World : bench::ScreenWorld {
    World() : ScreenWorld("evt-bench-listconv") {
        ImportList(kBigBudget, kBigSequence, kBigGuests);
    }
};

World* world = nullptr;

void BM_LeaveFilterPanel(benchmark::State& state, const char* budget, const char* seq, int guests) {
    TfrmListConv* f = world->OpenScreen(budget, seq);
    for (auto _ : state) {
        // Back into the panel (closes the list), untimed.
        state.PauseTiming();
        f->listKey.medCdFilial->setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
        state.ResumeTiming();

        // Leaving it: checks, load, and the grid painted with the list.
        f->dbgPadrao->setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
        f->dbgPadrao->viewport()->repaint();

        if (f->dbgPadrao->Model()->rowCount() != guests ||
            !world->services.dialogs.Errors().empty()) {
            state.SkipWithError("the list did not load");
            break;
        }
    }
    state.counters["guests"] = guests;
}

void BM_SaveAfterAnotherUsersImport(benchmark::State& state) {
    const char* budget = demo::kEmptyListBudget;
    const char* seq = demo::kEmptyListSequence;
    constexpr int imported = kBigGuests - 1;  // room for the guest saved
    TfrmListConv* f = world->OpenScreen(budget, seq);
    corvana::Field& name = f->cdsConvOrceve.FieldByName("NMLISTACONVOREV");
    bench::PaintCounter viewport(f->dbgPadrao->viewport());
    for (auto _ : state) {
        // The list empty on screen with its version, another user's import,
        // and a guest typed on the screen, untimed.
        state.PauseTiming();
        world->db->Acquire()
            ->Prepare(
                "DELETE FROM LISTACONVOREV WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
                "NRSEQORCAEVE = ?")
            ->BindAll(demo::kEmptyListBranch, budget, seq)
            .Execute();
        f->listKey.medCdFilial->setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
        f->dbgPadrao->setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
        world->ImportList(budget, seq, imported);
        f->sbtIncluir->Click();
        name.SetValue("Convidada Depois da Importação");
        QCoreApplication::processEvents();
        state.ResumeTiming();

        QTest::mouseClick(f->sbtConfirmar, Qt::LeftButton);
        viewport.WaitForPaint();

        if (f->dbgPadrao->Model()->rowCount() != imported + 1 ||
            name.AsString() != "Convidada Depois da Importação" ||
            !world->services.dialogs.Errors().empty()) {
            state.SkipWithError("the saved guest is not on the grid");
            break;
        }
    }
    state.counters["guests"] = imported + 1;
}

BENCHMARK_CAPTURE(BM_LeaveFilterPanel, guests_5000, demo::kBigListBudget, demo::kBigListSequence,
                  demo::kBigListGuests)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_LeaveFilterPanel, guests_99998, kBigBudget, kBigSequence, kBigGuests)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(BM_SaveAfterAnotherUsersImport)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    return bench::RunScreenBenchmarks(argc, argv, world);
}
