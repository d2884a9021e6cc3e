// Saves per second of a site's staff at once: 20 clients, each saving new
// guests one at a time into a list of its own (SetConvOrceve with a delta of
// one inserted guest, through TNetConnection and the real endpoint), spread
// over one or two application servers over one database: an SQLite file, or
// PostgreSQL (a schema of its own of the database EVT_BENCH_POSTGRESQL names;
// ./dev bench starts a throwaway cluster that syncs every commit, as the
// SQLite file does).
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "GuestData.h"
#include "ScratchDatabase.h"
#include "corvana/core/Consiste.h"
#include "corvana/net/TNetConnection.h"
#include "endpoint/AppServer.h"
#include "rdm/RdmListConv.h"
#include "storage/Database.h"
#include "support/TestServer.h"

using corvana::Variant;

namespace {

constexpr int kClients = 20;
constexpr int kSavesPerClient = 10;

// One database with a list per client (branch 0001, budget 0000000001,
// sequences 01 to 20) and `servers` application servers over it, each with
// a pool of its own as on separate machines.
class Site {
public:
    Site(bool postgres, int servers) : scratch_("bench-throughput", postgres) {
        for (int s = 0; s < servers; ++s) {
            auto db = evt::server::storage::Database::Open(scratch_.Location());
            if (s == 0) {
                std::string sql =
                    "INSERT INTO FILIAL VALUES ('0001', 'Matriz');"
                    "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO) VALUES ('0001', "
                    "'0000000001');";
                for (int c = 0; c < kClients; ++c)
                    sql +=
                        "INSERT INTO ORCAEVENTOSEQ (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE) "
                        "VALUES ('0001', '0000000001', '" +
                        Sequence(c) + "');";
                db->Acquire()->ExecuteScript(sql);
            }
            apps_.push_back(
                corvana::test::StartTestServer({std::make_shared<evt::server::RdmListConv>(db)}));
            dbs_.push_back(std::move(db));
        }
    }
    ~Site() {
        for (auto& app : apps_) app->Stop();
        apps_.clear();
        dbs_.clear();
    }
    int Port(int client) const {
        return apps_[static_cast<std::size_t>(client) % apps_.size()]->Port();
    }
    static std::string Sequence(int client) { return bench::Digits(client + 1, 2); }

private:
    bench::ScratchDatabase scratch_;
    std::vector<std::shared_ptr<evt::server::storage::Database>> dbs_;
    std::vector<std::unique_ptr<evt::server::AppServer>> apps_;
};

// range(0): 0 SQLite, 1 PostgreSQL; range(1): servers.
void BM_SavesPerSecond(benchmark::State& state) {
    std::unique_ptr<Site> site;
    try {
        site = std::make_unique<Site>(state.range(0) == 1, static_cast<int>(state.range(1)));
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    std::vector<std::unique_ptr<corvana::TNetConnection>> connections;
    for (int c = 0; c < kClients; ++c) {
        auto conn = std::make_unique<corvana::TNetConnection>("evt07800.rdmListConv");
        conn->SetHost("127.0.0.1");
        conn->SetPort(site->Port(c));
        conn->Open();
        connections.push_back(std::move(conn));
    }
    std::atomic<long> next{0}, refused{0};
    for (auto _ : state) {
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&, c] {
                for (int n = 0; n < kSavesPerClient; ++n) {
                    corvana::Row guest = bench::GuestRow(next++);
                    guest[17] = Variant("0000000001");
                    guest[20] = Variant(Site::Sequence(c));
                    corvana::DataPacket delta(bench::GuestFields(),
                                              corvana::DataPacket::Kind::Delta);
                    delta.addChange({corvana::DeltaRow::Status::Inserted, std::move(guest), {}});
                    const Variant answer = connections[static_cast<std::size_t>(c)]->Call(
                        "SetConvOrceve", {Variant(delta)});
                    if (answer != Variant(true)) ++refused;
                }
            });
        }
        for (auto& t : clients) t.join();
    }
    if (refused > 0) state.SkipWithError("saves were refused");
    state.counters["saves_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kClients * kSavesPerClient,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SavesPerSecond)
    ->ArgNames({"postgresql", "servers"})
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
