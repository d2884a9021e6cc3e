// The import screen with the largest file a list takes (99,998 guests: guest
// numbers have five digits and 99999 means "not saved yet"), a Windows-1252
// file with accented names and R.G.s from column 81, CR LF line ends:
//  - BM_ImportScreen: the whole import as the Importar button runs it (file
//    name checks, read, decode, the import dataset and its packet, the
//    GetImpLista call over the loopback endpoint, the server's inserts in one
//    transaction, the answer into the refused-guest dataset);
//  - BM_ImportClientSide: its client side alone (read, decode, the import
//    dataset and its packet);
//  - BM_Sqlite3ShellImport: the floor, the sqlite3 shell's .import of the
//    same rows into a table with a unique index on the name, in a new
//    database file each time.
// The list is emptied before each timed import, untimed.
#include <benchmark/benchmark.h>

#include <QString>
#include <cstdlib>
#include <fstream>

#include "GuestData.h"
#include "ScreenWorld.h"
#include "corvana/ui/TForm.h"
#include "import/TfrmListaImpArq.h"

namespace {

namespace demo = bench::demo;
namespace fs = std::filesystem;

constexpr int kGuests = 99998;
constexpr const char* kBudget = demo::kEmptyListBudget;
constexpr const char* kSequence = demo::kEmptyListSequence;

std::string Name(long i) {
    return bench::GuestRow(i)[3].asString();
}
std::string Rg(long i) {
    return i % 3 ? bench::GuestRow(i)[4].asString() : std::string();
}

struct World : bench::ScreenWorld {
    fs::path file;
    fs::path csv;
    TfrmListaImpArq* imp = nullptr;

    World() : ScreenWorld("evt-bench-import") {
        file = dir / "convidados.txt";
        csv = dir / "convidados.csv";
        std::ofstream text(file, std::ios::binary);
        std::ofstream rows(csv, std::ios::binary);
        for (long i = 0; i < kGuests; ++i) {
            const QByteArray name =
                QString::fromStdString(Name(i)).toLatin1();  // Windows-1252 for these letters
            text << name.toStdString()
                 << std::string(80 - static_cast<std::size_t>(name.size()), ' ') << Rg(i) << "\r\n";
            rows << demo::kEmptyListBranch << ',' << kBudget << ',' << kSequence << ',' << Rg(i)
                 << ",\"" << Name(i) << "\"\n";
        }
        imp = corvana::ui::CreateForm<TfrmListaImpArq>(OpenScreen(kBudget, kSequence)->Shown());
        imp->edtImpArq->SetText(file.string());
    }
    ~World() { delete imp; }

    void EmptyList() {
        db->Acquire()
            ->Prepare(
                "DELETE FROM LISTACONVOREV WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
                "NRSEQORCAEVE = ?")
            ->BindAll(demo::kEmptyListBranch, kBudget, kSequence)
            .Execute();
        services.dialogs.Clear();
    }
};

World* world = nullptr;

void BM_ImportScreen(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        world->EmptyList();
        state.ResumeTiming();
        world->imp->sbtImpArqClick(nullptr);
        if (world->services.dialogs.Informations() !=
            std::vector<std::string>{"Dados importados com sucesso."}) {
            state.SkipWithError("the file was not imported whole");
            break;
        }
    }
    state.counters["guests"] = kGuests;
}
BENCHMARK(BM_ImportScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ImportClientSide(benchmark::State& state) {
    for (auto _ : state) {
        world->imp->ReadImportFile();
        corvana::DataPacket packet = world->imp->cdsListaImpArq.Data();
        if (packet.rowCount() != static_cast<std::size_t>(kGuests)) {
            state.SkipWithError("the file was not read whole");
            break;
        }
        benchmark::DoNotOptimize(packet);
    }
    state.counters["guests"] = kGuests;
}
BENCHMARK(BM_ImportClientSide)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Sqlite3ShellImport(benchmark::State& state) {
    const fs::path target = world->dir / "shell.db";
    const std::string create =
        "sqlite3 '" + target.string() +
        "' \"CREATE TABLE g(CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRRGLISTAOREV, "
        "NMLISTACONVOREV); CREATE UNIQUE INDEX g_nome ON g(NMLISTACONVOREV)\"";
    const std::string import =
        "sqlite3 '" + target.string() + "' \".import --csv " + world->csv.string() + " g\"";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(target);
        if (std::system(create.c_str()) != 0) state.SkipWithError("sqlite3 failed");
        state.ResumeTiming();
        if (std::system(import.c_str()) != 0) state.SkipWithError("sqlite3 failed");
    }
    state.counters["guests"] = kGuests;
}
BENCHMARK(BM_Sqlite3ShellImport)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return bench::RunScreenBenchmarks(argc, argv, world);
}
