// Reception at the door (docs/reception.md) over HTTP: the organiser's
// module, the station's calls (check-ins taken once, parties never counted
// past their size, undo, door additions, offline facts, the change feed,
// revocation, two servers over one database) and the station's page.
#include <zlib.h>

#include <chrono>
#include <future>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <thread>

#include "ListConvTestSupport.h"

using namespace listconv_test;
using json = nlohmann::json;
using namespace std::chrono_literals;

namespace {

constexpr const char* kReception = "evt07800.rdmRecepcao";

// A station call's answer: its status and its JSON (discarded when not
// JSON).
struct Reply {
    int status = 0;
    json body;
    std::string text;
    std::string erro() const { return body.is_object() ? body.value("erro", "") : text; }
};

struct Station {
    std::string token;
    std::int64_t id = 0;
    int port = 0;
};

// The guest `nr` of an answer's guests, or null.
json guestIn(const json& guests, const std::string& nr) {
    for (const json& g : guests)
        if (g.value("nr", "") == nr) return g;
    return nullptr;
}

}  // namespace

class ReceptionTest : public ListConvTest {
protected:
    void SetUp() override {
        ListConvTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // 00001 one person, 00002 a party of five, 00003 special, with an R.G.
        AddGuests({NewGuest(kList, "Ana Souza"),
                   NewGuest(kList, "João da Conceição", {{"QUANTIDADE", 5.0}}),
                   NewGuest(kList, "Carla Dias",
                            {{"NRRGLISTAOREV", "12.345.678-9"}, {"IDTIPOCONVEVEN", "ESPECIAL"}})});
    }

    std::vector<Variant> Of(const ListId& l, std::vector<Variant> more = {}) {
        std::vector<Variant> args{l.branch, l.budget, l.sequence};
        for (Variant& v : more) args.push_back(std::move(v));
        return args;
    }
    Variant Organiser(const std::string& method, std::vector<Variant> args) {
        return CallModule(kReception, method, std::move(args));
    }
    void Enable(const char* on = "S") {
        ASSERT_EQ(Organiser("SetRecepcao", Of(kList, {on})), Variant(true));
    }

    Reply Api(const std::string& verb, const std::string& call, const std::string& body,
              const std::string& token, int onPort = 0) {
        corvana::test::HttpTestClient client(onPort ? onPort : port);
        corvana::test::HttpTestClient::Headers headers;
        if (!token.empty()) headers.emplace_back("Authorization", "Bearer " + token);
        if (!body.empty()) headers.emplace_back("Content-Type", "application/json");
        const auto res = client.Request(verb, "/recepcao/api/" + call, body, headers, 60s);
        return {res.status, json::parse(res.body, nullptr, false), res.body};
    }
    Reply Get(const Station& s, const std::string& call) {
        return Api("GET", call, "", s.token, s.port);
    }
    Reply Post(const Station& s, const std::string& call, const json& body) {
        return Api("POST", call, body.dump(), s.token, s.port);
    }
    Reply CheckIn(const Station& s, const std::string& id, const std::string& nr,
                  std::optional<int> people = std::nullopt, bool offline = false) {
        json body{{"id", id}, {"nr", nr}};
        if (people) body["pessoas"] = *people;
        if (offline) body["offline"] = true;
        return Post(s, "entrada", body);
    }

    // A station enrolled on the list through the organiser's module, and
    // entered with its code on the server of `onPort` (0: the fixture's).
    Station Enrol(const std::string& name, int onPort = 0) {
        const Variant made = Organiser("SetEstacao", Of(kList, {name}));
        EXPECT_TRUE(made.isArray()) << made.toJson();
        if (!made.isArray()) return {};
        const Reply in =
            Api("POST", "entrar", json{{"codigo", made[1].asString()}}.dump(), "", onPort);
        EXPECT_EQ(in.status, 200) << in.text;
        return {in.body.value("token", ""), made[0].toInt(), onPort ? onPort : port};
    }

    std::int64_t Version(const Station& s) { return Get(s, "lista").body.value("versao", -1); }
    std::string Presence(const std::string& nr) {
        const DataPacket list = Guests(kList);
        for (std::size_t r = 0; r < list.rows().size(); ++r)
            if (Cell(list, r, "NRLISTACONVOREV") == Variant(nr))
                return Cell(list, r, "IDCONVPRESEOREV").toString();
        return "?";
    }
    // Until `n` station calls wait on the fixture's server (at most 10 s).
    void WaitForWaiting(std::size_t n) {
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (Waiting() < n && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(5ms);
        ASSERT_EQ(Waiting(), n);
    }
};

TEST_F(ReceptionTest, TheOrganiserEnablesAListAndEnrolsStationsWithOneTimeCodes) {
    EXPECT_EQ(Cell(Organiser("GetRecepcao", Of(kList)).asPacket(), 0, "IDRECEPCAO"), Variant("N"));
    EXPECT_EQ(Organiser("SetEstacao", Of(kList, {"Portaria 1"})).errorMessage(),
              "Habilite a recepção desta lista antes de cadastrar estações.");
    EXPECT_EQ(
        Organiser("GetRecepcao", Of({"0001", "0000000404", "01"})).errorMessage(),
        "A lista de convidados (filial 0001, orçamento 0000000404, sequência 01) não existe.");
    Enable();

    const Variant made = Organiser("SetEstacao", Of(kList, {"Portaria 1"}));
    ASSERT_TRUE(made.isArray()) << made.toJson();
    const std::string code = made[1].asString();
    EXPECT_TRUE(std::regex_match(code, std::regex("[ABCDEFGHJKMNPQRSTUVWXYZ23456789]{10}")));
    EXPECT_EQ(Organiser("SetEstacao", Of(kList, {" PORTARIA 1 "})).errorMessage(),
              "Já existe uma estação com este nome nesta lista.");
    for (const std::string& bad : {std::string(), std::string("   "), std::string(31, 'x')})
        EXPECT_EQ(Organiser("SetEstacao", Of(kList, {bad})).errorMessage(),
                  "O nome da estação deve ter de 1 a 30 caracteres.");
    // Only the code's digest is kept.
    EXPECT_EQ(Count("SELECT COUNT(*) FROM RECEPESTACAO WHERE DSCODIGO = '" + code + "'"), 0);
    EXPECT_EQ(Cell(Organiser("GetEstacoes", Of(kList)).asPacket(), 0, "IDSITUACAO"), Variant("P"));

    EXPECT_EQ(Api("POST", "entrar", R"({"codigo": "AAAAAAAAAA"})", "").erro(),
              "Código inválido, já usado ou vencido.");
    // Typed in lower case with a blank and a hyphen, as a person might.
    std::string typed = code.substr(0, 5) + "- " + code.substr(5);
    for (char& c : typed) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const Reply in = Api("POST", "entrar", json{{"codigo", typed}}.dump(), "");
    ASSERT_EQ(in.status, 200) << in.text;
    EXPECT_EQ(in.body["estacao"], "Portaria 1");
    EXPECT_EQ(in.body["lista"], (json{{"filial", "0001"},
                                      {"orcamento", "0000000002"},
                                      {"sequencia", "01"},
                                      {"evento", "Casamento - Buffet Aurora - 19/12/2026"}}));
    const Reply twice = Api("POST", "entrar", json{{"codigo", code}}.dump(), "");
    EXPECT_EQ(twice.status, 401);
    EXPECT_EQ(twice.erro(), "Código inválido, já usado ou vencido.");
    const DataPacket stations = Organiser("GetEstacoes", Of(kList)).asPacket();
    EXPECT_EQ(Cell(stations, 0, "IDSITUACAO"), Variant("A"));
    EXPECT_FALSE(Cell(stations, 0, "DTULTIMOACESSO").isNull());

    // A code past its 24 hours.
    const Variant late = Organiser("SetEstacao", Of(kList, {"Portaria 2"}));
    Exec("UPDATE RECEPESTACAO SET DTVALIDADE = '2000-01-01T00:00:00' WHERE CDESTACAO = " +
         std::to_string(late[0].toInt()));
    EXPECT_EQ(Api("POST", "entrar", json{{"codigo", late[1].asString()}}.dump(), "").status, 401);

    const Station station{in.body["token"], made[0].toInt(), port};
    const Reply list = Get(station, "lista");
    ASSERT_EQ(list.status, 200) << list.text;
    ASSERT_EQ(list.body["convidados"].size(), 3u);
    EXPECT_EQ(list.body["convidados"][1], (json{{"nr", "00002"},
                                                {"nome", "João da Conceição"},
                                                {"rg", ""},
                                                {"doc", ""},
                                                {"tel", ""},
                                                {"cel", ""},
                                                {"tratamento", "Sr."},
                                                {"especial", false},
                                                {"contrato", false},
                                                {"porta", false},
                                                {"quantidade", 5},
                                                {"chegaram", 0},
                                                {"ultima", nullptr}}));
    EXPECT_EQ(list.body["convidados"][2]["especial"], true);
    EXPECT_EQ(list.body["convidados"][2]["rg"], "12.345.678-9");
    const DataPacket totals = Organiser("GetRecepcao", Of(kList)).asPacket();
    EXPECT_EQ(Cell(totals, 0, "IDRECEPCAO"), Variant("S"));
    EXPECT_EQ(Cell(totals, 0, "QTCONVIDADOS"), Variant(3));
    EXPECT_EQ(Cell(totals, 0, "QTPESSOAS"), Variant(7));
}

TEST_F(ReceptionTest, ACheckInIsTakenOnceAndAPartyNeverPastItsSize) {
    Enable();
    const Station a = Enrol("Portaria 1");
    const Reply first = CheckIn(a, "req-1", "00002", 3);
    ASSERT_EQ(first.status, 200) << first.text;
    EXPECT_EQ(first.body["ok"], true);
    EXPECT_EQ(first.body["convidado"]["chegaram"], 3);
    EXPECT_EQ(first.body["convidado"]["ultima"]["estacao"], "Portaria 1");
    // The same request again (a retry): the same answer, nothing counted.
    const Reply again = CheckIn(a, "req-1", "00002", 3);
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(again.body["versao"], first.body["versao"]);
    EXPECT_EQ(again.body["convidado"]["chegaram"], 3);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM RECEPENTRADA"), 1);
    EXPECT_EQ(CheckIn(a, "req-1", "00001", 1).status, 409);  // the id of another guest

    const Reply tooMany = CheckIn(a, "req-2", "00002", 3);
    EXPECT_EQ(tooMany.status, 409);
    EXPECT_EQ(tooMany.body["ok"], false);
    EXPECT_TRUE(std::regex_match(
        tooMany.erro(),
        std::regex("Só faltam 2 de 5: já registrado às [0-9]{2}:[0-9]{2} na estação Portaria 1")))
        << tooMany.erro();
    EXPECT_EQ(tooMany.body["convidado"]["chegaram"], 3);
    EXPECT_EQ(CheckIn(a, "req-3", "00002").body["convidado"]["chegaram"], 5);  // the rest
    EXPECT_TRUE(CheckIn(a, "req-4", "00002", 1).erro().starts_with("Já registrado às "));

    EXPECT_EQ(CheckIn(a, "req-5", "00001", 0).status, 400);
    EXPECT_EQ(Post(a, "entrada", json{{"id", "req-6"}, {"nr", "00001"}, {"pessoas", 1.5}}).status,
              400);
    EXPECT_EQ(CheckIn(a, "req-7", "00404").erro(), "Convidado 00404 não está na lista.");
    EXPECT_EQ(Post(a, "entrada", json{{"nr", "00001"}}).status, 400);
    EXPECT_EQ(Api("POST", "entrada", "[1]", a.token).status, 400);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM RECEPENTRADA"), 2);

    EXPECT_EQ(Presence("00002"), "S");
    EXPECT_EQ(Presence("00001"), "N");
    const Reply counts = Get(a, "contagens");
    EXPECT_EQ(counts.body, (json{{"convidados", 3},
                                 {"pessoas", 7},
                                 {"chegaram", 5},
                                 {"faltam", 2},
                                 {"estacoes", {{{"nome", "Portaria 1"}, {"chegaram", 5}}}}}));
    // The desktop's save raises the list's version too.
    const std::int64_t before = Version(a);
    AddGuests({NewGuest(kList, "Davi Rocha")});
    EXPECT_GT(Version(a), before);
}

TEST_F(ReceptionTest, AStationUndoesOnlyItsOwnCheckIns) {
    Enable();
    const Station a = Enrol("Portaria 1"), b = Enrol("Portaria 2");
    ASSERT_EQ(CheckIn(a, "a-1", "00001").status, 200);
    EXPECT_EQ(Presence("00001"), "S");
    const Reply other = Post(b, "desfazer", {{"id", "b-1"}, {"entrada", "a-1"}});
    EXPECT_EQ(other.status, 403);
    EXPECT_EQ(other.erro(),
              "Só a estação que registrou a entrada pode desfazê-la (estação Portaria 1).");

    const Reply undo = Post(a, "desfazer", {{"id", "a-2"}, {"entrada", "a-1"}});
    ASSERT_EQ(undo.status, 200) << undo.text;
    EXPECT_EQ(undo.body["convidado"]["chegaram"], 0);
    EXPECT_TRUE(undo.body["convidado"]["ultima"].is_null());
    EXPECT_EQ(Presence("00001"), "N");
    EXPECT_EQ(Post(a, "desfazer", {{"id", "a-2"}, {"entrada", "a-1"}}).body["versao"],
              undo.body["versao"]);
    EXPECT_EQ(Post(a, "desfazer", {{"id", "a-3"}, {"entrada", "a-1"}}).erro(),
              "Esta entrada já foi desfeita.");
    EXPECT_EQ(Post(a, "desfazer", {{"id", "a-4"}, {"entrada", "nenhuma"}}).status, 404);
    EXPECT_EQ(CheckIn(a, "a-5", "00001").body["convidado"]["chegaram"], 1);
    EXPECT_EQ(Get(a, "contagens").body["chegaram"], 1);
}

TEST_F(ReceptionTest, AGuestAddedAtTheDoorKeepsTheListsRules) {
    Enable();
    const Station a = Enrol("Portaria 1");
    const json door{
        {"id", "n-1"}, {"nome", "  Zé da Porta "}, {"rg", "55.555.555-5"}, {"pessoas", 2}};
    const Reply added = Post(a, "novo", door);
    ASSERT_EQ(added.status, 200) << added.text;
    EXPECT_EQ(added.body["convidado"]["nr"], "00004");
    EXPECT_EQ(added.body["convidado"]["nome"], "Zé da Porta");
    EXPECT_EQ(added.body["convidado"]["porta"], true);
    EXPECT_EQ(added.body["convidado"]["quantidade"], 2);
    EXPECT_EQ(added.body["convidado"]["chegaram"], 2);
    EXPECT_FALSE(added.body.contains("existente"));
    EXPECT_EQ(Post(a, "novo", door).body["convidado"]["nr"], "00004");  // once only

    // A name on the list, however typed, is that guest checked in.
    const Reply found = Post(a, "novo", {{"id", "n-2"}, {"nome", "ANA souza"}});
    ASSERT_EQ(found.status, 200) << found.text;
    EXPECT_EQ(found.body["existente"], true);
    EXPECT_EQ(found.body["convidado"]["nr"], "00001");
    EXPECT_EQ(found.body["convidado"]["chegaram"], 1);
    EXPECT_EQ(
        Post(a, "novo", {{"id", "n-3"}, {"nome", "Outra Pessoa"}, {"rg", "12345678-9"}}).erro(),
        "R.G. já cadastrado nesta lista, para o convidado 00003 (Carla Dias).");
    EXPECT_EQ(Post(a, "novo", {{"id", "n-4"}, {"nome", "   "}}).status, 400);
    EXPECT_EQ(Post(a, "novo", {{"id", "n-5"}, {"nome", std::string(51, 'x')}}).status, 400);

    const DataPacket list = Guests(kList);
    ASSERT_EQ(list.rows().size(), 4u);
    EXPECT_EQ(Cell(list, 3, "IDCONVPRESEOREV"), Variant("S"));
    EXPECT_EQ(Cell(list, 3, "QUANTIDADE"), Variant(2.0));
    AddGuests({NewGuest(kList, "Depois da Porta")});  // numbered after the door's
    EXPECT_EQ(Column(Guests(kList), "NRLISTACONVOREV").back(), "00005");
}

TEST_F(ReceptionTest, OfflineCheckInsAreFactsKeptWithTheirConflict) {
    Enable();
    const Station a = Enrol("Portaria 1"), b = Enrol("Portaria 2");
    ASSERT_EQ(CheckIn(a, "a-1", "00001").status, 200);
    const Reply late = Post(b, "entrada",
                            {{"id", "b-1"},
                             {"nr", "00001"},
                             {"offline", true},
                             {"quando", "2026-12-19T20:41:07-03:00"}});
    ASSERT_EQ(late.status, 200) << late.text;
    EXPECT_EQ(late.body["ok"], true);
    EXPECT_NE(late.body.value("conflito", "").find("na estação Portaria 1"), std::string::npos);
    EXPECT_EQ(late.body["convidado"]["chegaram"], 1);  // counted once
    // A party checked in at two doors while apart: never past its size.
    EXPECT_FALSE(CheckIn(b, "b-2", "00002", 4, true).body.contains("conflito"));
    const Reply past = CheckIn(a, "a-2", "00002", 3, true);
    EXPECT_TRUE(past.body.value("conflito", "").find("Só faltam 1 de 5") != std::string::npos)
        << past.text;
    EXPECT_EQ(past.body["convidado"]["chegaram"], 5);
    EXPECT_EQ(Get(a, "contagens").body["chegaram"], 6);

    const DataPacket conflicts = Organiser("GetConflitos", Of(kList)).asPacket();
    ASSERT_EQ(conflicts.rows().size(), 2u);
    EXPECT_EQ(Column(conflicts, "NMESTACAO"),
              (std::vector<std::string>{"Portaria 1", "Portaria 2"}));
    EXPECT_EQ(Cell(conflicts, 1, "NMLISTACONVOREV"), Variant("Ana Souza"));
    EXPECT_EQ(Cell(conflicts, 1, "QTPESSOAS"), Variant(1));
    EXPECT_EQ(Cell(conflicts, 1, "DSCONFLITO"), Variant(late.body["conflito"].get<std::string>()));
}

TEST_F(ReceptionTest, TheChangeFeedDeliversAnotherStationsCheckInHoldingNoWorker) {
    // Fewer workers than waiting stations: a wait holds none.
    limits.workerThreads = 2;
    longestWait = 1500ms;
    RestartServer();
    Enable();
    const Station a = Enrol("Portaria 1"), b = Enrol("Portaria 2");
    const std::int64_t v = Version(a);
    std::vector<std::future<Reply>> waits;
    for (int i = 0; i < 5; ++i)
        waits.push_back(std::async(std::launch::async,
                                   [&] { return Get(a, "mudancas?desde=" + std::to_string(v)); }));
    WaitForWaiting(5);
    ASSERT_EQ(CheckIn(b, "b-1", "00003").status, 200);
    for (auto& wait : waits) {
        const Reply changes = wait.get();
        ASSERT_EQ(changes.status, 200) << changes.text;
        EXPECT_GT(changes.body["versao"].get<std::int64_t>(), v);
        EXPECT_EQ(changes.body["completa"], false);
        ASSERT_EQ(changes.body["convidados"].size(), 1u);
        EXPECT_EQ(changes.body["convidados"][0]["nr"], "00003");
        EXPECT_EQ(changes.body["convidados"][0]["chegaram"], 1);
        EXPECT_EQ(changes.body["convidados"][0]["ultima"]["estacao"], "Portaria 2");
    }
    // A desktop save: the changes are not known guest by guest, the whole
    // list comes.
    const std::int64_t v2 = Version(a);
    auto whole = std::async(std::launch::async,
                            [&] { return Get(a, "mudancas?desde=" + std::to_string(v2)); });
    WaitForWaiting(1);
    AddGuests({NewGuest(kList, "Davi Rocha")});
    const Reply all = whole.get();
    EXPECT_EQ(all.body["completa"], true);
    EXPECT_EQ(all.body["convidados"].size(), 4u);
    // Nothing new in its time: an empty answer at the same version.
    const std::int64_t v3 = all.body["versao"];
    const Reply none = Get(a, "mudancas?desde=" + std::to_string(v3));
    EXPECT_EQ(none.body, (json{{"versao", v3},
                               {"convidados", json::array()},
                               {"removidos", json::array()},
                               {"completa", false}}));
    EXPECT_EQ(Get(a, "mudancas?desde=x").status, 400);
}

TEST_F(ReceptionTest, ARevokedStationOrAListTurnedOffIsRefused) {
    Enable();
    const Station a = Enrol("Portaria 1"), b = Enrol("Portaria 2");
    const std::int64_t v = Version(a);
    auto wait = std::async(std::launch::async,
                           [&] { return Get(a, "mudancas?desde=" + std::to_string(v)); });
    WaitForWaiting(1);
    EXPECT_EQ(Organiser("SetRevogaEstacao", {Variant(a.id)}), Variant(true));
    const Reply woken = wait.get();  // the waiting call is refused
    EXPECT_EQ(woken.status, 401);
    EXPECT_EQ(woken.erro(), "Estação não autorizada: o acesso desta estação foi revogado.");
    EXPECT_EQ(Get(a, "lista").status, 401);
    EXPECT_EQ(CheckIn(a, "a-1", "00001").status, 401);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM RECEPENTRADA"), 0);
    EXPECT_EQ(Cell(Organiser("GetEstacoes", Of(kList)).asPacket(), 0, "IDSITUACAO"), Variant("R"));
    EXPECT_EQ(Organiser("SetRevogaEstacao", {Variant("999")}).errorMessage(),
              "Estação 999 não encontrada.");
    EXPECT_EQ(Get(b, "lista").status, 200);

    Enable("N");
    EXPECT_EQ(Get(b, "lista").erro(),
              "Estação não autorizada: a recepção desta lista está desligada.");
    Enable("S");
    EXPECT_EQ(Get(b, "lista").status, 200);
    for (const std::string& token : {std::string(), std::string("nada"), std::string("Bearer")})
        EXPECT_EQ(Api("GET", "lista", "", token).status, 401) << token;
    Enrol("Portaria 1");  // the name of a revoked station is free again
}

TEST_F(ReceptionTest, TwoStationsOnTwoServersCountAGuestOnce) {
    Enable();
    const int second = StartSecondServer();
    const Station a = Enrol("Portaria 1"), b = Enrol("Portaria 2", second);
    // Every station taps at once: 00001 (one person) from 16 requests, the
    // party 00002 (five) from 12 requests of one person each.
    std::atomic<int> single{0}, party{0}, other{0};
    std::vector<std::thread> taps;
    for (int i = 0; i < 28; ++i)
        taps.emplace_back([&, i] {
            const Station& s = i % 2 ? b : a;
            const bool one = i < 16;
            const Reply r = CheckIn(s, "t-" + std::to_string(i), one ? "00001" : "00002", 1);
            if (r.status == 200 && r.body["ok"] == true)
                ++(one ? single : party);
            else if (r.status != 409)
                ++other;
        });
    for (std::thread& t : taps) t.join();
    EXPECT_EQ(single, 1);
    EXPECT_EQ(party, 5);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(Count("SELECT SUM(QTPESSOAS) FROM RECEPENTRADA WHERE NRLISTACONVOREV = '00001'"), 1);
    EXPECT_EQ(Count("SELECT SUM(QTPESSOAS) FROM RECEPENTRADA WHERE NRLISTACONVOREV = '00002'"), 5);
    EXPECT_EQ(Get(b, "contagens").body["chegaram"], 6);
}

TEST_F(ReceptionTest, AStationSeesACheckInTakenByAnotherServer) {
    Enable();
    const int second = StartSecondServer();
    const Station a = Enrol("Portaria 1"), b = Enrol("Portaria 2", second);
    const std::int64_t v = Version(a);
    auto wait = std::async(std::launch::async,
                           [&] { return Get(a, "mudancas?desde=" + std::to_string(v)); });
    WaitForWaiting(1);
    ASSERT_EQ(CheckIn(b, "b-1", "00002", 2).status, 200);  // on the other server
    const Reply changes = wait.get();
    ASSERT_EQ(changes.status, 200) << changes.text;
    const json guest = guestIn(changes.body["convidados"], "00002");
    ASSERT_FALSE(guest.is_null()) << changes.text;
    EXPECT_EQ(guest["chegaram"], 2);
    EXPECT_EQ(guest["ultima"]["estacao"], "Portaria 2");
}

// --- The station's page ---------------------------------------------------

namespace {

std::string gunzip(const std::string& data) {
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) return {};
    std::string out(1 << 20, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return result == Z_STREAM_END ? out : std::string("(inválido)");
}

}  // namespace

class StationPageTest : public ServerFixture {
protected:
    corvana::test::HttpReply Fetch(const std::string& path,
                                   corvana::test::HttpTestClient::Headers headers = {},
                                   const std::string& verb = "GET") {
        corvana::test::HttpTestClient client(port);
        return client.Request(verb, path, "", headers, 30s);
    }
};

TEST_F(StationPageTest, ThePageIsServedCompressedRevalidatedAndConfined) {
    std::string page = "<!doctype html><html lang=\"pt-BR\"><title>Recepção</title>";
    for (int i = 0; i < 40; ++i) page += "<p>Convidado " + std::to_string(i) + "</p>";
    const std::string png("\x89PNG\r\n\x1a\n\0\0", 10);
    assets = {{"index.html", page},
              {"app.js", "console.log('recepção');"},
              {"estilo.css", "body { margin: 0 }"},
              {"manifest.webmanifest", "{}"},
              {"icone.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>"},
              {"icones/192.png", png}};
    // The server's own token is not asked for the page.
    access.token = "segredo-do-servidor";
    RestartServer();

    const auto zipped = Fetch("/recepcao", {{"Accept-Encoding", "br, gzip;q=0.8"}});
    ASSERT_EQ(zipped.status, 200) << zipped.body;
    EXPECT_EQ(zipped.Header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(zipped.Header("Content-Encoding"), "gzip");
    EXPECT_EQ(gunzip(zipped.body), page);
    EXPECT_LT(zipped.body.size(), page.size());
    EXPECT_EQ(zipped.Header("Cache-Control"), "no-cache");
    EXPECT_EQ(zipped.Header("Vary"), "Accept-Encoding");
    EXPECT_EQ(zipped.Header("Content-Security-Policy"),
              evt::server::reception::kContentSecurityPolicy);
    EXPECT_TRUE(zipped.Header("Content-Security-Policy").starts_with("default-src 'self'"));
    const std::string etag = zipped.Header("ETag");
    EXPECT_FALSE(etag.empty());

    const auto plain = Fetch("/recepcao/", {{"Accept-Encoding", "gzip;q=0"}});
    EXPECT_EQ(plain.body, page);
    EXPECT_EQ(plain.Header("Content-Encoding"), "");
    EXPECT_NE(plain.Header("ETag"), etag);

    // Revalidated: the browser's copy is still good.
    const auto same = Fetch("/recepcao", {{"Accept-Encoding", "gzip"}, {"If-None-Match", etag}});
    EXPECT_EQ(same.status, 304);
    EXPECT_EQ(same.body, "");
    EXPECT_EQ(same.Header("ETag"), etag);
    EXPECT_EQ(Fetch("/recepcao", {{"If-None-Match", "\"outra\""}}).status, 200);

    const std::pair<const char*, const char*> types[] = {
        {"/recepcao/app.js", "application/javascript; charset=utf-8"},
        {"/recepcao/estilo.css", "text/css; charset=utf-8"},
        {"/recepcao/manifest.webmanifest", "application/manifest+json; charset=utf-8"},
        {"/recepcao/icone.svg", "image/svg+xml"},
        {"/recepcao/icones/192.png", "image/png"}};
    for (const auto& [path, type] : types) {
        const auto file = Fetch(path);
        EXPECT_EQ(file.status, 200) << path;
        EXPECT_EQ(file.Header("Content-Type"), type) << path;
    }
    EXPECT_EQ(Fetch("/recepcao/icones/192.png").body, png);
    EXPECT_EQ(Fetch("/recepcao/nada.js").status, 404);
    EXPECT_EQ(Fetch("/recepcao/", {}, "HEAD").Header("Content-Length"),
              std::to_string(page.size()));
    EXPECT_EQ(Fetch("/recepcao", {}, "DELETE").status, 405);
    // The modules still ask for the server's token; the station's calls
    // take a station's token and no other.
    EXPECT_EQ(Fetch("/evt07800.rdmListConv").status, 401);
    EXPECT_EQ(
        Fetch("/recepcao/api/lista", {{"Authorization", "Bearer segredo-do-servidor"}}).status,
        401);

    // Built without the page's folder: nothing to serve.
    assets.clear();
    RestartServer();
    EXPECT_EQ(Fetch("/recepcao").status, 404);
}
