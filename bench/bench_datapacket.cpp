// Loading a guest list packet from its JSON text into a ClientDataSet,
// deleting half of a large one, and writing a delta back to JSON. BM_Sqlite3ShellJson times the
// sqlite3 shell printing the same rows as JSON, as the floor to compare the load with.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>

#include "GuestData.h"
#include "corvana/data/ClientDataSet.h"

namespace {

constexpr long kRows = 100000;

const std::string& GuestJson() {
    static const std::string json = bench::GuestPacket(kRows).toJson();
    return json;
}

// Bytes the allocator holds for the program right now (RSS would not show
// memory that an earlier iteration freed and this one reused).
long HeapInUse() {
    return static_cast<long>(mallinfo2().uordblks);
}

void DeclareGuestFields(corvana::ClientDataSet& cds) {
    for (const auto& f : bench::GuestFields()) cds.AddField(f.name, f.type, f.size);
}

void BM_LoadGuestPacketFromJson(benchmark::State& state) {
    const std::string& json = GuestJson();
    long heapDelta = 0;
    for (auto _ : state) {
        corvana::ClientDataSet cds;
        DeclareGuestFields(cds);
        long before = HeapInUse();
        cds.SetData(corvana::DataPacket::fromJson(json));
        heapDelta = HeapInUse() - before;
        benchmark::DoNotOptimize(cds.RecordCount());
    }
    state.counters["rows"] = kRows;
    state.counters["MB_json"] = static_cast<double>(json.size()) / 1e6;
    // What the dataset holds per guest, beside the JSON text of that guest
    // it was loaded from.
    state.counters["bytes_per_row"] = static_cast<double>(heapDelta) / kRows;
    state.counters["json_bytes_per_row"] = static_cast<double>(json.size()) / kRows;
}
BENCHMARK(BM_LoadGuestPacketFromJson)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteDeltaToJson(benchmark::State& state) {
    corvana::ClientDataSet cds;
    DeclareGuestFields(cds);
    cds.SetData(bench::GuestPacket(5000));
    // 1,000 changes: 400 edits, 300 inserts, 300 deletes.
    for (int i = 0; i < 400; ++i) {
        cds.SetRecNo(i * 10 + 1);
        cds.Edit();
        cds.FieldByName("NRRGLISTAOREV").SetAsString("99" + std::to_string(i));
        cds.Post();
    }
    for (int i = 0; i < 300; ++i) {
        cds.Append();
        cds.FieldByName("NMLISTACONVOREV").SetAsString("Novo convidado " + std::to_string(i));
        cds.Post();
    }
    for (int i = 0; i < 300; ++i) {
        cds.SetRecNo(4001);
        cds.Delete();
    }
    if (cds.ChangeCount() != 1000) state.SkipWithError("change log does not hold 1,000 changes");
    for (auto _ : state) {
        std::string json = cds.Delta().toJson();
        benchmark::DoNotOptimize(json.data());
    }
    state.counters["changes"] = cds.ChangeCount();
}
BENCHMARK(BM_WriteDeltaToJson)->Unit(benchmark::kMillisecond)->UseRealTime();

// Loading 100,000 rows and deleting every other one from the front, as a
// grid's multi-row delete does: linear, never a shift of the whole table per
// deleted row.
void BM_LoadAndDeleteEveryOtherRow(benchmark::State& state) {
    const corvana::DataPacket packet = bench::GuestPacket(kRows);
    for (auto _ : state) {
        state.PauseTiming();
        corvana::DataPacket rows = packet;
        state.ResumeTiming();
        corvana::ClientDataSet cds;
        cds.SetData(std::move(rows));
        for (long i = 0; i < kRows / 2; ++i) {
            cds.Delete();
            cds.Next();
        }
        if (cds.RecordCount() != kRows / 2) state.SkipWithError("wrong rows left");
    }
    state.counters["rows"] = kRows;
}
BENCHMARK(BM_LoadAndDeleteEveryOtherRow)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same 100,000 rows in an SQLite table, printed by the sqlite3 shell.
std::string GuestDatabase() {
    static std::string path = [] {
        auto p = std::filesystem::temp_directory_path() / "bench_guests.db";
        std::filesystem::remove(p);
        sqlite3* db = nullptr;
        sqlite3_open(p.c_str(), &db);
        std::string create = "CREATE TABLE g(";
        auto fields = bench::GuestFields();
        for (std::size_t i = 0; i < fields.size(); ++i) create += (i ? "," : "") + fields[i].name;
        create += ")";
        sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        std::string insert = "INSERT INTO g VALUES(";
        for (std::size_t i = 0; i < fields.size(); ++i) insert += i ? ",?" : "?";
        insert += ")";
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, insert.c_str(), -1, &st, nullptr);
        for (long r = 0; r < kRows; ++r) {
            auto row = bench::GuestRow(r);
            for (std::size_t c = 0; c < row.size(); ++c) {
                int idx = static_cast<int>(c) + 1;
                if (row[c].isNull())
                    sqlite3_bind_null(st, idx);
                else if (row[c].isString())
                    sqlite3_bind_text(st, idx, row[c].asString().c_str(), -1, SQLITE_TRANSIENT);
                else
                    sqlite3_bind_double(st, idx, row[c].toDouble());
            }
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return p.string();
    }();
    return path;
}

void BM_Sqlite3ShellJson(benchmark::State& state) {
    if (std::system("command -v sqlite3 >/dev/null") != 0) {
        state.SkipWithError("sqlite3 shell not installed");
        return;
    }
    std::string cmd = "sqlite3 -json '" + GuestDatabase() + "' 'SELECT * FROM g' > /dev/null";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("sqlite3 failed");
    }
    state.counters["rows"] = kRows;
}
BENCHMARK(BM_Sqlite3ShellJson)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
