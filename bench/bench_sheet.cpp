// Spreadsheets in and out of the guest list (docs/import.md), on the real
// screens under Qt's offscreen platform against the application server over
// a seeded temporary database:
//  - BM_SheetPreview/rows:5000: the wizard's first two "Avançar" on a
//    5,000-row CSV of a Portuguese spreadsheet (Windows-1252, ";", a
//    header): the file read, decoded and cut, the columns guessed, the
//    GetImpPlanilha dry run over the loopback endpoint, the preview table
//    filled;
//  - BM_SheetImport/rows:5000: its "Importar": the rows that can be added
//    sent in one GetImpPlanilha call and stored in one transaction, the
//    report of every row built and shown in the record list (closed as soon
//    as it shows); the list is emptied and the preview run again, untimed;
//  - BM_XlsxRead/rows:99998: a workbook of 99,998 guests (name, R.G.,
//    mobile, quantity) read by ReadXlsx;
//  - BM_ExportXlsx/guests:99998: "Exportar…" of the loaded 99,998-guest
//    list to XLSX: the grid's cells as shown and the workbook written.
#include <benchmark/benchmark.h>

#include <QTimer>
#include <fstream>

#include "ScreenWorld.h"
#include "corvana/ui/TForm.h"
#include "sheet/GuestListSheetTools.h"
#include "sheet/TfrmImportaPlanilha.h"
#include "sheet/XlsxReader.h"

namespace {

namespace demo = bench::demo;
namespace fs = std::filesystem;

constexpr int kPreviewRows = 5000;
constexpr int kBigGuests = 99998;
constexpr const char* kBigSequence = "02";

struct World : bench::ScreenWorld {
    fs::path csv, xlsx, exported;

    World() : ScreenWorld("evt-bench-sheet") {
        ImportList(demo::kEmptyListBudget, kBigSequence, kBigGuests);
        csv = dir / "convidados.csv";
        {
            std::ofstream out(csv, std::ios::binary);
            out << "Nome;RG;Celular;Qtd\r\n";
            for (int i = 1; i <= kPreviewRows; ++i)
                out << "Convidado N\xFAmero " << i << ";" << (i % 3 ? "" : std::to_string(i))
                    << ";(11) 9" << 10000000 + i << ";" << 1 + i % 4 << "\r\n";
        }
        xlsx = dir / "convidados.xlsx";
        evt::sheet::ExportTable table;
        table.title = "Convidados";
        table.columns = {{"Nome"}, {"RG"}, {"Celular"}, {"Qtd", true}};
        for (int i = 1; i <= kBigGuests; ++i)
            table.rows.push_back({"Convidado Número " + std::to_string(i), "00" + std::to_string(i),
                                  "(11) 9" + std::to_string(10000000 + i),
                                  std::to_string(1 + i % 4)});
        evt::sheet::WriteXlsx(xlsx.string(), table);
        exported = dir / "exportados.xlsx";
    }

    void EmptyList() {
        db->Acquire()
            ->Prepare(
                "DELETE FROM LISTACONVOREV WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
                "NRSEQORCAEVE = ?")
            ->BindAll(demo::kEmptyListBranch, demo::kEmptyListBudget, demo::kEmptyListSequence)
            .Execute();
    }

    TfrmImportaPlanilha* NewWizard() {
        auto* w = corvana::ui::CreateForm<TfrmImportaPlanilha>(ShownList{
            demo::kEmptyListBranch, "", demo::kEmptyListBudget, demo::kEmptyListSequence, [] {}});
        w->edtArquivo->SetText(csv.string());
        return w;
    }
};

World* world = nullptr;

bool Previewed(TfrmImportaPlanilha* w) {
    return w->Counts().read == 0 && world->services.dialogs.Errors().empty() &&
           w->tblPrevia->model()->rowCount() == kPreviewRows;
}

void BM_SheetPreview(benchmark::State& state) {
    world->EmptyList();
    TfrmImportaPlanilha* w = world->NewWizard();
    for (auto _ : state) {
        w->sbtAvancarClick(nullptr);
        w->sbtAvancarClick(nullptr);
        state.PauseTiming();
        if (!Previewed(w)) {
            state.SkipWithError("the preview did not show every row");
            break;
        }
        w->sbtVoltarClick(nullptr);
        w->sbtVoltarClick(nullptr);
        w->edtArquivo->SetText("");  // read again
        w->edtArquivo->SetText(world->csv.string());
        state.ResumeTiming();
    }
    delete w;
    state.counters["rows"] = kPreviewRows;
}
BENCHMARK(BM_SheetPreview)
    ->ArgName("rows")
    ->Arg(kPreviewRows)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_SheetImport(benchmark::State& state) {
    // The record list, closed as soon as it shows.
    QTimer closer;
    closer.setInterval(1);
    QObject::connect(&closer, &QTimer::timeout, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->objectName() == "frmListaRegistros") modal->close();
    });
    closer.start();
    for (auto _ : state) {
        state.PauseTiming();
        world->EmptyList();
        QPointer<TfrmImportaPlanilha> w = world->NewWizard();
        w->sbtAvancarClick(nullptr);
        w->sbtAvancarClick(nullptr);
        if (!Previewed(w)) {
            state.SkipWithError("the preview did not show every row");
            break;
        }
        state.ResumeTiming();

        w->sbtImportarClick(nullptr);

        state.PauseTiming();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const long long stored = [&] {
            auto conn = world->db->Acquire();
            auto st = conn->Prepare(
                "SELECT COUNT(*) FROM LISTACONVOREV WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
                "NRSEQORCAEVE = ?");
            st->BindAll(demo::kEmptyListBranch, demo::kEmptyListBudget, demo::kEmptyListSequence);
            return st->Step() ? st->Int(0) : -1;
        }();
        if (stored != kPreviewRows || !world->services.dialogs.Errors().empty()) {
            state.SkipWithError("the rows were not imported");
            break;
        }
        delete w.data();
        state.ResumeTiming();
    }
    state.counters["rows"] = kPreviewRows;
}
BENCHMARK(BM_SheetImport)
    ->ArgName("rows")
    ->Arg(kPreviewRows)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_XlsxRead(benchmark::State& state) {
    for (auto _ : state) {
        const evt::sheet::SheetTable table = evt::sheet::ReadXlsx(world->xlsx.string());
        if (table.rows.size() != kBigGuests + 1) {
            state.SkipWithError("the workbook was not read whole");
            break;
        }
    }
    state.counters["rows"] = kBigGuests;
}
BENCHMARK(BM_XlsxRead)
    ->ArgName("rows")
    ->Arg(kBigGuests)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ExportXlsx(benchmark::State& state) {
    // The list loaded as a user loads it: into the filter panel, then out
    // of it to the grid, in the active host window (the record list of an
    // import before may have taken the activation with it).
    world->host->activateWindow();
    if (!QTest::qWaitForWindowActive(world->host.get())) {
        state.SkipWithError("the host window did not become active");
        return;
    }
    TfrmListConv* f = world->OpenScreen(demo::kEmptyListBudget, kBigSequence);
    f->listKey.medCdFilial->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    f->dbgPadrao->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    if (f->cdsConvOrceve.RecordCount() != kBigGuests) {
        state.SkipWithError("the list did not load");
        return;
    }
    for (auto _ : state) {
        world->services.saveFile.ExpectFile(world->exported.string());
        f->sheetTools->sbtExportarClick();
        state.PauseTiming();
        const bool written = world->services.dialogs.Errors().empty() &&
                             world->services.dialogs.Informations().size() == 1;
        world->services.dialogs.Clear();
        if (!written) {
            state.SkipWithError("the list was not exported");
            break;
        }
        state.ResumeTiming();
    }
    state.counters["guests"] = kBigGuests;
}
BENCHMARK(BM_ExportXlsx)
    ->ArgName("guests")
    ->Arg(kBigGuests)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return bench::RunScreenBenchmarks(argc, argv, world);
}
