#include "rdm/RdmListConv.h"

#include <iostream>

#include "corvana/data/DataPacket.h"
#include "corvana/data/Text.h"
#include "guestrecord/GuestRecord.h"
#include "rdm/GuestWrites.h"
#include "rdm/RdmSupport.h"
#include "storage/ListVersion.h"
#include "storage/Schema.h"

namespace evt::server {

using corvana::DataPacket;
using corvana::Variant;
using rdm::DateTimeField;
using rdm::FloatField;
using rdm::StringField;

namespace {

const std::string& textArg(const std::vector<Variant>& args, std::size_t i) {
    return args[i].asString();
}

// The six fields a budget summary shows (GetOrca, GetSequencial).
std::vector<corvana::FieldDef> budgetFields() {
    return {StringField("NRORCAEVENTO", 10), StringField("NMFANTCLIE", 50),
            StringField("NMTPSERVEVEN", 30), StringField("NMTIPOEVENTO", 30),
            DateTimeField("DTEVENTO"),       FloatField("QTCONVORCEVE")};
}

// The guests of a list, one column for each field of the guest record in
// its order: the client's fields from the client the guest is linked to,
// the others from the guest.
// With `changed`, only the guests written after a version (a fourth
// parameter).
std::string guestSelectSql(bool changed) {
    std::string s = "SELECT ";
    for (const evt::guestrecord::Field& f : evt::guestrecord::kFields) {
        if (&f != &evt::guestrecord::kFields.front()) s += ", ";
        s += f.origin == evt::guestrecord::Origin::Client ? "c." : "l.";
        s += f.name;
    }
    return s +
           " FROM LISTACONVOREV l LEFT JOIN CLIENTE c ON c.CDCLIENTE = l.CDCLIENTELISTCONV "
           "WHERE l.CDFILIAL = ? AND l.NRORCAEVENTO = ? AND l.NRSEQORCAEVE = ? " +
           (changed ? std::string("AND l.NRVERSAOCONV > ? ") : std::string()) +
           "ORDER BY l.NRLISTACONVOREV";
}

const std::string& guestListSql() {
    static const std::string sql = guestSelectSql(false);
    return sql;
}

const std::string& changedGuestsSql() {
    static const std::string sql = guestSelectSql(true);
    return sql;
}

// A list version: a whole number from 0, or null for none; the callers
// written before it was added leave it out.
rdm::Param VersionParam(const char* label) {
    return {label, "um número inteiro a partir de 0 ou null",
            [](const Variant& arg) {
                return arg.isNull() || (arg.kind() == Variant::Kind::Int && arg.toInt() >= 0);
            },
            true};
}

}  // namespace

struct RdmListConv::MethodEntry {
    const char* name;
    std::vector<rdm::Param> args;
    Variant (RdmListConv::*run)(const Args&);
    // The answer's JSON text written straight from the query, for the
    // answers too large to build first; null where run's answer is written.
    std::string (RdmListConv::*json)(const Args&) = nullptr;
};

const std::vector<RdmListConv::MethodEntry>& RdmListConv::Table() {
    using rdm::ListParams;
    using rdm::PacketParam;
    using rdm::TextParam;
    static const std::vector<MethodEntry> table = {
        {"GetOrcamento", {TextParam("filial")}, &RdmListConv::GetOrcamento},
        {"GetOrca", {TextParam("filial"), TextParam("orçamento")}, &RdmListConv::GetOrca},
        {"GetSequencial", ListParams(), &RdmListConv::GetSequencial},
        {"GetConvOrceve", ListParams({VersionParam("versão")}), &RdmListConv::GetConvOrceve,
         &RdmListConv::GetConvOrceveJson},
        {"SetConvOrceve", {PacketParam("alterações")}, &RdmListConv::SetConvOrceve},
        {"GetVd_Nome",
         {TextParam("filial"), TextParam("orçamento"), TextParam("nome"),
          TextParam("número do convidado"), TextParam("R.G."), TextParam("sequência")},
         &RdmListConv::GetVdNome},
        {"GetCliente", {TextParam("inscrição ou \"T\"")}, &RdmListConv::GetCliente},
        {"GetEndeClie", {TextParam("cliente")}, &RdmListConv::GetEndeClie},
        {"GetInscJCad", ListParams({TextParam("inscrição"), TextParam("número do convidado")}),
         &RdmListConv::GetInscJCad},
        {"GetVdOrdem", ListParams({TextParam("ordem"), TextParam("nome anterior")}),
         &RdmListConv::GetVdOrdem},
        {"GetImpLista", {PacketParam("linhas do arquivo")}, &RdmListConv::GetImpLista},
        {"GetImpPlanilha",
         ListParams({PacketParam("linhas da planilha"), TextParam("simular (\"S\" ou \"N\")")}),
         &RdmListConv::GetImpPlanilha},
    };
    return table;
}

RdmListConv::RdmListConv(std::shared_ptr<storage::Database> db) : db_(std::move(db)) {
    if (!db_) throw corvana::Error("evt07800.rdmListConv precisa de um banco de dados aberto.");
}

std::string RdmListConv::Name() const {
    return "evt07800.rdmListConv";
}

std::vector<std::string> RdmListConv::Methods() const {
    return rdm::MethodNames(Table());
}

const RdmListConv::MethodEntry& RdmListConv::Resolve(const std::string& method,
                                                     const std::vector<Variant>& args) const {
    return rdm::FindMethod(Table(), Name(), method, args);
}

namespace {

constexpr const char* kCommitUncertainText =
    "A conexão com o banco de dados caiu enquanto a gravação era confirmada; não se sabe se "
    "ela foi gravada. Recarregue a lista para conferir antes de gravar de novo.";

// Runs a call on the database. A session found lost before anything of the
// call was committed (the database restarted, the network failed) is
// dropped with the pool's other idle sessions, opened before the same fault,
// and the call runs once more on a new session. What the backend said goes
// to the server's log; the user reads Portuguese: the database is
// unavailable, or (the session lost during a COMMIT) the save may or may not
// have been made, which is never retried.
template <class Run>
auto OnDatabase(storage::Database& db, const std::string& method, Run&& run) -> decltype(run()) {
    using Kind = storage::DatabaseError::Kind;
    for (int attempt = 1;; ++attempt) {
        try {
            return run();
        } catch (const storage::DatabaseError& e) {
            if (e.kind() != Kind::Unavailable && e.kind() != Kind::CommitUncertain) throw;
            db.DropIdle();
            std::cerr << ("evt07800-server: " + method + ": banco de dados indisponível" +
                          (e.kind() == Kind::CommitUncertain ? " durante a confirmação" : "") +
                          " (tentativa " + std::to_string(attempt) + "): " + e.detail() + "\n")
                      << std::flush;
            if (e.kind() == Kind::Unavailable && attempt == 1) continue;
            throw corvana::Error(e.kind() == Kind::Unavailable ? storage::kUnavailableText
                                                               : kCommitUncertainText);
        }
    }
}

}  // namespace

Variant RdmListConv::Call(const std::string& method, const std::vector<Variant>& args) {
    const MethodEntry& entry = Resolve(method, args);
    try {
        return OnDatabase(*db_, method, [&] { return (this->*(entry.run))(args); });
    } catch (const BadRequest&) {
        throw;
    } catch (const corvana::Error& e) {
        // The database failed (busy beyond the timeout, disk full, a lost
        // file): the user reads it, the transaction was rolled back.
        return Variant::serverError(e.what());
    }
}

RemoteDataModule::JsonAnswer RdmListConv::CallJson(const std::string& method,
                                                   const std::vector<Variant>& args) {
    const MethodEntry& entry = Resolve(method, args);
    if (!entry.json) return RemoteDataModule::CallJson(method, args);
    try {
        return {OnDatabase(*db_, method, [&] { return (this->*(entry.json))(args); }),
                std::nullopt};
    } catch (const BadRequest&) {
        throw;
    } catch (const corvana::Error& e) {
        return {Variant::serverError(e.what()).toJson(), e.what()};
    }
}

Variant RdmListConv::GetOrcamento(const Args& a) {
    DataPacket packet({StringField("NRORCAEVENTO", 10)});
    auto connection = db_->Acquire();
    auto st = connection->Prepare(
        "SELECT NRORCAEVENTO FROM ORCAEVENTO WHERE CDFILIAL = ? ORDER BY NRORCAEVENTO");
    st->BindAll(textArg(a, 0));
    rdm::AppendRows(*st, packet);
    return packet;
}

// The quantity of a budget is the one of its resulting copy, else of its
// lowest sequence; null when it has no sequence.
Variant RdmListConv::GetOrca(const Args& a) {
    DataPacket packet(budgetFields());
    auto connection = db_->Acquire();
    auto st = connection->Prepare(
        "SELECT o.NRORCAEVENTO, c.NMFANTCLIE, o.NMTPSERVEVEN, o.NMTIPOEVENTO, o.DTEVENTO, "
        "  (SELECT s.QTCONVORCEVE FROM ORCAEVENTOSEQ s "
        "    WHERE s.CDFILIAL = o.CDFILIAL AND s.NRORCAEVENTO = o.NRORCAEVENTO "
        "    ORDER BY CASE WHEN s.IDRESULT = 'S' THEN 0 ELSE 1 END, s.NRSEQORCAEVE LIMIT 1) "
        "FROM ORCAEVENTO o LEFT JOIN CLIENTE c ON c.CDCLIENTE = o.CDCLIENTE "
        "WHERE o.CDFILIAL = ? AND o.NRORCAEVENTO = ?");
    st->BindAll(textArg(a, 0), textArg(a, 1));
    rdm::AppendRows(*st, packet);
    return packet;
}

Variant RdmListConv::GetSequencial(const Args& a) {
    auto fields = budgetFields();
    fields.push_back(StringField("CDFILIAL", 4));
    fields.push_back(StringField("NRSEQORCAEVE", 2));
    DataPacket packet(std::move(fields));
    auto connection = db_->Acquire();
    auto st = connection->Prepare(
        "SELECT o.NRORCAEVENTO, c.NMFANTCLIE, o.NMTPSERVEVEN, o.NMTIPOEVENTO, o.DTEVENTO, "
        "       s.QTCONVORCEVE, s.CDFILIAL, s.NRSEQORCAEVE "
        "FROM ORCAEVENTOSEQ s "
        "JOIN ORCAEVENTO o ON o.CDFILIAL = s.CDFILIAL AND o.NRORCAEVENTO = s.NRORCAEVENTO "
        "LEFT JOIN CLIENTE c ON c.CDCLIENTE = o.CDCLIENTE "
        "WHERE s.CDFILIAL = ? AND s.NRORCAEVENTO = ? AND s.NRSEQORCAEVE = ?");
    st->BindAll(textArg(a, 0), textArg(a, 1), textArg(a, 2));
    rdm::AppendRows(*st, packet);
    return packet;
}

// With three arguments the list's guests. With a fourth, the list version
// the caller holds (null: none), the list's changes since it, read in one
// snapshot: [version, complete, guests, removed numbers] (docs/protocol.md).
// When the changes since that version cannot be told, complete is true and
// the guests are all of them.
Variant RdmListConv::GetConvOrceve(const Args& a) {
    DataPacket packet(evt::guestrecord::PacketFields());
    auto connection = db_->Acquire();
    if (a.size() == 3) {
        auto st = connection->Prepare(guestListSql());
        st->BindAll(textArg(a, 0), textArg(a, 1), textArg(a, 2));
        rdm::AppendRows(*st, packet);
        return packet;
    }
    storage::Transaction snapshot(*connection, storage::Connection::TransactionMode::Read);
    ListChanges changes = readChanges(*connection, a);
    rdm::AppendRows(**changes.guests, packet);
    Variant::Array removed;
    for (const std::string& number : changes.removed) removed.emplace_back(number);
    return Variant(Variant::Array{Variant(changes.version), Variant(changes.complete),
                                  Variant(std::move(packet)), Variant(std::move(removed))});
}

// The same answer as GetConvOrceve, written as its rows are read: a list of
// 99,998 guests is never held as values on the server.
std::string RdmListConv::GetConvOrceveJson(const Args& a) {
    auto connection = db_->Acquire();
    if (a.size() == 3) {
        auto st = connection->Prepare(guestListSql());
        st->BindAll(textArg(a, 0), textArg(a, 1), textArg(a, 2));
        return rdm::PacketAnswerJson(*st, evt::guestrecord::PacketFields());
    }
    storage::Transaction snapshot(*connection, storage::Connection::TransactionMode::Read);
    ListChanges changes = readChanges(*connection, a);
    std::string out =
        "[" + std::to_string(changes.version) + "," + (changes.complete ? "true" : "false") + ",";
    rdm::AppendPacketAnswerJson(out, **changes.guests, evt::guestrecord::PacketFields());
    out += ",[";
    for (std::size_t i = 0; i < changes.removed.size(); ++i) {
        if (i) out += ',';
        corvana::appendJsonString(out, changes.removed[i]);
    }
    out += "]]";
    return out;
}

// What GetConvOrceve answers with a version, inside the caller's snapshot:
// the guests' statement bound and ready to step.
RdmListConv::ListChanges RdmListConv::readChanges(storage::Connection& connection, const Args& a) {
    const std::string& branch = textArg(a, 0);
    const std::string& budget = textArg(a, 1);
    const std::string& sequence = textArg(a, 2);
    std::optional<std::int64_t> since;
    if (!a[3].isNull()) since = a[3].toInt();
    const storage::GuestVersionState state =
        storage::ReadGuestVersion(connection, branch, budget, sequence, since);
    ListChanges changes;
    changes.version = state.version;
    changes.complete = !state.changesKnown;
    if (changes.complete) {
        changes.guests.emplace(connection.Prepare(guestListSql()));
        (*changes.guests)->BindAll(branch, budget, sequence);
    } else {
        changes.guests.emplace(connection.Prepare(changedGuestsSql()));
        (*changes.guests)->BindAll(branch, budget, sequence, *since);
        changes.removed = storage::RemovedGuestsSince(connection, branch, budget, sequence, *since);
    }
    return changes;
}

Variant RdmListConv::SetConvOrceve(const Args& a) {
    return rdm::ApplyGuestDelta(*db_, a[0].asPacket());
}

// Arguments: branch, budget, name, guest number, R.G., sequence. Answers the
// other guests of the list with the same name and, when an R.G. is given,
// with the same R.G.; an element without rows is an empty packet of its
// fields (the screen keeps a dataset's content when an element is null).
Variant RdmListConv::GetVdNome(const Args& a) {
    const std::string& branch = textArg(a, 0);
    const std::string& budget = textArg(a, 1);
    const std::string& guest = textArg(a, 3);
    const std::string& sequence = textArg(a, 5);
    auto connection = db_->Acquire();
    storage::Transaction snapshot(*connection, storage::Connection::TransactionMode::Read);

    DataPacket sameName({StringField("CDFILIAL", 4), StringField("NMLISTACONVOREV", 50),
                         StringField("NRORCAEVENTO", 10)});
    {
        auto st = connection->Prepare(
            "SELECT CDFILIAL, NMLISTACONVOREV, NRORCAEVENTO FROM LISTACONVOREV "
            "WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ? AND NMCHAVE = ? "
            "AND NRLISTACONVOREV <> ? ORDER BY NRLISTACONVOREV");
        st->BindAll(branch, budget, sequence, storage::GuestNameKey(textArg(a, 2)), guest);
        rdm::AppendRows(*st, sameName);
    }
    DataPacket sameRg({StringField("CDFILIAL", 4), StringField("NRORCAEVENTO", 10),
                       StringField("NMLISTACONVOREV", 80)});
    if (auto rgKey = storage::GuestDocumentKey(textArg(a, 4))) {
        auto st = connection->Prepare(
            "SELECT CDFILIAL, NRORCAEVENTO, NMLISTACONVOREV FROM LISTACONVOREV "
            "WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ? AND RGCHAVE = ? "
            "AND NRLISTACONVOREV <> ? ORDER BY NRLISTACONVOREV");
        st->BindAll(branch, budget, sequence, *rgKey, guest);
        rdm::AppendRows(*st, sameRg);
    }
    return Variant(Variant::Array{Variant(std::move(sameName)), Variant(std::move(sameRg))});
}

// "T" lists every client by trade name; any other text finds the clients
// whose stored inscription is exactly that text.
Variant RdmListConv::GetCliente(const Args& a) {
    DataPacket packet({StringField("CDCLIENTE", 21), StringField("NRINSJURCLIE", 20),
                       StringField("IDTPIJURCLIE", 1), StringField("NMFANTCLIE", 50)});
    const std::string& text = textArg(a, 0);
    if (text.empty()) return packet;
    auto connection = db_->Acquire();
    if (text == "T") {
        auto st = connection->Prepare(
            "SELECT CDCLIENTE, NRINSJURCLIE, IDTPIJURCLIE, NMFANTCLIE FROM CLIENTE "
            "ORDER BY NMFANTCLIE, CDCLIENTE");
        rdm::AppendRows(*st, packet);
    } else {
        auto st = connection->Prepare(
            "SELECT CDCLIENTE, NRINSJURCLIE, IDTPIJURCLIE, NMFANTCLIE FROM CLIENTE "
            "WHERE NRINSJURCLIE = ? ORDER BY CDCLIENTE");
        st->BindAll(text);
        rdm::AppendRows(*st, packet);
    }
    return packet;
}

Variant RdmListConv::GetEndeClie(const Args& a) {
    DataPacket packet({FloatField("ORDEM"), StringField("IDTPENDECLIE", 1),
                       StringField("NRTELECLIE", 25), StringField("DSEMAILCLIE", 50),
                       StringField("NRCELULARCLI", 25), StringField("CDCLIENTE", 21)});
    auto connection = db_->Acquire();
    auto st = connection->Prepare(
        "SELECT ORDEM, IDTPENDECLIE, NRTELECLIE, DSEMAILCLIE, NRCELULARCLI, CDCLIENTE "
        "FROM ENDECLIE WHERE CDCLIENTE = ? ORDER BY ORDEM");
    st->BindAll(textArg(a, 0));
    rdm::AppendRows(*st, packet);
    return packet;
}

// Arguments: branch, budget, sequence, inscription, guest number. False when
// another guest of the list bears the inscription.
Variant RdmListConv::GetInscJCad(const Args& a) {
    const auto key = storage::GuestDocumentKey(textArg(a, 3));
    if (!key) return Variant(true);
    auto connection = db_->Acquire();
    auto st = connection->Prepare(
        "SELECT 1 FROM LISTACONVOREV WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
        "NRSEQORCAEVE = ? AND INSCCHAVE = ? AND NRLISTACONVOREV <> ? LIMIT 1");
    st->BindAll(textArg(a, 0), textArg(a, 1), textArg(a, 2), *key, textArg(a, 4));
    return Variant(!st->Step());
}

// Arguments: branch, budget, sequence, order, previous name. "EXISTE" when a
// guest other than the one named holds the contract order.
Variant RdmListConv::GetVdOrdem(const Args& a) {
    const auto key = storage::GuestOrderKey(textArg(a, 3));
    if (!key) return Variant(std::string());
    auto connection = db_->Acquire();
    auto st = connection->Prepare(
        "SELECT 1 FROM LISTACONVOREV WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
        "NRSEQORCAEVE = ? AND ORDEMCHAVE = ? AND NMCHAVE <> ? LIMIT 1");
    st->BindAll(textArg(a, 0), textArg(a, 1), textArg(a, 2), *key,
                storage::GuestNameKey(textArg(a, 4)));
    return Variant(st->Step() ? std::string("EXISTE") : std::string());
}

Variant RdmListConv::GetImpLista(const Args& a) {
    return rdm::ImportGuests(*db_, a[0].asPacket());
}

// Arguments: branch, budget, sequence, the rows, "S" for a dry run (the
// preview: every verdict, nothing written) or "N" to import.
Variant RdmListConv::GetImpPlanilha(const Args& a) {
    const std::string& dryRun = textArg(a, 4);
    if (dryRun != "S" && dryRun != "N")
        throw BadRequest("GetImpPlanilha: o argumento 5 (simular) deve ser \"S\" ou \"N\".");
    return rdm::ImportSheet(*db_, textArg(a, 0), textArg(a, 1), textArg(a, 2), a[3].asPacket(),
                            dryRun == "S");
}

}  // namespace evt::server
