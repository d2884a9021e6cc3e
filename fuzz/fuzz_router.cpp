// Fuzzes the application server's handling of a call, without sockets:
// evt::server::Router (server/endpoint/Router.h) over the remote data module
// evt07800.rdmListConv and the demo database (server/storage DemoData). The
// input is the method name, a line feed, and the JSON body (the array of the
// positional arguments); it is handled as POST /evt07800.rdmListConv/<method>
// with Content-Type application/json.
//
// What it holds the server to:
//  - nothing crashes, leaks or hangs, and nothing reaches the error boundary
//    as an unexpected failure (a 500);
//  - a 200 carries an answer that the client reads back to an equal value
//    and that writes the same JSON again, a packet answered satisfies its
//    own rules, and any other status carries {"$error": text};
//  - a refusal is one of the module's own texts: a raw database error
//    ("Erro no banco de dados: ...") means a check let through what the
//    database then refused. The database is in a temporary folder of this
//    process alone, so it is never busy or full;
//  - after a save or an import, every stored guest keeps the rules of
//    guestrecord/GuestRules.h that the database itself does not: a name,
//    no control character in any text, no look-alike or invisible blank
//    and no edge blank in the name and the R.G., a quantity from 0 to
//    99,999 (checked in SQL, apart from the server's own code).
//
// The database. It is created and seeded once per process, in
// LLVMFuzzerInitialize, and its bytes kept in memory. Every input starts
// from exactly that state: after a call, a connection of the target's own
// reads PRAGMA data_version, which changes only when another connection has
// committed; then (a save or an import went through) the module and its
// pool are closed and the file is written back from the kept bytes. Calls
// that read or are refused (most of them) cost nothing more, and an input
// does the same whatever ran before it, so every reproducer replays. The
// folder is $TMPDIR (else /tmp); ./dev fuzz points it to memory, where the
// commits' syncs cost nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>

#include "FuzzSupport.h"
#include "corvana/data/DataPacket.h"
#include "corvana/data/Error.h"
#include "corvana/data/Variant.h"
#include "corvana/sqlite/Sqlite.h"
#include "endpoint/Router.h"
#include "guestrecord/GuestRecord.h"
#include "rdm/RdmListConv.h"
#include "storage/Database.h"
#include "storage/DemoData.h"

namespace {

using corvana::Variant;
namespace storage = evt::server::storage;

struct World {
    std::string folder;
    std::string path;      // the database the module works on
    std::string pristine;  // the seeded file's bytes
    std::shared_ptr<storage::Database> db;
    std::unique_ptr<evt::server::Router> router;
    std::unique_ptr<corvana::db::Connection> watch;
    std::int64_t version = 0;
};

World* world = nullptr;

std::int64_t DataVersion() {
    auto st = world->watch->Prepare("PRAGMA data_version");
    fuzz::Check(st->Step(), "PRAGMA data_version gave no row");
    return st->Int(0);
}

void RemoveFiles(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) ::unlink((path + suffix).c_str());
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A guest that breaks a rule the database does not keep itself; the SQL
// is built once from the guest record.
const std::string& BrokenGuestSql() {
    static const std::string sql = [] {
        // Control characters (U+0000 cannot be told apart in SQL text), and
        // the blanks a stored name or R.G. never holds.
        const std::string control =
            "'*[' || char(1) || '-' || char(31) || char(127) || '-' || "
            "char(159) || ']*'";
        const std::string blanks =
            "'*[' || char(160, 8199, 8239, 8203, 8204, 8205, 8288, 65279) || ']*'";
        const std::string edges = "' ' || char(9)";
        std::string where = "NMLISTACONVOREV = '' OR QUANTIDADE < 0 OR QUANTIDADE > 99999";
        for (const evt::guestrecord::Field& f : evt::guestrecord::kFields) {
            if (f.origin != evt::guestrecord::Origin::Guest || f.type != corvana::FieldType::String)
                continue;
            const std::string name(f.name);
            where += " OR " + name + " GLOB " + control;
            if (name == "NMLISTACONVOREV" || name == "NRRGLISTAOREV")
                where += " OR " + name + " GLOB " + blanks + " OR " + name + " <> trim(" + name +
                         ", " + edges + ")";
        }
        return "SELECT CDFILIAL || '/' || NRORCAEVENTO || '/' || NRSEQORCAEVE || ' ' || "
               "NRLISTACONVOREV || ' ' || quote(NMLISTACONVOREV) FROM LISTACONVOREV WHERE " +
               where + " LIMIT 1";
    }();
    return sql;
}

void CheckStoredGuests() {
    auto st = world->watch->Prepare(BrokenGuestSql());
    if (st->Step()) fuzz::Fail("a stored guest breaks the guest rules", st->Text(0));
}

// The database back to the seeded state, and the module over it.
void Restore() {
    world->watch.reset();
    world->router.reset();
    world->db.reset();
    RemoveFiles(world->path);
    {
        std::ofstream out(world->path, std::ios::binary | std::ios::trunc);
        out.write(world->pristine.data(), static_cast<std::streamsize>(world->pristine.size()));
        fuzz::Check(static_cast<bool>(out), "cannot write the database", world->path);
    }
    world->db = storage::Database::Open(world->path);
    world->router = std::make_unique<evt::server::Router>(
        std::vector<std::shared_ptr<evt::server::RemoteDataModule>>{
            std::make_shared<evt::server::RdmListConv>(world->db)});
    world->watch = corvana::sqlite::Connect(world->path, {});
    world->version = DataVersion();
}

void RemoveFolder() {
    if (!world) return;
    world->watch.reset();
    world->router.reset();
    world->db.reset();
    RemoveFiles(world->path);
    ::rmdir(world->folder.c_str());
}

void CheckAnswer(const Variant& answer) {
    if (answer.isError()) {
        fuzz::Check(answer.errorMessage().rfind("Erro no banco de dados", 0) != 0,
                    "the database refused what the module let through", answer.errorMessage());
    }
    if (answer.isPacket()) {
        try {
            answer.asPacket().validate();
        } catch (const corvana::Error& e) {
            fuzz::Fail("an answered packet breaks its rules", e.what());
        }
    }
}

void CheckReply(const evt::server::RouterAnswer& reply) {
    const std::string status = std::to_string(reply.status) + " " + reply.body;
    fuzz::Check(reply.status != 500, "the call failed unexpectedly", status);
    fuzz::Check(reply.status == 200 || (reply.status >= 400 && reply.status < 500),
                "an unexpected status", status);
    fuzz::Check(!reply.outcome.empty(), "no outcome for the log line", status);
    Variant answer;
    try {
        answer = Variant::fromJson(reply.body);
    } catch (const corvana::Error& e) {
        fuzz::Fail("the client cannot read the answer", status + "\n" + e.what());
    }
    fuzz::Check(answer.toJson() == reply.body, "the answer read back writes other JSON", status);
    if (reply.status != 200) {
        fuzz::Check(answer.isError() && !answer.errorMessage().empty(),
                    "a refused call without its text", status);
        return;
    }
    CheckAnswer(answer);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_router.XXXXXX";
    fuzz::Check(::mkdtemp(folder.data()) != nullptr, "cannot make a temporary folder", folder);
    world = new World;
    world->folder = folder;
    world->path = folder + "/evt07800.db";
    {
        const std::string seeded = folder + "/seeded.db";
        auto db = storage::Database::Open(seeded);
        fuzz::Check(storage::SeedDemo(*db), "the demo data was not seeded");
        db->Acquire()->ExecuteScript("PRAGMA wal_checkpoint(TRUNCATE)");
        db.reset();
        world->pristine = ReadFile(seeded);
        RemoveFiles(seeded);
    }
    fuzz::Check(!world->pristine.empty(), "the seeded database is empty");
    std::atexit(RemoveFolder);
    Restore();
    CheckStoredGuests();  // the demo data keeps the rules too
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\n');
    const std::string target = "/evt07800.rdmListConv/" + std::string(input.substr(0, split));
    const std::string_view body =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    CheckReply(world->router->Handle("POST", target, "application/json", body));
    if (DataVersion() != world->version) {
        CheckStoredGuests();
        Restore();
    }
    return 0;
}
