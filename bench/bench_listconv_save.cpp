// Time from the confirm button to the grid showing the saved guest: the
// checks of the post (inscription, name and R.G., contract order), the save
// (SetConvOrceve, committed to disk), the list brought up to date by its
// changes since the screen's version (GetConvOrceve merged into
// cdsConvOrceve), the cursor put on the saved guest and the grid's first
// paint after the click. Runs the real screen under Qt's offscreen
// platform, inside a host main window, against the application server over
// a seeded temporary database: the 5,000-guest demo list, and a list filled
// to the most guests a list can hold (99,998, numbers being five digits with
// 99999 kept for "no number") imported into the demo's empty budget when
// that benchmark first runs.
//
// Each iteration inserts a guest with a name of its own and lets the grid
// paint the new row (untimed), confirms it (timed) and removes it from the
// database again (untimed), so the list keeps its size.
#include <benchmark/benchmark.h>

#include "ScreenWorld.h"

namespace {

namespace demo = bench::demo;

// The demo's empty budget sequence that receives the big list; one guest
// short of the most a list can hold, for the guest each iteration saves.
constexpr const char* kHugeBudget = demo::kEmptyListBudget;
constexpr const char* kHugeSequence = demo::kEmptyListSequence;
constexpr int kHugeGuests = 99997;

struct World : bench::ScreenWorld {
    World() : ScreenWorld("evt-bench-save") {}

    void ImportHugeList() {
        if (hugeImported) return;
        hugeImported = true;
        ImportList(kHugeBudget, kHugeSequence, kHugeGuests);
    }

    // The screen with the list of a budget sequence loaded, as a user leaves
    // the filter panel.
    TfrmListConv* OpenList(const char* budget, const char* seq) {
        OpenScreen(budget, seq);
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

    bool hugeImported = false;
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
    bench::PaintCounter viewport(f->dbgPadrao->viewport());
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string guest = "Convidado Medido " + std::to_string(++n);
        f->sbtIncluir->Click();
        name.SetValue(guest);
        QCoreApplication::processEvents();
        state.ResumeTiming();

        // Confirm, as the user clicks it; the save and the reload run inside.
        // Then the events until the grid has painted what the click left.
        QTest::mouseClick(f->sbtConfirmar, Qt::LeftButton);
        viewport.WaitForPaint();

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
    return bench::RunScreenBenchmarks(argc, argv, world);
}
