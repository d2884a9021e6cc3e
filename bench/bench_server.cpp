// The application server end to end: GetConvOrceve of guest lists of 1,000,
// 10,000 and 99,998 guests and of the 5,000-guest demo list (request, server,
// transfer, the rows packed into the guest dataset as the screen reads them) and GetImpLista of
// 1,000, 10,000 and 99,998 lines, each through TNetConnection and the real HTTP endpoint over an
// SQLite file, and the 10,000 and 99,998 cases over PostgreSQL. Beside them, the anchors the
// sqlite3 shell gives on the same machine in the same run: printing the 99,998-guest list as JSON
// (same columns and join), and .import of the same 99,998 rows into a table with a unique index.
// And the endpoint itself: one small call on a kept-alive connection, a stop with idle connections
// open, and what the attacks on the transport cost it: calls answered while slow clients hold
// connections, the time to refuse a body claimed too large, the memory a flood of header bytes
// leaves.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "GuestData.h"
#include "ScratchDatabase.h"
#include "corvana/core/Consiste.h"
#include "corvana/data/ClientDataSet.h"
#include "corvana/net/TNetConnection.h"
#include "endpoint/AppServer.h"
#include "rdm/RdmListConv.h"
#include "storage/Database.h"
#include "storage/DemoData.h"
#include "support/HttpTestClient.h"
#include "support/TestServer.h"

namespace fs = std::filesystem;
using corvana::Variant;

namespace {

namespace demo = evt::server::storage::demo;

// A list holds at most 99,998 guests: list numbers have five digits and
// 99999 stands for "no guest yet". That is the largest case here.
constexpr long kLargestList = 99998;
// The list sizes the load and the import are measured at.
constexpr long kListSizes[] = {1000, 10000, kLargestList};

// The lists of the load benchmarks are imported once into sequences of the
// demo's empty budget: its "02" and two more the fixture adds to it.
const char* kListBranch = demo::kEmptyListBranch;
const char* kListBudget = demo::kEmptyListBudget;
const char* ListSequence(long rows) {
    return rows == kLargestList ? "02" : rows == 10000 ? "03" : "04";
}
// The list each import iteration fills and empties again.
const char* kImportSequence = demo::kEmptyListSequence;

// The lines of an import file of `rows` guests into a sequence of the empty
// budget.
corvana::DataPacket ImportPacket(long rows, const std::string& sequence) {
    return bench::ImportLines(rows, kListBranch, kListBudget, sequence);
}

bool HasSqlite3Shell() {
    return std::system("command -v sqlite3 >/dev/null 2>&1") == 0;
}

// A server over the demo data and the lists of kListSizes, on a database of
// its own: SQLite, or (postgres) PostgreSQL.
struct Server {
    bench::ScratchDatabase scratch;
    std::shared_ptr<evt::server::storage::Database> db;
    std::unique_ptr<evt::server::AppServer> app;
    corvana::TNetConnection conn{"evt07800.rdmListConv"};

    explicit Server(bool postgres = false) : scratch("bench-server", postgres) {
        db = evt::server::storage::Database::Open(scratch.Location());
        evt::server::storage::SeedDemo(*db);
        for (const char* sequence : {"03", "04"}) {
            db->Acquire()
                ->Prepare(
                    "INSERT INTO ORCAEVENTOSEQ (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, "
                    "QTCONVORCEVE, IDRESULT) VALUES (?, ?, ?, 0, 'N')")
                ->BindAll(kListBranch, kListBudget, sequence)
                .Execute();
        }
        auto limits = corvana::test::QuietLimits();
        limits.logCalls = getenv("BENCH_LOG") != nullptr;
        app = corvana::test::StartTestServer({std::make_shared<evt::server::RdmListConv>(db)},
                                             limits);
        conn.SetHost("127.0.0.1");
        conn.SetPort(app->Port());
        conn.Open();
        for (long rows : kListSizes) {
            Variant answer =
                conn.Call("GetImpLista", {Variant(ImportPacket(rows, ListSequence(rows)))});
            if (Consiste::CheckResultServ(answer, false, 0).asPacket().rowCount() != 0)
                throw std::runtime_error("the list of " + std::to_string(rows) +
                                         " guests was not imported whole");
        }
    }
    ~Server() {
        conn.Close();
        app->Stop();
        app.reset();
        db.reset();
    }
    void EmptyList(const char* sequence) {
        db->Acquire()
            ->Prepare(
                "DELETE FROM LISTACONVOREV WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
                "NRSEQORCAEVE = ?")
            ->BindAll(kListBranch, kListBudget, sequence)
            .Execute();
    }
};

using corvana::test::ConnectLoopback;

Server& TheServer() {
    static Server server;
    return server;
}

Server& ThePostgresServer() {
    static Server server(true);
    return server;
}

void DeclareGuestFields(corvana::ClientDataSet& cds) {
    for (const auto& f : bench::GuestFields()) cds.AddField(f.name, f.type, f.size);
}

// Loads the list of a budget sequence each iteration, as the guest list
// screen does (its rows packed as they are read); answers its guests.
long LoadList(benchmark::State& state, const char* branch, const char* budget, const char* sequence,
              Server& s = TheServer()) {
    long rows = 0;
    for (auto _ : state) {
        corvana::ClientDataSet cds;
        DeclareGuestFields(cds);
        Variant other;
        auto packed = s.conn.CallData("GetConvOrceve", {branch, budget, sequence}, other);
        if (!packed) {
            state.SkipWithError(("no list: " + other.toJson()).c_str());
            break;
        }
        cds.SetData(std::move(*packed));
        rows = cds.RecordCount();
    }
    state.counters["rows"] = static_cast<double>(rows);
    return rows;
}

// Lists of each size in kListSizes, in milliseconds of real time; on
// PostgreSQL the two larger ones.
void ListSizes(benchmark::internal::Benchmark* b) {
    b->ArgName("rows")->Unit(benchmark::kMillisecond)->UseRealTime();
    for (long size : kListSizes) b->Arg(size);
}
void PostgresListSizes(benchmark::internal::Benchmark* b) {
    b->ArgName("rows")->Unit(benchmark::kMillisecond)->UseRealTime();
    b->Arg(kListSizes[1])->Arg(kListSizes[2]);
}

// The 5,000-guest demo list: demo names, some guests linked to clients.
void BM_GetConvOrceve5000(benchmark::State& state) {
    LoadList(state, demo::kBigListBranch, demo::kBigListBudget, demo::kBigListSequence);
}
BENCHMARK(BM_GetConvOrceve5000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A list of range(0) guests.
void BM_GetConvOrceve(benchmark::State& state) {
    if (LoadList(state, kListBranch, kListBudget, ListSequence(state.range(0))) != state.range(0))
        state.SkipWithError("the list did not load whole");
}
BENCHMARK(BM_GetConvOrceve)->Apply(ListSizes);

// The same lists on PostgreSQL.
void BM_GetConvOrceve_PostgreSQL(benchmark::State& state) {
    if (LoadList(state, kListBranch, kListBudget, ListSequence(state.range(0)),
                 ThePostgresServer()) != state.range(0))
        state.SkipWithError("the list did not load whole");
}
BENCHMARK(BM_GetConvOrceve_PostgreSQL)->Apply(PostgresListSizes);

// An import file of range(0) lines into an empty list.
void ImportList(benchmark::State& state, Server& s) {
    const long rows = state.range(0);
    Variant packet(ImportPacket(rows, kImportSequence));
    long refused = 0;
    for (auto _ : state) {
        state.PauseTiming();
        s.EmptyList(kImportSequence);
        state.ResumeTiming();
        Variant answer = s.conn.Call("GetImpLista", {packet});
        refused =
            static_cast<long>(Consiste::CheckResultServ(answer, false, 0).asPacket().rowCount());
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["refused"] = static_cast<double>(refused);
    if (refused != 0) state.SkipWithError("lines of the import were refused");
}

void BM_GetImpLista(benchmark::State& state) {
    ImportList(state, TheServer());
}
BENCHMARK(BM_GetImpLista)->Apply(ListSizes);

void BM_GetImpLista_PostgreSQL(benchmark::State& state) {
    ImportList(state, ThePostgresServer());
}
BENCHMARK(BM_GetImpLista_PostgreSQL)->Apply(PostgresListSizes);

// One small call on a kept-alive connection: well under a millisecond on the
// loopback; about 40 ms would be a delayed acknowledgement (TCP_NODELAY
// missing at one end).
void BM_KeptAliveCall(benchmark::State& state) {
    Server& s = TheServer();
    for (auto _ : state) {
        Variant answer = s.conn.Call("GetOrcamento", {"0001"});
        benchmark::DoNotOptimize(answer);
    }
}
BENCHMARK(BM_KeptAliveCall)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Stopping a server with a kept-alive client idle and a connection that never
// sent a request: prompt, not the keep-alive time-out (5 s).
void BM_StopWithIdleConnections(benchmark::State& state) {
    Server& s = TheServer();
    for (auto _ : state) {
        state.PauseTiming();
        auto server =
            corvana::test::StartTestServer({std::make_shared<evt::server::RdmListConv>(s.db)});
        corvana::test::HttpTestClient idle(server->Port());
        if (!idle.Request("GET", "/evt07800.rdmListConv")) state.SkipWithError("no handshake");
        const int silent = ConnectLoopback(server->Port());
        // Answered on a later connection: the silent one was accepted before.
        corvana::test::HttpTestClient later(server->Port());
        if (!later.Request("GET", "/evt07800.rdmListConv")) state.SkipWithError("no handshake");
        state.ResumeTiming();
        server->Stop();
        state.PauseTiming();
        if (silent >= 0) ::close(silent);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StopWithIdleConnections)->Unit(benchmark::kMillisecond)->UseRealTime();

// Resident and peak resident memory of this process, in bytes.
std::pair<double, double> ResidentMemory() {
    std::ifstream status("/proc/self/status");
    std::string line;
    double rss = 0, peak = 0;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) rss = std::stod(line.substr(6)) * 1024;
        if (line.rfind("VmHWM:", 0) == 0) peak = std::stod(line.substr(6)) * 1024;
    }
    return {rss, peak};
}

// Slow clients: `stalled` connections each send half a request header and
// then nothing, from another client address (127.0.0.2) or from the
// callers' own (range 1); then 7 normal calls are made, each on a
// connection of its own and given 5 s. Counters: calls answered, stalled
// connections the server took (past MaxConnectionsPerAddress it refuses
// them), and the seconds until the server had cut them all (its header
// deadline, 10 s). One repetition each: every one waits out that deadline,
// and its counters are counts, not timings.
void BM_CallsWhileStalled(benchmark::State& state) {
    using namespace std::chrono_literals;
    Server& s = TheServer();
    const int port = s.app->Port();
    const char* from = state.range(1) ? "127.0.0.1" : "127.0.0.2";
    double answered = 0, taken = 0, cutAfter = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::unique_ptr<corvana::test::HttpTestClient>> stalled;
        for (long i = 0; i < state.range(0); ++i) {
            auto& c = stalled.emplace_back(std::make_unique<corvana::test::HttpTestClient>(port));
            c->From(from);
            c->Send("POST /evt07800.rdmListConv/GetOrcamento HTTP/1.1\r\nHost: x\r\nConte");
        }
        const auto start = std::chrono::steady_clock::now();
        state.ResumeTiming();
        for (int i = 0; i < 7; ++i) {
            corvana::test::HttpTestClient c(port);
            answered += c.Request("POST", "/evt07800.rdmListConv/GetOrcamento", "[\"0001\"]",
                                  {{"Content-Type", "application/json"}}, 5s)
                            .status == 200;
        }
        state.PauseTiming();
        for (auto& c : stalled) {
            // A refused one was answered 503 at once.
            const auto reply = c->Read(1ms);
            taken += reply.status != 503;
            c->WaitClosed(60s);
        }
        cutAfter = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.ResumeTiming();
    }
    state.counters["answered_of_7"] = answered / static_cast<double>(state.iterations());
    state.counters["stalled_taken"] = taken / static_cast<double>(state.iterations());
    state.counters["all_cut_after_s"] = cutAfter;
}
BENCHMARK(BM_CallsWhileStalled)
    ->ArgNames({"stalled", "same_address"})
    ->ArgsProduct({{32, 200}, {0, 1}})
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A request claiming a 10 GB body: the time from sending its header to the
// 413.
void BM_TooLargeClaim(benchmark::State& state) {
    Server& s = TheServer();
    for (auto _ : state) {
        corvana::test::HttpTestClient c(s.app->Port());
        state.PauseTiming();
        c.Connect();
        state.ResumeTiming();
        c.Send(
            "POST /evt07800.rdmListConv/GetImpLista HTTP/1.1\r\nHost: x\r\n"
            "Content-Type: application/json\r\nContent-Length: 10000000000\r\n\r\n");
        if (c.Read().status != 413) state.SkipWithError("no 413");
    }
}
BENCHMARK(BM_TooLargeClaim)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Three connections each trying to send 720 MB of header bytes (a header
// that never ends). Counters: what the server took from each before it cut
// the connection, and how much the process's resident memory grew.
void BM_HeaderFlood(benchmark::State& state) {
    constexpr double kFlood = 720.0 * 1024 * 1024;
    Server& s = TheServer();
    const int port = s.app->Port();
    double taken = 0, grown = 0, peakGrown = 0;
    for (auto _ : state) {
        const auto [rssBefore, peakBefore] = ResidentMemory();
        std::atomic<double> sent{0};
        std::vector<std::thread> floods;
        for (int t = 0; t < 3; ++t) {
            floods.emplace_back([&] {
                corvana::test::HttpTestClient c(port);
                std::string chunk = "GET /evt07800.rdmListConv HTTP/1.1\r\nX-Cabecalho: ";
                chunk.resize(64 * 1024, 'a');
                double mine = 0;
                while (mine < kFlood && c.Send(chunk, std::chrono::seconds(30))) {
                    mine += static_cast<double>(chunk.size());
                    std::fill(chunk.begin(), chunk.end(), 'a');
                }
                sent = sent + mine;
            });
        }
        for (auto& f : floods) f.join();
        const auto [rssAfter, peakAfter] = ResidentMemory();
        taken = sent / 3;
        grown = rssAfter - rssBefore;
        peakGrown = peakAfter - peakBefore;
    }
    state.counters["taken_per_connection_bytes"] = taken;
    state.counters["rss_growth_bytes"] = grown;
    state.counters["peak_rss_growth_bytes"] = peakGrown;
}
BENCHMARK(BM_HeaderFlood)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Anchor of the load: the sqlite3 shell printing the same 99,998-guest list
// (same columns and join) as JSON.
void BM_Sqlite3ShellJsonList(benchmark::State& state) {
    if (!HasSqlite3Shell()) {
        state.SkipWithError("sqlite3 shell not installed");
        return;
    }
    Server& s = TheServer();
    std::string cmd =
        "sqlite3 -json '" + s.scratch.Location() +
        "' \"SELECT l.IDTPTRATCONVESPEC, l.CDCLIENTELISTCONV, l.NRINSJURCLILISCONV, "
        "l.NMLISTACONVOREV, "
        "l.NRRGLISTAOREV, l.IDCONVPRESEOREV, l.IDCONDICAOCONVEV, l.NRTELCONVEVEN, l.NRCELCONVEVEN, "
        "l.DSEMAILCONVEVEN, l.IDTIPOCONVEVEN, l.IDEXIBECONVCONTRAT, l.NRORDEMEXIBCONTRAT, "
        "c.NMFANTCLIE, "
        "c.IDTPIJURCLIE, c.NRINSJURCLIE, l.CDFILIAL, l.NRORCAEVENTO, l.NRLISTACONVOREV, "
        "l.QUANTIDADE, "
        "l.NRSEQORCAEVE FROM LISTACONVOREV l LEFT JOIN CLIENTE c ON c.CDCLIENTE = "
        "l.CDCLIENTELISTCONV "
        "WHERE l.CDFILIAL = '" +
        kListBranch + "' AND l.NRORCAEVENTO = '" + kListBudget + "' AND l.NRSEQORCAEVE = '" +
        ListSequence(kLargestList) + "' ORDER BY l.NRLISTACONVOREV\" > /dev/null";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("sqlite3 failed");
            break;
        }
    state.counters["rows"] = kLargestList;
}
BENCHMARK(BM_Sqlite3ShellJsonList)->Unit(benchmark::kMillisecond)->UseRealTime();

// Anchor of the import: .import of the same 99,998 rows into a table with a
// unique index on the name, in a new database file each time.
void BM_Sqlite3ShellImport(benchmark::State& state) {
    if (!HasSqlite3Shell()) {
        state.SkipWithError("sqlite3 shell not installed");
        return;
    }
    Server& s = TheServer();
    fs::path csv = s.scratch.Dir() / "import.csv";
    {
        std::ofstream out(csv);
        for (long i = 0; i < kLargestList; ++i) {
            auto guest = bench::GuestRow(i);
            out << kListBranch << ',' << kListBudget << ',' << kImportSequence << ','
                << guest[4].asString() << ",\"" << guest[3].asString() << "\"\n";
        }
    }
    fs::path target = s.scratch.Dir() / "import.db";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(target);
        std::string create =
            "sqlite3 '" + target.string() +
            "' \"CREATE TABLE g(CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRRGLISTAOREV, "
            "NMLISTACONVOREV); CREATE UNIQUE INDEX g_nome ON g(NMLISTACONVOREV)\"";
        const bool created = std::system(create.c_str()) == 0;
        state.ResumeTiming();
        std::string cmd =
            "sqlite3 '" + target.string() + "' \".import --csv " + csv.string() + " g\"";
        if (!created || std::system(cmd.c_str()) != 0) {
            state.SkipWithError("sqlite3 failed");
            break;
        }
    }
    state.counters["rows"] = kLargestList;
}
BENCHMARK(BM_Sqlite3ShellImport)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
