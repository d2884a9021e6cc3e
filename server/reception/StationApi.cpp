#include "reception/StationApi.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <variant>

#include "corvana/data/DateTime.h"
#include "corvana/data/Text.h"
#include "endpoint/Router.h"
#include "rdm/GuestWrites.h"
#include "rdm/RdmSupport.h"
#include "reception/ReceptionSupport.h"
#include "storage/ListVersion.h"
#include "storage/Schema.h"

namespace evt::server::reception {

using json = nlohmann::json;

namespace {

constexpr std::size_t kRequestIdSize = 64;
constexpr std::size_t kConflictSize = 200;
constexpr int kMostPeople = 99999;
// How stale a station's last access may be before it is written again.
constexpr auto kLastSeenEvery = std::chrono::seconds(60);

constexpr const char* kUnknownStation =
    "Estação não autorizada: acesso desconhecido. Peça um novo código ao organizador.";
constexpr const char* kRevokedStation =
    "Estação não autorizada: o acesso desta estação foi revogado.";
constexpr const char* kReceptionOff =
    "Estação não autorizada: a recepção desta lista está desligada.";
constexpr const char* kBadCode = "Código inválido, já usado ou vencido.";

void noStore(WebAnswer& answer) {
    answer.headers.emplace_back("Cache-Control", "no-store");
    answer.headers.emplace_back("X-Content-Type-Options", "nosniff");
}

WebAnswer ok(std::string body) {
    WebAnswer answer;
    answer.body = std::move(body);
    noStore(answer);
    return answer;
}

// A refusal: the status and {"ok": false, "erro": text}, with the guest
// when there is one.
WebAnswer refusal(int status, const std::string& text, const std::string& guestJson = {}) {
    WebAnswer answer;
    answer.status = status;
    answer.body = "{\"ok\":false,\"erro\":";
    corvana::appendJsonString(answer.body, text);
    if (!guestJson.empty()) answer.body += ",\"convidado\":" + guestJson;
    answer.body += "}";
    answer.outcome = std::to_string(status) + ": " + Router::Printable(text);
    if (status == 401) answer.headers.emplace_back("WWW-Authenticate", "Bearer");
    noStore(answer);
    return answer;
}

// Raised by a call's checks, answered by Handle.
struct Refused {
    int status;
    std::string text;
    std::string guest;
};

[[noreturn]] void refuse(int status, std::string text, std::string guest = {}) {
    throw Refused{status, std::move(text), std::move(guest)};
}

std::string guestJson(const StationGuest& g) {
    std::string out;
    AppendGuestJson(out, g);
    return out;
}

json bodyObject(const WebRequest& request) {
    json body;
    try {
        body = json::parse(request.body);
    } catch (const json::exception&) {
        refuse(400, "Corpo da chamada inválido: envie um objeto JSON.");
    }
    if (!body.is_object()) refuse(400, "Corpo da chamada inválido: envie um objeto JSON.");
    return body;
}

std::optional<std::string> textOf(const json& body, const char* name) {
    const auto it = body.find(name);
    if (it == body.end() || it->is_null()) return std::nullopt;
    if (!it->is_string()) refuse(400, std::string("O campo \"") + name + "\" deve ser um texto.");
    return it->get<std::string>();
}

std::string requestIdOf(const json& body) {
    const auto id = textOf(body, "id");
    bool printable = id && !id->empty() && id->size() <= kRequestIdSize;
    if (printable)
        for (char c : *id) printable = printable && c > 0x20 && c < 0x7f;
    if (!printable)
        refuse(400,
               "Informe o id da requisição (\"id\": de 1 a 64 letras, dígitos ou sinais, "
               "sem espaços).");
    return *id;
}

// "pessoas": a whole number from 1; nullopt when not given.
std::optional<int> peopleOf(const json& body) {
    const auto it = body.find("pessoas");
    if (it == body.end() || it->is_null()) return std::nullopt;
    double value = 0;
    if (it->is_number()) value = it->get<double>();
    if (!it->is_number() || value < 1 || value > kMostPeople || value != std::floor(value))
        refuse(400, "A quantidade de pessoas deve ser um número inteiro de 1 a " +
                        std::to_string(kMostPeople) + ".");
    return static_cast<int>(value);
}

std::string whenOf(const json& body) {
    const auto text = textOf(body, "quando");
    if (!text) return NowText();
    const auto when = StationTimeText(*text);
    if (!when) refuse(400, "Hora inválida em \"quando\": use o formato 2026-12-08T20:41:07-03:00.");
    return *when;
}

bool offlineOf(const json& body) {
    const auto it = body.find("offline");
    if (it == body.end() || it->is_null()) return false;
    if (!it->is_boolean()) refuse(400, "O campo \"offline\" deve ser true ou false.");
    return it->get<bool>();
}

std::string peopleText(int n) {
    return std::to_string(n) + (n == 1 ? " pessoa" : " pessoas");
}

}  // namespace

namespace {

// The station of the request's token, or the refusal (401). A station not
// seen for a minute has its last access written (in the caller's write
// transaction when `writing`, else in one of its own).
struct Authorized {
    std::int64_t id = 0;
    std::string name;
    ListKey list;
    bool stale = false;
};

Authorized authorize(storage::Connection& connection, const WebRequest& request) {
    std::string_view value = request.authorization;
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
    if (value.size() < 8 || value.size() > 300 ||
        !std::equal(value.begin(), value.begin() + 7, "bearer ", [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == b;
        }))
        refuse(401, kUnknownStation);
    std::string_view token = value.substr(7);
    while (!token.empty() && token.front() == ' ') token.remove_prefix(1);
    auto st = connection.Prepare(
        "SELECT s.CDESTACAO, s.NMESTACAO, s.CDFILIAL, s.NRORCAEVENTO, s.NRSEQORCAEVE, "
        "s.DTREVOGACAO, r.IDRECEPCAO, s.DTULTIMOACESSO FROM RECEPESTACAO s JOIN RECEPCAO r ON "
        "r.CDFILIAL = s.CDFILIAL AND r.NRORCAEVENTO = s.NRORCAEVENTO AND r.NRSEQORCAEVE = "
        "s.NRSEQORCAEVE WHERE s.DSTOKEN = ?");
    st->BindAll(DigestHex(token));
    if (!st->Step()) refuse(401, kUnknownStation);
    if (!st->IsNull(5)) refuse(401, kRevokedStation);
    if (st->Text(6) != "S") refuse(401, kReceptionOff);
    Authorized station{st->Int(0), st->Text(1), {st->Text(2), st->Text(3), st->Text(4)}, false};
    const std::string seen = st->Text(7);
    station.stale =
        seen.empty() || seen < TimeText(std::chrono::system_clock::now() - kLastSeenEvery);
    while (st->Step()) {
    }
    return station;
}

void markSeen(storage::Connection& connection, std::int64_t station) {
    auto st = connection.Prepare("UPDATE RECEPESTACAO SET DTULTIMOACESSO = ? WHERE CDESTACAO = ?");
    st->BindAll(NowText(), station);
    st->Execute();
}

// A read call: the station is authorized in a snapshot, the answer read in
// the same one; its last access written after, when stale.
template <class Read>
WebAnswer readCall(storage::Database& db, const WebRequest& request, Read&& read) {
    auto connection = db.Acquire();
    WebAnswer answer;
    Authorized station;
    {
        storage::Transaction snapshot(*connection, storage::Connection::TransactionMode::Read);
        station = authorize(*connection, request);
        answer = read(*connection, station);
    }
    if (station.stale) {
        storage::Transaction tx(*connection);
        markSeen(*connection, station.id);
        tx.Commit();
    }
    return answer;
}

// A request already taken from this station.
struct Seen {
    std::string kind, number, undone, conflict;
    std::int64_t version = 0;
};

std::optional<Seen> seenRequest(storage::Connection& connection, std::int64_t station,
                                const std::string& id) {
    auto st = connection.Prepare(
        "SELECT IDTIPO, NRLISTACONVOREV, IDREQDESFEITA, DSCONFLITO, NRVERSAO FROM RECEPENTRADA "
        "WHERE CDESTACAO = ? AND IDREQUISICAO = ?");
    st->BindAll(station, id);
    if (!st->Step()) return std::nullopt;
    Seen seen{st->Text(0), st->Text(1), st->Text(2), st->Text(3), st->Int(4)};
    while (st->Step()) {
    }
    return seen;
}

[[noreturn]] void reusedId() {
    refuse(409,
           "Este id de requisição já foi usado por esta estação para outro convidado ou outra "
           "operação; nada foi registrado.");
}

StationGuest guestOf(storage::Connection& connection, const ListKey& list,
                     const std::string& number) {
    const std::set<std::string> only{number};
    auto guests = ReadGuests(connection, list, &only);
    if (guests.empty())
        refuse(404, "Convidado " + Router::Printable(number, 10) + " não está na lista.");
    return std::move(guests.front());
}

// The answer of a check-in, undo or door addition taken (or taken before).
std::string doneJson(std::int64_t version, const StationGuest& guest, const std::string& conflict,
                     bool existing) {
    std::string out = "{\"ok\":true,\"versao\":" + std::to_string(version);
    if (!conflict.empty()) {
        out += ",\"conflito\":";
        corvana::appendJsonString(out, conflict);
    }
    if (existing) out += ",\"existente\":true";
    out += ",\"convidado\":" + guestJson(guest) + "}";
    return out;
}

// The guest's presence as its arrivals make it.
void writePresence(storage::Connection& connection, const ListKey& list, const StationGuest& g) {
    const std::string presence = g.Arrived() > 0 ? "S" : "N";
    auto st = connection.Prepare(
        "UPDATE LISTACONVOREV SET IDCONVPRESEOREV = ? WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
        "NRSEQORCAEVE = ? AND NRLISTACONVOREV = ? AND (IDCONVPRESEOREV IS NULL OR "
        "IDCONVPRESEOREV <> ?)");
    st->BindAll(presence, list.branch, list.budget, list.sequence, g.number, presence);
    if (st->Execute() == 0) return;
    // A screen that holds the list learns the change with the list's next
    // changes (storage/ListVersion.h).
    const auto version =
        storage::RaiseGuestVersion(connection, list.branch, list.budget, list.sequence);
    connection
        .Prepare(
            "UPDATE LISTACONVOREV SET NRVERSAOCONV = ? WHERE CDFILIAL = ? AND NRORCAEVENTO = ? "
            "AND NRSEQORCAEVE = ? AND NRLISTACONVOREV = ?")
        ->BindAll(version.value_or(0), list.branch, list.budget, list.sequence, g.number)
        .Execute();
}

struct Row {
    std::int64_t station;
    std::string id;
    ListKey list;
    std::string number;
    char kind;
    int people;
    std::string when;
    std::int64_t version;
    bool offline;
    std::string undone;    // IDREQDESFEITA of an undo
    std::string conflict;  // empty: none
};

void insertRow(storage::Connection& connection, const Row& r) {
    auto st = connection.Prepare(
        "INSERT INTO RECEPENTRADA (CDESTACAO, IDREQUISICAO, CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, "
        "NRLISTACONVOREV, IDTIPO, QTPESSOAS, DTENTRADA, DTREGISTRO, NRVERSAO, IDOFFLINE, "
        "IDREQDESFEITA, DSCONFLITO) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    st->BindAll(
        r.station, r.id, r.list.branch, r.list.budget, r.list.sequence, r.number,
        std::string(1, r.kind), r.people, r.when, NowText(), r.version, r.offline ? "S" : "N",
        r.undone.empty() ? std::optional<std::string>() : std::optional(r.undone),
        r.conflict.empty() ? std::optional<std::string>()
                           : std::optional(corvana::utf8Truncate(r.conflict, kConflictSize)));
    st->Execute();
}

std::int64_t raise(storage::Connection& connection, const ListKey& list) {
    const auto version =
        storage::RaiseListVersion(connection, list.branch, list.budget, list.sequence, false);
    if (!version) refuse(401, kReceptionOff);
    return *version;
}

// Who came first, for the slower station.
std::string fasterText(const StationGuest& g, int people) {
    const int left = g.quantity - g.Arrived();
    std::string who;
    if (!g.arrivals.lastWhen.empty())
        who = "já registrado às " + ClockText(g.arrivals.lastWhen) + " na estação " +
              g.arrivals.lastStation;
    if (left <= 0) {
        if (!who.empty()) who[0] = 'J';
        return who.empty() ? "Todos já chegaram." : who;
    }
    if (who.empty())
        return "A entrada de " + g.name + " é para " + peopleText(g.quantity) +
               "; não é possível registrar " + std::to_string(people) + ".";
    return "Só faltam " + std::to_string(left) + " de " + std::to_string(g.quantity) + ": " + who;
}

// The write calls' results: the answer and the version it raised the list to.
struct Written {
    std::string body;
    std::optional<std::int64_t> version;
};

// A request this station made before, sent again (its answer was lost on
// the way): answered as it was taken, with the guest as it stands now,
// when it is the `same` operation; another one under its id is refused.
Written takenBefore(storage::Connection& connection, const ListKey& list, const Seen& seen,
                    bool same, bool existing = false) {
    if (!same) reusedId();
    return {doneJson(seen.version, guestOf(connection, list, seen.number), seen.conflict, existing),
            std::nullopt};
}

// A check-in of `people` (nullopt: the rest) for the guest, inside the
// caller's write transaction.
Written checkIn(storage::Connection& connection, const Authorized& station, const std::string& id,
                const std::string& number, std::optional<int> people, const std::string& when,
                bool offline, bool existing) {
    const StationGuest before = guestOf(connection, station.list, number);
    const int left = before.quantity - before.Arrived();
    const int count = people.value_or(std::max(left, 1));
    std::string conflict;
    if (count > left) {
        const std::string text = fasterText(before, count);
        if (!offline) refuse(409, text, guestJson(before));
        conflict = "Feita sem conexão: " + text + " (" + peopleText(count) + " na porta)";
    }
    Row row{station.id, id, station.list, number, 'E', count, when, 0, offline, {}, conflict};
    row.version = raise(connection, station.list);
    insertRow(connection, row);
    const StationGuest after = guestOf(connection, station.list, number);
    writePresence(connection, station.list, after);
    return {doneJson(row.version, after, conflict, existing), row.version};
}

}  // namespace

StationApi::StationApi(std::shared_ptr<storage::Database> db, std::shared_ptr<ChangeFeed> feed,
                       const std::vector<AssetFile>& assets)
    : db_(std::move(db)), feed_(std::move(feed)), files_(assets) {
    if (!db_) throw corvana::Error("A recepção precisa de um banco de dados aberto.");
}

WebAnswer StationApi::Handle(const WebRequest& request) {
    return guarded([&] {
        const std::string_view path = request.path;
        constexpr std::string_view kApi = "/recepcao/api/";
        if (path.starts_with(kApi)) return api(std::string(path.substr(kApi.size())), request);
        if (request.verb != "GET" && request.verb != "HEAD") {
            WebAnswer answer = refusal(405, "Use GET para as páginas da recepção.");
            answer.headers.emplace_back("Allow", "GET, HEAD");
            return answer;
        }
        const std::string_view name = path.size() <= std::string_view("/recepcao/").size()
                                          ? std::string_view()
                                          : path.substr(10);
        return files_.Serve(name, request.acceptEncoding, request.ifNoneMatch);
    });
}

// The one error boundary of the station's calls: a refusal, a database
// that cannot be reached or anything else becomes an answer.
WebAnswer StationApi::guarded(const std::function<WebAnswer()>& run) {
    try {
        try {
            return run();
        } catch (const Refused& r) {
            return refusal(r.status, r.text, r.guest);
        } catch (const rdm::Refusal& r) {
            return refusal(409, r.what());
        } catch (const storage::DatabaseError& e) {
            using Kind = storage::DatabaseError::Kind;
            if (e.kind() == Kind::Unavailable || e.kind() == Kind::CommitUncertain ||
                e.kind() == Kind::Busy) {
                if (e.kind() != Kind::Busy) db_->DropIdle();
                WebAnswer answer = refusal(503, storage::kUnavailableText);
                answer.outcome = "error: " + Router::Printable(e.what());
                return answer;
            }
            WebAnswer answer = refusal(500, e.what());
            answer.outcome = "error: " + Router::Printable(e.what());
            return answer;
        } catch (const std::exception& e) {
            WebAnswer answer = refusal(500, "Erro interno do servidor de aplicação.");
            answer.outcome = "error: " + Router::Printable(e.what());
            return answer;
        }
    } catch (...) {
        WebAnswer answer;
        answer.status = 500;
        answer.outcome = "error";
        return answer;
    }
}

WebAnswer StationApi::api(const std::string& call, const WebRequest& request) {
    struct Entry {
        const char* name;
        bool post;
        WebAnswer (StationApi::*run)(const WebRequest&);
    };
    static constexpr Entry kCalls[] = {
        {"entrar", true, &StationApi::entrar},        {"lista", false, &StationApi::lista},
        {"mudancas", false, &StationApi::mudancas},   {"entrada", true, &StationApi::entrada},
        {"desfazer", true, &StationApi::desfazer},    {"novo", true, &StationApi::novo},
        {"contagens", false, &StationApi::contagens},
    };
    for (const Entry& entry : kCalls) {
        if (call != entry.name) continue;
        const bool isPost = request.verb == "POST";
        const bool isGet = request.verb == "GET" || request.verb == "HEAD";
        if (entry.post ? !isPost : !isGet) {
            WebAnswer answer = refusal(405, std::string("Use ") + (entry.post ? "POST" : "GET") +
                                                " para /recepcao/api/" + entry.name + ".");
            answer.headers.emplace_back("Allow", entry.post ? "POST" : "GET, HEAD");
            return answer;
        }
        return (this->*(entry.run))(request);
    }
    return refusal(404, "Chamada desconhecida da recepção: " + Router::Printable(call, 80) + ".");
}

WebAnswer StationApi::entrar(const WebRequest& request) {
    const json body = bodyObject(request);
    const auto typed = textOf(body, "codigo");
    const auto code = typed ? CodeAsMade(*typed) : std::nullopt;
    if (!code) refuse(401, kBadCode);
    const std::string token = NewToken();
    std::string out;
    {
        auto connection = db_->Acquire();
        storage::Transaction tx(*connection);
        auto st = connection->Prepare(
            "SELECT s.CDESTACAO, s.NMESTACAO, s.CDFILIAL, s.NRORCAEVENTO, s.NRSEQORCAEVE, "
            "s.DTVALIDADE, r.IDRECEPCAO FROM RECEPESTACAO s JOIN RECEPCAO r ON r.CDFILIAL = "
            "s.CDFILIAL AND r.NRORCAEVENTO = s.NRORCAEVENTO AND r.NRSEQORCAEVE = s.NRSEQORCAEVE "
            "WHERE s.DSCODIGO = ? AND s.DSTOKEN IS NULL AND s.DTREVOGACAO IS NULL");
        st->BindAll(DigestHex(*code));
        if (!st->Step()) refuse(401, kBadCode);
        const std::int64_t station = st->Int(0);
        const std::string name = st->Text(1);
        const ListKey list{st->Text(2), st->Text(3), st->Text(4)};
        const std::string until = st->Text(5);
        const bool on = st->Text(6) == "S";
        while (st->Step()) {
        }
        const std::string now = NowText();
        if (until < now) refuse(401, kBadCode);
        if (!on) refuse(401, kReceptionOff);
        auto use = connection->Prepare(
            "UPDATE RECEPESTACAO SET DSCODIGO = NULL, DSTOKEN = ?, DTUSO = ?, DTULTIMOACESSO = ? "
            "WHERE CDESTACAO = ?");
        use->BindAll(DigestHex(token), now, now, station);
        use->Execute();
        // What the page shows of the event: its kind, client and date.
        std::string event;
        {
            auto ev = connection->Prepare(
                "SELECT o.NMTIPOEVENTO, c.NMFANTCLIE, o.DTEVENTO FROM ORCAEVENTO o LEFT JOIN "
                "CLIENTE c ON c.CDCLIENTE = o.CDCLIENTE WHERE o.CDFILIAL = ? AND o.NRORCAEVENTO = "
                "?");
            ev->BindAll(list.branch, list.budget);
            if (ev->Step()) {
                auto add = [&event](const std::string& part) {
                    if (part.empty()) return;
                    if (!event.empty()) event += " - ";
                    event += part;
                };
                add(corvana::trimBlanks(ev->Text(0)));
                add(corvana::trimBlanks(ev->Text(1)));
                const auto date = corvana::DateTime::fromIso(ev->TextView(2));
                if (date) add(date->toDisplay().substr(0, 10));
            }
            while (ev->Step()) {
            }
        }
        tx.Commit();
        out = "{";
        AppendJsonTexts(out, {{"token", token}, {"estacao", name}});
        out += ",\"lista\":{";
        AppendJsonTexts(out, {{"filial", list.branch},
                              {"orcamento", list.budget},
                              {"sequencia", list.sequence},
                              {"evento", event}});
        out += "}}";
    }
    return ok(std::move(out));
}

WebAnswer StationApi::lista(const WebRequest& request) {
    return readCall(*db_, request, [](storage::Connection& connection, const Authorized& station) {
        const auto state = ReadListState(connection, station.list);
        std::string out =
            "{\"versao\":" + std::to_string(state ? state->version : 0) + ",\"convidados\":[";
        bool first = true;
        for (const StationGuest& g : ReadGuests(connection, station.list)) {
            if (!first) out += ',';
            first = false;
            AppendGuestJson(out, g);
        }
        out += "]}";
        return ok(std::move(out));
    });
}

WebAnswer StationApi::mudancas(const WebRequest& request) {
    // ?desde=V (other parameters are ignored).
    std::optional<std::int64_t> since;
    std::string_view query = request.query;
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        if (item.starts_with("desde=")) {
            const std::string_view digits = item.substr(6);
            std::int64_t value = 0;
            bool good = !digits.empty() && digits.size() <= 15;
            for (char c : digits) {
                good = good && c >= '0' && c <= '9';
                if (good) value = value * 10 + (c - '0');
            }
            if (good)
                since = value;
            else
                since.reset();
            if (!good) break;
        }
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    if (!since)
        refuse(400, "Informe a versão da cópia da lista: /recepcao/api/mudancas?desde=<versão>.");
    return changesSince(request, *since, true);
}

WebAnswer StationApi::changesSince(const WebRequest& request, std::int64_t since, bool wait) {
    ListKey waitFor;
    bool hold = false;
    WebAnswer answer =
        readCall(*db_, request, [&](storage::Connection& connection, const Authorized& station) {
            const ListState state = ReadListState(connection, station.list).value_or(ListState{});
            if (wait && state.version == since && feed_) {
                // Nothing new yet: the endpoint waits for the feed.
                waitFor = station.list;
                hold = true;
                return WebAnswer{};
            }
            const bool whole = since > state.version || since < state.wholeVersion;
            std::vector<StationGuest> guests;
            std::set<std::string> changed;
            if (whole) {
                guests = ReadGuests(connection, station.list);
            } else if (since < state.version) {
                auto st = connection.Prepare(
                    "SELECT DISTINCT NRLISTACONVOREV FROM RECEPENTRADA WHERE CDFILIAL = ? AND "
                    "NRORCAEVENTO = ? AND NRSEQORCAEVE = ? AND NRVERSAO > ?");
                st->BindAll(station.list.branch, station.list.budget, station.list.sequence, since);
                while (st->Step()) changed.insert(st->Text(0));
                guests = ReadGuests(connection, station.list, &changed);
            }
            std::string out = "{\"versao\":" + std::to_string(state.version) + ",\"convidados\":[";
            for (std::size_t i = 0; i < guests.size(); ++i) {
                if (i) out += ',';
                AppendGuestJson(out, guests[i]);
                changed.erase(guests[i].number);
            }
            out += "],\"removidos\":[";
            bool first = true;
            for (const std::string& number : changed) {
                if (!first) out += ',';
                first = false;
                corvana::appendJsonString(out, number);
            }
            out += whole ? "],\"completa\":true}" : "],\"completa\":false}";
            return ok(std::move(out));
        });
    if (!hold) return answer;
    auto held = std::make_shared<WebAnswer::Hold>();
    held->upTo = longestWait_;
    held->subscribe = [feed = feed_, waitFor, since](std::function<void()> wake) {
        return feed->Subscribe(waitFor, since, std::move(wake));
    };
    held->resume = [this, request, since] {
        return guarded([&] { return changesSince(request, since, false); });
    };
    answer.hold = std::move(held);
    return answer;
}

// A write call: the station is authorized under the database's write lock
// (every writer of the database waits for it, on both backends), so that
// what it checks is what it writes against; its last access is written in
// the same transaction; the stations that wait are woken once it is
// committed.
template <class Write>
WebAnswer writeCall(storage::Database& db, ChangeFeed* feed, const WebRequest& request,
                    Write&& write) {
    Written written;
    ListKey list;
    {
        auto connection = db.Acquire();
        storage::Transaction tx(*connection);
        const Authorized station = authorize(*connection, request);
        list = station.list;
        written = write(*connection, station);
        if (station.stale) markSeen(*connection, station.id);
        tx.Commit();
    }
    if (feed && written.version) feed->Raised(list, *written.version);
    return ok(std::move(written.body));
}

WebAnswer StationApi::entrada(const WebRequest& request) {
    const json body = bodyObject(request);
    const std::string id = requestIdOf(body);
    const auto number = textOf(body, "nr");
    if (!number || number->empty()) refuse(400, "Informe o convidado (\"nr\": \"00001\").");
    const std::optional<int> people = peopleOf(body);
    const std::string when = whenOf(body);
    const bool offline = offlineOf(body);
    return writeCall(*db_, feed_.get(), request,
                     [&](storage::Connection& connection, const Authorized& station) -> Written {
                         if (const auto seen = seenRequest(connection, station.id, id))
                             return takenBefore(connection, station.list, *seen,
                                                seen->kind == "E" && seen->number == *number);
                         return checkIn(connection, station, id, *number, people, when, offline,
                                        false);
                     });
}

WebAnswer StationApi::desfazer(const WebRequest& request) {
    const json body = bodyObject(request);
    const std::string id = requestIdOf(body);
    const auto undone = textOf(body, "entrada");
    if (!undone || undone->empty())
        refuse(400, "Informe a entrada a desfazer (\"entrada\": o id da requisição dela).");
    const std::string when = whenOf(body);
    const bool offline = offlineOf(body);
    return writeCall(
        *db_, feed_.get(), request,
        [&](storage::Connection& connection, const Authorized& station) -> Written {
            if (const auto seen = seenRequest(connection, station.id, id))
                return takenBefore(connection, station.list, *seen,
                                   seen->kind == "D" && seen->undone == *undone);
            const auto original = seenRequest(connection, station.id, *undone);
            if (!original || original->kind == "D") {
                auto other = connection.Prepare(
                    "SELECT s.NMESTACAO FROM RECEPENTRADA e JOIN RECEPESTACAO s ON s.CDESTACAO = "
                    "e.CDESTACAO WHERE e.IDREQUISICAO = ? AND e.CDFILIAL = ? AND e.NRORCAEVENTO = "
                    "? "
                    "AND e.NRSEQORCAEVE = ? AND e.CDESTACAO <> ? AND e.IDTIPO <> 'D'");
                other->BindAll(*undone, station.list.branch, station.list.budget,
                               station.list.sequence, station.id);
                if (other->Step())
                    refuse(403, "Só a estação que registrou a entrada pode desfazê-la (estação " +
                                    other->Text(0) + ").");
                refuse(404, "Entrada não encontrada entre as registradas por esta estação.");
            }
            StationGuest before = guestOf(connection, station.list, original->number);
            int people = 0;
            {
                auto st = connection.Prepare(
                    "SELECT QTPESSOAS, IDDESFEITA FROM RECEPENTRADA WHERE CDESTACAO = ? AND "
                    "IDREQUISICAO = ?");
                st->BindAll(station.id, *undone);
                st->Step();
                people = static_cast<int>(st->Int(0));
                const bool already = st->Text(1) == "S";
                while (st->Step()) {
                }
                if (already) refuse(409, "Esta entrada já foi desfeita.", guestJson(before));
            }
            Row row{station.id, id, station.list, original->number, 'D', people,
                    when,       0,  offline,      *undone,          {}};
            row.version = raise(connection, station.list);
            auto mark = connection.Prepare(
                "UPDATE RECEPENTRADA SET IDDESFEITA = 'S' WHERE CDESTACAO = ? AND IDREQUISICAO = "
                "?");
            mark->BindAll(station.id, *undone);
            mark->Execute();
            insertRow(connection, row);
            const StationGuest after = guestOf(connection, station.list, original->number);
            writePresence(connection, station.list, after);
            return {doneJson(row.version, after, {}, false), row.version};
        });
}

WebAnswer StationApi::novo(const WebRequest& request) {
    const json body = bodyObject(request);
    const std::string id = requestIdOf(body);
    const std::string name = corvana::trimBlanks(textOf(body, "nome").value_or(""));
    const std::string rg = corvana::trimBlanks(textOf(body, "rg").value_or(""));
    if (name.empty()) refuse(400, "Informe o nome do convidado.");
    const std::size_t nameSize = 50, rgSize = 20;
    if (corvana::utf8Length(name) > nameSize)
        refuse(400, "O nome tem " + std::to_string(corvana::utf8Length(name)) +
                        " caracteres; o máximo é " + std::to_string(nameSize) + ".");
    if (corvana::utf8Length(rg) > rgSize)
        refuse(400, "O R.G. tem " + std::to_string(corvana::utf8Length(rg)) +
                        " caracteres; o máximo é " + std::to_string(rgSize) + ".");
    if (corvana::hasControlChar(name) || corvana::hasControlChar(rg))
        refuse(400, "O nome e o R.G. não podem ter caracteres de controle.");
    const std::optional<int> people = peopleOf(body);
    const std::string when = whenOf(body);
    const bool offline = offlineOf(body);
    const std::string key = storage::GuestNameKey(name);
    return writeCall(
        *db_, feed_.get(), request,
        [&](storage::Connection& connection, const Authorized& station) -> Written {
            const ListKey& list = station.list;
            // The guest the name finds on the list, by the key the list's rule
            // compares.
            std::optional<std::string> existing;
            {
                auto st = connection.Prepare(
                    "SELECT NRLISTACONVOREV FROM LISTACONVOREV WHERE NMCHAVE = ? AND CDFILIAL = ? "
                    "AND "
                    "NRORCAEVENTO = ? AND NRSEQORCAEVE = ?");
                st->BindAll(key, list.branch, list.budget, list.sequence);
                if (st->Step()) existing = st->Text(0);
                while (st->Step()) {
                }
            }
            if (const auto seen = seenRequest(connection, station.id, id)) {
                const bool same = (seen->kind == "P" || seen->kind == "E") && existing &&
                                  *existing == seen->number;
                return takenBefore(connection, list, *seen, same, seen->kind == "E");
            }
            if (existing)
                return checkIn(connection, station, id, *existing, people, when, offline, true);
            if (const auto rgKey = storage::GuestDocumentKey(rg)) {
                auto st = connection.Prepare(
                    "SELECT NRLISTACONVOREV, NMLISTACONVOREV FROM LISTACONVOREV WHERE RGCHAVE = ? "
                    "AND "
                    "CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ?");
                st->BindAll(*rgKey, list.branch, list.budget, list.sequence);
                if (st->Step())
                    refuse(409, "R.G. já cadastrado nesta lista, para o convidado " + st->Text(0) +
                                    " (" + st->Text(1) + ").");
            }
            const int count = people.value_or(1);
            const std::string number = rdm::AddDoorGuest(connection, list.branch, list.budget,
                                                         list.sequence, name, rg, count);
            Row row{station.id, id, list, number, 'P', count, when, 0, offline, {}, {}};
            row.version = raise(connection, list);
            insertRow(connection, row);
            return {doneJson(row.version, guestOf(connection, list, number), {}, false),
                    row.version};
        });
}

WebAnswer StationApi::contagens(const WebRequest& request) {
    return readCall(*db_, request, [](storage::Connection& connection, const Authorized& station) {
        const ListKey& list = station.list;
        const Totals totals = ReadTotals(connection, list);
        std::string out = "{\"convidados\":" + std::to_string(totals.guests) +
                          ",\"pessoas\":" + std::to_string(totals.people) +
                          ",\"chegaram\":" + std::to_string(totals.arrived) +
                          ",\"faltam\":" + std::to_string(totals.people - totals.arrived) +
                          ",\"estacoes\":[";
        auto st = connection.Prepare(
            "SELECT s.NMESTACAO, COALESCE(SUM(CASE WHEN e.IDTIPO <> 'D' AND e.IDDESFEITA = 'N' "
            "THEN e.QTPESSOAS ELSE 0 END), 0) FROM RECEPESTACAO s LEFT JOIN RECEPENTRADA e ON "
            "e.CDESTACAO = s.CDESTACAO WHERE s.CDFILIAL = ? AND s.NRORCAEVENTO = ? AND "
            "s.NRSEQORCAEVE = ? AND (s.DTREVOGACAO IS NULL OR e.CDESTACAO IS NOT NULL) GROUP BY "
            "s.CDESTACAO, s.NMESTACAO ORDER BY s.CDESTACAO");
        st->BindAll(list.branch, list.budget, list.sequence);
        bool first = true;
        while (st->Step()) {
            if (!first) out += ',';
            first = false;
            out += "{\"nome\":";
            corvana::appendJsonString(out, st->Text(0));
            out += ",\"chegaram\":" + std::to_string(st->Int(1)) + "}";
        }
        out += "]}";
        return ok(std::move(out));
    });
}

}  // namespace evt::server::reception
