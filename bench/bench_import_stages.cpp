// GetImpLista of 99,998 lines taken apart, one stage at a time, over the same
// rows and database as bench_server's BM_GetImpLista100000: the client's JSON
// of the call, the server's read of it, the rules of every line (stored form
// and keys) alone, the import on the database without the endpoint (commit
// and its sync included), and the whole call refused at its first line (the
// list does not exist), which is the endpoint, the JSON both ways and the
// transfer without a row written. docs/performance.md quotes the figures.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "GuestData.h"
#include "corvana/core/Consiste.h"
#include "corvana/data/Text.h"
#include "corvana/net/TNetConnection.h"
#include "endpoint/AppServer.h"
#include "guestrecord/GuestRules.h"
#include "rdm/GuestWrites.h"
#include "rdm/RdmListConv.h"
#include "storage/Database.h"
#include "storage/DemoData.h"
#include "storage/NameFold.h"
#include "storage/Schema.h"
#include "support/TestServer.h"

namespace fs = std::filesystem;
using corvana::Variant;

namespace {

namespace demo = evt::server::storage::demo;

constexpr long kImportRows = 99998;
const char* kHugeSequence = "02";

corvana::DataPacket ImportPacket(const std::string& budget, const std::string& sequence) {
    return bench::ImportLines(kImportRows, demo::kEmptyListBranch, budget, sequence);
}

corvana::DataPacket ImportPacket(const std::string& sequence) {
    return ImportPacket(demo::kEmptyListBudget, sequence);
}

// The demo database with 99,998 guests in one list, as bench_server has it.
struct World {
    fs::path dir;
    std::shared_ptr<evt::server::storage::Database> db;
    // Another session on the file, as the sqlite3 shell of bench_server: its
    // writes make the server's connection read the pages again.
    std::shared_ptr<evt::server::storage::Database> other;
    corvana::DataPacket packet = ImportPacket(demo::kEmptyListSequence);

    World() {
        dir = fs::temp_directory_path() / ("bench-import-stages-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        const std::string path = (dir / "evt.db").string();
        db = evt::server::storage::Database::Open(path);
        evt::server::storage::SeedDemo(*db);
        Consiste::CheckResultServ(evt::server::rdm::ImportGuests(*db, ImportPacket(kHugeSequence)),
                                  false, 0);
        other = evt::server::storage::Database::Open(path);
    }
    ~World() {
        db.reset();
        other.reset();
        fs::remove_all(dir);
    }
    void EmptyImportList() {
        auto c = other->Acquire();
        c->Prepare(
             "DELETE FROM LISTACONVOREV WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
             "NRSEQORCAEVE = ?")
            ->BindAll(demo::kEmptyListBranch, demo::kEmptyListBudget, demo::kEmptyListSequence)
            .Execute();
    }
};

World& TheWorld() {
    static World world;
    return world;
}

std::string CallBody(const corvana::DataPacket& packet) {
    return Variant(Variant::Array{Variant(packet)}).toJson();
}

// The client: the call's arguments as JSON (TNetConnection::Call).
void BM_ClientJson(benchmark::State& state) {
    Variant packet(ImportPacket(demo::kEmptyListSequence));
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string body = Variant(Variant::Array{packet}).toJson();
        bytes = body.size();
        benchmark::DoNotOptimize(body);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ClientJson)->Unit(benchmark::kMillisecond)->UseRealTime();

// The endpoint: the body read into the arguments, under the reader's budget
// (Router), and the packet checked against its fields (ImportGuests).
void BM_ServerRead(benchmark::State& state) {
    const std::string body = CallBody(ImportPacket(demo::kEmptyListSequence));
    for (auto _ : state) {
        Variant args =
            Variant::fromJson(body, 1024 * 1024 + 3 * body.size(), Variant::PacketRows::Packed);
        args.asArray()[0].asPacket().validate();
        benchmark::DoNotOptimize(args);
    }
}
BENCHMARK(BM_ServerRead)->Unit(benchmark::kMillisecond)->UseRealTime();

// The rules of every line alone: name and R.G. in their stored form, the
// checks, and the four keys the insert binds.
void BM_LineRules(benchmark::State& state) {
    namespace storage = evt::server::storage;
    namespace record = evt::guestrecord;
    const corvana::DataPacket packet = ImportPacket(demo::kEmptyListSequence);
    std::size_t kept = 0;
    for (auto _ : state) {
        kept = 0;
        for (const corvana::Row& row : packet.rows()) {
            const std::string name = storage::ComposedText(record::PlainText(row[4].asString()));
            const std::string rg = storage::ComposedText(record::PlainText(row[3].asString()));
            if (name.empty() || corvana::utf8Length(name) > 50 || corvana::utf8Length(rg) > 20 ||
                corvana::hasControlChar(name) || corvana::hasControlChar(rg))
                continue;
            auto nameKey = storage::GuestNameKey(name);
            auto rgKey = storage::GuestDocumentKey(rg.empty() ? "*" : rg);
            auto inscriptionKey = storage::GuestDocumentKey("*");
            auto orderKey = storage::GuestOrderKey("*");
            benchmark::DoNotOptimize(nameKey);
            benchmark::DoNotOptimize(rgKey);
            benchmark::DoNotOptimize(inscriptionKey);
            benchmark::DoNotOptimize(orderKey);
            ++kept;
        }
    }
    state.counters["rows"] = static_cast<double>(kept);
}
BENCHMARK(BM_LineRules)->Unit(benchmark::kMillisecond)->UseRealTime();

// The import on the database, without the endpoint: every line's rules, the
// inserts, the commit and its sync; the list emptied by another session
// before each run.
void BM_ImportGuests(benchmark::State& state) {
    World& w = TheWorld();
    std::size_t refused = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.EmptyImportList();
        state.ResumeTiming();
        Variant answer = evt::server::rdm::ImportGuests(*w.db, w.packet);
        refused = Consiste::CheckResultServ(answer, false, 0).asPacket().rowCount();
    }
    state.counters["refused"] = static_cast<double>(refused);
}
BENCHMARK(BM_ImportGuests)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole call through TNetConnection and the endpoint, refused at its
// first line: the client's JSON, the transfer, the server's read and check
// of the packet, the refusal's answer.
void BM_CallRefusedAtOnce(benchmark::State& state) {
    World& w = TheWorld();
    auto app = corvana::test::StartTestServer({std::make_shared<evt::server::RdmListConv>(w.db)},
                                              corvana::test::QuietLimits());
    corvana::TNetConnection conn{"evt07800.rdmListConv"};
    conn.SetHost("127.0.0.1");
    conn.SetPort(app->Port());
    conn.Open();
    Variant packet(ImportPacket("9999999999", demo::kEmptyListSequence));
    for (auto _ : state) {
        Variant answer = conn.Call("GetImpLista", {packet});
        if (!answer.isError()) state.SkipWithError("the import was not refused");
    }
    conn.Close();
    app->Stop();
}
BENCHMARK(BM_CallRefusedAtOnce)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
