// The 99,998-guest list load taken apart, stage by stage, in one process
// and without the transport: the server's query into a packet and the
// packet's JSON text (as values, as the module's Call answers), the query
// written straight into the text (what the endpoint sends), the client's
// reading of that text and the rows into the guest dataset, as values and
// as the screen does it (packed as read). The end-to-end figure
// (bench_server) minus the stages the screen runs is the transfer.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "GuestData.h"
#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataPacket.h"
#include "corvana/data/PackedRow.h"
#include "rdm/RdmListConv.h"
#include "storage/Database.h"
#include "storage/DemoData.h"

namespace {

namespace demo = evt::server::storage::demo;
namespace fs = std::filesystem;
using corvana::Variant;

constexpr long kGuests = 99998;
constexpr const char* kSequence = "02";

struct World {
    fs::path dir;
    std::shared_ptr<evt::server::storage::Database> db;
    std::unique_ptr<evt::server::RdmListConv> rdm;
    std::string json;
    Variant answer;

    World() {
        dir = fs::temp_directory_path() / ("bench-stages-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        db = evt::server::storage::Database::Open((dir / "evt.db").string());
        evt::server::storage::SeedDemo(*db);
        rdm = std::make_unique<evt::server::RdmListConv>(db);
        rdm->Call("GetImpLista", {Variant(bench::ImportLines(kGuests, demo::kEmptyListBranch,
                                                             demo::kEmptyListBudget, kSequence))});
        answer = Query();
        json = answer.toJson();
    }
    ~World() { fs::remove_all(dir); }

    Variant Query() const {
        return rdm->Call("GetConvOrceve", {Variant(demo::kEmptyListBranch),
                                           Variant(demo::kEmptyListBudget), Variant(kSequence)});
    }
};

World& TheWorld() {
    static World w;
    return w;
}

// The guest dataset, its fields the screen's, filled from `data`: its
// record count.
template <class Data>
int LoadGuests(Data&& data) {
    corvana::ClientDataSet cds;
    for (const auto& f : bench::GuestFields()) cds.AddField(f.name, f.type, f.size);
    cds.SetData(std::forward<Data>(data));
    return cds.RecordCount();
}

void BM_StageQuery(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state) {
        Variant v = w.Query();
        benchmark::DoNotOptimize(v);
    }
    state.counters["rows"] = static_cast<double>(w.answer.asPacket().rowCount());
}
BENCHMARK(BM_StageQuery)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the endpoint runs: the query written straight into the answer's text.
void BM_StageQueryIntoJson(benchmark::State& state) {
    World& w = TheWorld();
    const std::vector<Variant> args{Variant(demo::kEmptyListBranch),
                                    Variant(demo::kEmptyListBudget), Variant(kSequence)};
    for (auto _ : state) {
        auto answer = w.rdm->CallJson("GetConvOrceve", args);
        if (answer.text.size() != w.json.size()) state.SkipWithError("another answer");
        benchmark::DoNotOptimize(answer.text.data());
    }
}
BENCHMARK(BM_StageQueryIntoJson)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StageEncode(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state) {
        std::string text = w.answer.toJson();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["MB"] = static_cast<double>(w.json.size()) / 1e6;
}
BENCHMARK(BM_StageEncode)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StageDecode(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state) {
        Variant v = Variant::fromJson(w.json);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_StageDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StageLoad(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state) {
        state.PauseTiming();
        Variant v = Variant::fromJson(w.json);
        state.ResumeTiming();
        benchmark::DoNotOptimize(LoadGuests(v));
    }
}
BENCHMARK(BM_StageLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

// The screen's way: the answer's text straight into packed rows, then into
// the dataset.
void BM_StageReadPacked(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state) {
        Variant other;
        auto packed = corvana::PackedData::fromAnswerJson(w.json, other);
        benchmark::DoNotOptimize(packed);
    }
}
BENCHMARK(BM_StageReadPacked)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StageLoadPacked(benchmark::State& state) {
    World& w = TheWorld();
    for (auto _ : state) {
        state.PauseTiming();
        Variant other;
        auto packed = corvana::PackedData::fromAnswerJson(w.json, other);
        state.ResumeTiming();
        benchmark::DoNotOptimize(LoadGuests(std::move(*packed)));
    }
}
BENCHMARK(BM_StageLoadPacked)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
