#include "reception/RdmRecepcao.h"

#include <chrono>

#include "corvana/data/DataPacket.h"
#include "corvana/data/Text.h"
#include "rdm/RdmSupport.h"
#include "storage/ListVersion.h"
#include "storage/Schema.h"

namespace evt::server::reception {

using corvana::DataPacket;
using corvana::Variant;
using rdm::DateTimeField;
using rdm::Refusal;
using rdm::StringField;

namespace {

corvana::FieldDef IntegerField(const char* name) {
    return {name, corvana::FieldType::Integer, 0};
}

ListKey listOf(const std::vector<Variant>& a) {
    return {a[0].asString(), a[1].asString(), a[2].asString()};
}

// The station's number: an integer, or a text of digits.
std::optional<std::int64_t> stationArg(const Variant& v) {
    if (v.kind() == Variant::Kind::Int) return v.toInt();
    if (v.kind() == Variant::Kind::Float) {
        const double d = v.toDouble();
        if (d >= 1 && d <= 1e15 && d == static_cast<double>(static_cast<std::int64_t>(d)))
            return static_cast<std::int64_t>(d);
        return std::nullopt;
    }
    if (!v.isString()) return std::nullopt;
    const std::string& text = v.asString();
    if (text.empty() || text.size() > 15) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

void requireList(storage::Connection& connection, const ListKey& list) {
    if (!ListExists(connection, list))
        throw Refusal("A lista de convidados (" + Describe(list) + ") não existe.");
}

constexpr std::size_t kStationNameSize = 30;

// The rows `sql` gives for the list (its three parameters), in a packet of
// `fields`.
Variant ListRows(storage::Database& db, const ListKey& list, std::vector<corvana::FieldDef> fields,
                 const char* sql) {
    DataPacket packet(std::move(fields));
    auto connection = db.Acquire();
    auto st = connection->Prepare(sql);
    st->BindAll(list.branch, list.budget, list.sequence);
    rdm::AppendRows(*st, packet);
    return packet;
}

// Runs `change` in a transaction. When it gives the list it changed, the
// list's version is raised before the commit and the change feed told after
// it, which wakes the stations waiting on the list; when it gives none,
// nothing was changed and nothing is committed.
template <class Change>
Variant ChangeAndWake(storage::Database& db, ChangeFeed* feed, Change&& change) {
    std::optional<std::int64_t> version;
    ListKey list;
    {
        auto connection = db.Acquire();
        storage::Transaction tx(*connection);
        const std::optional<ListKey> changed = change(*connection);
        if (!changed) return Variant(true);
        list = *changed;
        version =
            storage::RaiseListVersion(*connection, list.branch, list.budget, list.sequence, false);
        tx.Commit();
    }
    if (feed && version) feed->Raised(list, *version);
    return Variant(true);
}

}  // namespace

struct RdmRecepcao::MethodEntry {
    const char* name;
    std::vector<rdm::Param> args;
    Variant (RdmRecepcao::*run)(const Args&);
};

const std::vector<RdmRecepcao::MethodEntry>& RdmRecepcao::Table() {
    using rdm::ListParams;
    static const rdm::Param station{"estação", "o número de uma estação",
                                    [](const Variant& v) { return stationArg(v).has_value(); }};
    static const std::vector<MethodEntry> table = {
        {"GetRecepcao", ListParams(), &RdmRecepcao::GetRecepcao},
        {"SetRecepcao", ListParams({rdm::TextParam("\"S\" ou \"N\"")}), &RdmRecepcao::SetRecepcao},
        {"GetEstacoes", ListParams(), &RdmRecepcao::GetEstacoes},
        {"SetEstacao", ListParams({rdm::TextParam("nome")}), &RdmRecepcao::SetEstacao},
        {"SetRevogaEstacao", {station}, &RdmRecepcao::SetRevogaEstacao},
        {"GetConflitos", ListParams(), &RdmRecepcao::GetConflitos},
    };
    return table;
}

RdmRecepcao::RdmRecepcao(std::shared_ptr<storage::Database> db, std::shared_ptr<ChangeFeed> feed)
    : db_(std::move(db)), feed_(std::move(feed)) {
    if (!db_) throw corvana::Error("evt07800.rdmRecepcao precisa de um banco de dados aberto.");
}

std::string RdmRecepcao::Name() const {
    return "evt07800.rdmRecepcao";
}

std::vector<std::string> RdmRecepcao::Methods() const {
    return rdm::MethodNames(Table());
}

Variant RdmRecepcao::Call(const std::string& method, const std::vector<Variant>& args) {
    const MethodEntry& entry = rdm::FindMethod(Table(), Name(), method, args);
    try {
        return (this->*(entry.run))(args);
    } catch (const Refusal& refusal) {
        return Variant::serverError(refusal.what());
    } catch (const storage::DatabaseError& e) {
        using Kind = storage::DatabaseError::Kind;
        if (e.kind() == Kind::Unavailable || e.kind() == Kind::CommitUncertain) db_->DropIdle();
        return Variant::serverError(e.what());
    } catch (const BadRequest&) {
        throw;
    } catch (const corvana::Error& e) {
        return Variant::serverError(e.what());
    }
}

Variant RdmRecepcao::GetRecepcao(const Args& a) {
    const ListKey list = listOf(a);
    DataPacket packet({StringField("IDRECEPCAO", 1), IntegerField("NRVERSAO"),
                       IntegerField("QTCONVIDADOS"), IntegerField("QTPESSOAS"),
                       IntegerField("QTCHEGARAM")});
    auto connection = db_->Acquire();
    storage::Transaction snapshot(*connection, storage::Connection::TransactionMode::Read);
    requireList(*connection, list);
    const auto state = ReadListState(*connection, list);
    const Totals totals = ReadTotals(*connection, list);
    packet.addRow({Variant(state && state->enabled ? "S" : "N"),
                   Variant(state ? state->version : std::int64_t{0}), Variant(totals.guests),
                   Variant(totals.people), Variant(totals.arrived)});
    return packet;
}

Variant RdmRecepcao::SetRecepcao(const Args& a) {
    const ListKey list = listOf(a);
    const std::string& on = a[3].asString();
    if (on != "S" && on != "N")
        throw BadRequest("SetRecepcao: o argumento 4 deve ser \"S\" ou \"N\".");
    return ChangeAndWake(*db_, feed_.get(), [&](storage::Connection& connection) {
        requireList(connection, list);
        auto st = connection.Prepare(
            "INSERT INTO RECEPCAO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDRECEPCAO) VALUES (?, ?, "
            "?, ?) ON CONFLICT (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE) DO UPDATE SET IDRECEPCAO = "
            "excluded.IDRECEPCAO");
        st->BindAll(list.branch, list.budget, list.sequence, on);
        st->Execute();
        // The stations that wait wake, and are refused when it is off.
        return std::optional(list);
    });
}

Variant RdmRecepcao::GetEstacoes(const Args& a) {
    return ListRows(
        *db_, listOf(a),
        {IntegerField("CDESTACAO"), StringField("NMESTACAO", 30), StringField("IDSITUACAO", 1),
         DateTimeField("DTCRIACAO"), DateTimeField("DTULTIMOACESSO"), IntegerField("QTCHEGARAM")},
        "SELECT s.CDESTACAO, s.NMESTACAO, CASE WHEN s.DTREVOGACAO IS NOT NULL THEN 'R' WHEN "
        "s.DSTOKEN IS NOT NULL THEN 'A' ELSE 'P' END, s.DTCRIACAO, s.DTULTIMOACESSO, "
        "(SELECT COALESCE(SUM(e.QTPESSOAS), 0) FROM RECEPENTRADA e WHERE e.CDESTACAO = "
        "s.CDESTACAO AND e.IDTIPO <> 'D' AND e.IDDESFEITA = 'N') FROM RECEPESTACAO s WHERE "
        "s.CDFILIAL = ? AND s.NRORCAEVENTO = ? AND s.NRSEQORCAEVE = ? ORDER BY s.CDESTACAO");
}

Variant RdmRecepcao::SetEstacao(const Args& a) {
    const ListKey list = listOf(a);
    const std::string name = corvana::trimBlanks(a[3].asString());
    const std::size_t length = corvana::utf8Length(name);
    if (name.empty() || length > kStationNameSize || corvana::hasControlChar(name))
        throw Refusal("O nome da estação deve ter de 1 a " + std::to_string(kStationNameSize) +
                      " caracteres" +
                      (corvana::hasControlChar(name) ? ", sem caracteres de controle." : "."));
    const std::string code = NewCode();
    std::int64_t station = 0;
    auto connection = db_->Acquire();
    storage::Transaction tx(*connection);
    requireList(*connection, list);
    const auto state = ReadListState(*connection, list);
    if (!state || !state->enabled)
        throw Refusal("Habilite a recepção desta lista antes de cadastrar estações.");
    const std::string key = storage::GuestNameKey(name);
    {
        auto same = connection->Prepare(
            "SELECT 1 FROM RECEPESTACAO WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE "
            "= ? AND NMCHAVE = ? AND DTREVOGACAO IS NULL");
        same->BindAll(list.branch, list.budget, list.sequence, key);
        if (same->Step()) throw Refusal("Já existe uma estação com este nome nesta lista.");
    }
    {
        auto last = connection->Prepare("SELECT COALESCE(MAX(CDESTACAO), 0) FROM RECEPESTACAO");
        last->Step();
        station = last->Int(0) + 1;
    }
    const auto now = std::chrono::system_clock::now();
    auto insert = connection->Prepare(
        "INSERT INTO RECEPESTACAO (CDESTACAO, CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NMESTACAO, "
        "NMCHAVE, DSCODIGO, DTCRIACAO, DTVALIDADE) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert->BindAll(station, list.branch, list.budget, list.sequence, name, key, DigestHex(code),
                    TimeText(now), TimeText(now + std::chrono::hours(24)));
    insert->Execute();
    tx.Commit();
    return Variant(Variant::Array{Variant(station), Variant(code)});
}

Variant RdmRecepcao::SetRevogaEstacao(const Args& a) {
    const std::int64_t station = *stationArg(a[0]);
    return ChangeAndWake(
        *db_, feed_.get(), [&](storage::Connection& connection) -> std::optional<ListKey> {
            ListKey list;
            {
                auto st = connection.Prepare(
                    "SELECT CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE FROM RECEPESTACAO WHERE "
                    "CDESTACAO = ?");
                st->BindAll(station);
                if (!st->Step())
                    throw Refusal("Estação " + std::to_string(station) + " não encontrada.");
                list = {st->Text(0), st->Text(1), st->Text(2)};
            }
            auto revoke = connection.Prepare(
                "UPDATE RECEPESTACAO SET DTREVOGACAO = ?, DSCODIGO = NULL WHERE CDESTACAO = ? AND "
                "DTREVOGACAO IS NULL");
            revoke->BindAll(NowText(), station);
            if (revoke->Execute() == 0) return std::nullopt;  // revoked already
            // The station's call that waits wakes and is refused.
            return list;
        });
}

Variant RdmRecepcao::GetConflitos(const Args& a) {
    return ListRows(
        *db_, listOf(a),
        {StringField("NRLISTACONVOREV", 5), StringField("NMLISTACONVOREV", 50),
         StringField("NMESTACAO", 30), IntegerField("QTPESSOAS"), DateTimeField("DTENTRADA"),
         StringField("DSCONFLITO", 200)},
        "SELECT e.NRLISTACONVOREV, l.NMLISTACONVOREV, s.NMESTACAO, e.QTPESSOAS, e.DTENTRADA, "
        "e.DSCONFLITO FROM RECEPENTRADA e JOIN RECEPESTACAO s ON s.CDESTACAO = e.CDESTACAO LEFT "
        "JOIN LISTACONVOREV l ON l.CDFILIAL = e.CDFILIAL AND l.NRORCAEVENTO = e.NRORCAEVENTO AND "
        "l.NRSEQORCAEVE = e.NRSEQORCAEVE AND l.NRLISTACONVOREV = e.NRLISTACONVOREV WHERE "
        "e.CDFILIAL = ? AND e.NRORCAEVENTO = ? AND e.NRSEQORCAEVE = ? AND e.DSCONFLITO IS NOT "
        "NULL ORDER BY e.DTENTRADA, e.NRVERSAO");
}

}  // namespace evt::server::reception
