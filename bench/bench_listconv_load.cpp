// Time from leaving the guest list screen's filter panel until the grid
// shows the loaded list: the budget and sequence checks, GetConvOrceve over
// the loopback endpoint, the packet into cdsConvOrceve, and the grid's first
// paint. Runs the real screen under Qt's offscreen platform, inside a host
// main window, against the application server over a seeded temporary
// database: the 5,000-guest demo list and the largest list the server
// numbers (99,998 guests: guest numbers have five digits and 99999 means
// "not saved yet"), imported into the demo's empty budget sequence.
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

BENCHMARK_CAPTURE(BM_LeaveFilterPanel, guests_5000, demo::kBigListBudget, demo::kBigListSequence,
                  demo::kBigListGuests)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_LeaveFilterPanel, guests_99998, kBigBudget, kBigSequence, kBigGuests)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return bench::RunScreenBenchmarks(argc, argv, world);
}
