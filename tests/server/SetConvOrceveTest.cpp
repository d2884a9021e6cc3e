// SetConvOrceve over HTTP: numbering, the list's unique rules, all-or-nothing
// deltas, optimistic refusals and clients saving at the same moment.
#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "ListConvTestSupport.h"
#include "storage/ListLock.h"

using namespace listconv_test;

namespace {
const std::string kChangedByOther =
    "foi alterado ou excluído por outro usuário. Recarregue a lista.";
using Texts = std::vector<std::string>;
}  // namespace

TEST_F(ListConvTest, NewGuestsTakeTheNextNumberOfTheirList) {
    AddGuests({NewGuest(kList, "Ana Souza"), NewGuest(kList, "Bruno Lima"),
               NewGuest(kList, "Carla Dias")});
    const DataPacket list = Guests(kList);
    EXPECT_EQ(Column(list, "NRLISTACONVOREV"), (Texts{"00001", "00002", "00003"}));
    // After the highest number, not into a gap.
    Save(Delta().Delete(list.rows()[1]).Insert(NewGuest(kList, "Davi Rocha")));
    EXPECT_EQ(Column(Guests(kList), "NRLISTACONVOREV"), (Texts{"00001", "00003", "00004"}));
    AddGuests({NewGuest(kOtherSequence, "Ana Souza")});
    EXPECT_EQ(Column(Guests(kOtherSequence), "NRLISTACONVOREV"), Texts{"00001"});
}

TEST_F(ListConvTest, NameRgInscriptionAndOrderAreUniqueWithinTheList) {
    const Values documents = {{"NRRGLISTAOREV", "12.345.678-9"},
                              {"NRINSJURCLILISCONV", "529.982.247-25"},
                              {"NRORDEMEXIBCONTRAT", "1"}};
    AddGuests({NewGuest(kList, "José da Silva", documents)});
    EXPECT_EQ(Refusal(Delta().Insert(NewGuest(kList, " JOSÉ DA SILVA "))),
              "Convidado 'JOSÉ DA SILVA': nome já cadastrado nesta lista.");
    // Accents do not tell names apart, whether precomposed or typed as a mark
    // (which the refusal shows as it would be stored, composed).
    for (const std::string twin : {"Jose da Silva", "JOSÉ da Silva", "Jôse da Sílva"})
        EXPECT_EQ(Refusal(Delta().Insert(NewGuest(kList, twin))),
                  "Convidado '" + twin + "': nome já cadastrado nesta lista.");
    EXPECT_EQ(Refusal(Delta().Insert(NewGuest(kList, "JOSE\xCC\x81 da Silva"))),
              "Convidado 'JOSÉ da Silva': nome já cadastrado nesta lista.");
    EXPECT_EQ(Refusal(Delta().Insert(NewGuest(kList, "Outro", {{"NRRGLISTAOREV", "12345678-9"}}))),
              "Convidado 'Outro': R.G. já cadastrado nesta lista.");
    EXPECT_EQ(
        Refusal(Delta().Insert(NewGuest(kList, "Outro", {{"NRINSJURCLILISCONV", "52998224725"}}))),
        "Convidado 'Outro': inscrição já cadastrada nesta lista.");
    EXPECT_EQ(Refusal(Delta().Insert(NewGuest(kList, "Outro", {{"NRORDEMEXIBCONTRAT", "01"}}))),
              "Convidado 'Outro': ordem de contrato já definida para outro convidado.");
    AddGuests({NewGuest(kOtherSequence, "José da Silva", documents)});  // another list

    // "*", empty and null are "not given": they never collide.
    Delta placeholders;
    int n = 0;
    for (const Variant& none : {Variant("*"), Variant(""), Variant("*"), Variant(""), Variant()})
        placeholders.Insert(NewGuest(
            kList, "Sem documento " + std::to_string(++n),
            {{"NRRGLISTAOREV", none}, {"NRINSJURCLILISCONV", none}, {"NRORDEMEXIBCONTRAT", none}}));
    Save(placeholders);
    EXPECT_EQ(Guests(kList).rows().size(), 6u);
}

TEST_F(ListConvTest, DeltaRefusedHalfWayLeavesTheListAsItWas) {
    AddGuests({NewGuest(kList, "Ana Souza"), NewGuest(kList, "Bruno Lima")});
    const DataPacket before = Guests(kList);
    const Row& ana = before.rows()[0];
    EXPECT_EQ(Refusal(Delta()
                          .Modify(ana, With(ana, {{"NRTELCONVEVEN", "(11) 4444-1234"}}))
                          .Delete(before.rows()[1])
                          .Insert(NewGuest(kList, "Carla Dias"))
                          .Insert(NewGuest(kList, "ana souza"))
                          .Insert(NewGuest(kList, "Davi Rocha"))),
              "Convidado 'ana souza': nome já cadastrado nesta lista.");
    EXPECT_EQ(Guests(kList), before);
    AddGuests({NewGuest(kList, "Carla Dias")});  // no number was used up
    EXPECT_EQ(Column(Guests(kList), "NRLISTACONVOREV").back(), "00003");
}

TEST_F(ListConvTest, ValuesMovedBetweenGuestsInOneSaveAreCheckedAgainstTheFinalList) {
    AddGuests(
        {NewGuest(kList, "Ana Souza", {{"NRORDEMEXIBCONTRAT", "1"}, {"NRRGLISTAOREV", "111"}}),
         NewGuest(kList, "Bruno Lima", {{"NRORDEMEXIBCONTRAT", "2"}, {"NRRGLISTAOREV", "222"}}),
         NewGuest(kList, "Carla Dias")});
    const DataPacket before = Guests(kList);
    const Row &ana = before.rows()[0], &bruno = before.rows()[1];
    // Ana and Bruno swap orders and R.G.s; Carla's name passes to a new guest.
    Save(Delta()
             .Modify(ana, With(ana, {{"NRORDEMEXIBCONTRAT", "2"}, {"NRRGLISTAOREV", "222"}}))
             .Modify(bruno, With(bruno, {{"NRORDEMEXIBCONTRAT", "1"}, {"NRRGLISTAOREV", "111"}}))
             .Insert(NewGuest(kList, "CARLA DIAS"))
             .Delete(before.rows()[2]));
    const DataPacket after = Guests(kList);
    EXPECT_EQ(Column(after, "NRORDEMEXIBCONTRAT"), (Texts{"2", "1", "*"}));
    EXPECT_EQ(Column(after, "NRRGLISTAOREV"), (Texts{"222", "111", "*"}));
    EXPECT_EQ(Column(after, "NMLISTACONVOREV"), (Texts{"Ana Souza", "Bruno Lima", "CARLA DIAS"}));
    EXPECT_EQ(Column(after, "NRLISTACONVOREV"), (Texts{"00001", "00002", "00003"}));
}

TEST_F(ListConvTest, RowChangedOrDeletedByAnotherUserIsRefused) {
    AddGuests({NewGuest(kList, "Ana Souza", {{"NRTELCONVEVEN", Variant()}}),
               NewGuest(kList, "Bruno Lima")});
    const DataPacket read = Guests(kList);
    const Row &ana = read.rows()[0], &bruno = read.rows()[1];

    Exec(
        "UPDATE LISTACONVOREV SET DSEMAILCONVEVEN = 'ana@exemplo.com.br' WHERE NRLISTACONVOREV = "
        "'00001'");
    EXPECT_EQ(Refusal(Delta()
                          .Insert(NewGuest(kList, "Carla Dias"))
                          .Modify(ana, With(ana, {{"IDCONVPRESEOREV", "S"}}))),
              "Convidado 'Ana Souza' " + kChangedByOther);
    Exec("DELETE FROM LISTACONVOREV WHERE NRLISTACONVOREV = '00002'");
    EXPECT_EQ(Refusal(Delta().Delete(bruno)), "Convidado 'Bruno Lima' " + kChangedByOther);
    EXPECT_EQ(Refusal(Delta().Modify(bruno, With(bruno, {{"QUANTIDADE", 3.0}}))),
              "Convidado 'Bruno Lima' " + kChangedByOther);
    EXPECT_EQ(Column(Guests(kList), "NMLISTACONVOREV"), Texts{"Ana Souza"});  // Carla not kept

    // Reloaded, the change goes through: the null telephone matches as null.
    const Row fresh = Guests(kList).rows()[0];
    Save(Delta().Modify(fresh, With(fresh, {{"IDCONVPRESEOREV", "S"}})));
    EXPECT_EQ(Cell(Guests(kList), 0, "IDCONVPRESEOREV"), Variant("S"));
}

TEST_F(ListConvTest, GuestsThatCannotBeStoredAsSentAreRefused) {
    const std::string fifty(50, 'a');
    EXPECT_EQ(Refusal(Delta().Insert(NewGuest(kList, fifty + "b"))),
              "Convidado '" + fifty + "b': o nome tem 51 caracteres; o máximo é 50.");
    EXPECT_EQ(
        Refusal(Delta().Insert(NewGuest(kList, "Ana", {{"NRTELCONVEVEN", std::string(26, '9')}}))),
        "Convidado 'Ana': o campo telefone (NRTELCONVEVEN) tem 26 caracteres; o máximo é 25.");
    EXPECT_NE(Refusal(Delta().Insert(NewGuest(kList, "  "))), "");
    EXPECT_EQ(
        Refusal(Delta().Insert(NewGuest({"0001", "0000000002", "09"}, "Ana"))),
        "Convidado 'Ana': a lista de convidados (filial 0001, orçamento 0000000002, sequência 09) "
        "não existe.");
    EXPECT_TRUE(Guests(kList).rows().empty());

    std::string accented;  // characters count, not bytes
    for (int i = 0; i < 50; ++i) accented += "É";
    AddGuests({NewGuest(kList, accented)});
    const Row stored = Guests(kList).rows()[0];
    EXPECT_EQ(stored[3], Variant(accented));
    // A guest stays in its list under its number.
    EXPECT_NE(Refusal(Delta().Modify(stored, With(stored, {{"NRSEQORCAEVE", "02"}}))), "");
    EXPECT_NE(Refusal(Delta().Modify(stored, With(stored, {{"NRLISTACONVOREV", "00007"}}))), "");
    EXPECT_EQ(Guests(kList).rows()[0], stored);
}

// Texts a person cannot tell apart are one: a non-breaking space is a blank,
// a zero-width character nothing, an accent typed as a mark the composed
// letter, in the stored text and in the keys. What cannot be stored at all
// (a control character, a quantity out of range) refuses the whole save.
TEST_F(ListConvTest, LookAlikeTextsAreOneAndWhatCannotBeStoredIsRefused) {
    const std::string nbsp = "\xC2\xA0", zwsp = "\xE2\x80\x8B", wordJoiner = "\xE2\x81\xA0";
    AddGuests({NewGuest(kList, "Ana Silva", {{"NRRGLISTAOREV", "12.345.678-9"}}),
               NewGuest(kList, "Bia" + zwsp + "Souza"),
               NewGuest(kList, nbsp + "Jose\xCC\x81 Lima" + wordJoiner + " ",
                        {{"NRRGLISTAOREV", " 99" + nbsp + "88 "}})});
    EXPECT_EQ(Column(Guests(kList), "NMLISTACONVOREV"),
              (Texts{"Ana Silva", "BiaSouza", "José Lima"}));
    EXPECT_EQ(Cell(Guests(kList), 2, "NRRGLISTAOREV"), Variant("99 88"));

    const std::pair<std::string, std::string> twins[] = {
        {"Ana" + nbsp + "Silva", "Ana Silva"},
        {"Ana\xE2\x80\xAFSilva", "Ana Silva"},  // narrow no-break space
        {"BiaSouza", "BiaSouza"},
        {"Bia\xE2\x80\x8CSou\xEF\xBB\xBFza", "BiaSouza"},  // zero-width non-joiner, BOM
        {"JOSÉ LIMA", "JOSÉ LIMA"},
    };
    for (const auto& [sent, shown] : twins)
        EXPECT_EQ(Refusal(Delta().Insert(NewGuest(kList, sent))),
                  "Convidado '" + shown + "': nome já cadastrado nesta lista.");
    EXPECT_EQ(Refusal(Delta().Insert(NewGuest(
                  kList, "Outro", {{"NRRGLISTAOREV", "12" + nbsp + "345" + zwsp + "678 9"}}))),
              "Convidado 'Outro': R.G. já cadastrado nesta lista.");
    // The checks of the screen ask with the same keys.
    EXPECT_EQ(Column(Call("GetVd_Nome", {kList.branch, kList.budget, "ana" + nbsp + "silva",
                                         "99999", "12.345.678" + zwsp + "-9", kList.sequence})[1]
                         .asPacket(),
                     "NMLISTACONVOREV"),
              Texts{"Ana Silva"});
    for (const std::string& blank : {nbsp + zwsp, "\xE2\x80\x87" + wordJoiner + " "})
        EXPECT_EQ(Refusal(Delta().Insert(NewGuest(kList, blank))),
                  "Há um convidado sem nome na lista: informe o nome antes de gravar.");

    // Control characters, NUL included, in any text; the rest of the save goes
    // neither.
    const DataPacket before = Guests(kList);
    const Row& ana = before.rows()[0];
    const std::pair<Row, std::string> refused[] = {
        {NewGuest(kList, "Eva Reis", {{"NRTELCONVEVEN", "(11) 3333-1111\t"}}),
         "Convidado 'Eva Reis': o campo telefone contém um caractere de controle, que não pode "
         "ser gravado."},
        {NewGuest(kList, std::string("Eva\0Reis", 8)),
         "Convidado 'Eva\xEF\xBF\xBDReis': o campo nome contém um caractere de controle, que não "
         "pode ser gravado."},
        {NewGuest(kList, "Eva Reis", {{"DSEMAILCONVEVEN", "eva\xC2\x85@exemplo.com.br"}}),
         "Convidado 'Eva Reis': o campo e-mail contém um caractere de controle, que não pode ser "
         "gravado."},
        {NewGuest(kList, "Eva Reis", {{"NRRGLISTAOREV", "12\x7F"}}),
         "Convidado 'Eva Reis': o campo R.G. contém um caractere de controle, que não pode ser "
         "gravado."},
    };
    for (const auto& [guest, refusal] : refused)
        EXPECT_EQ(Refusal(Delta()
                              .Modify(ana, With(ana, {{"IDCONVPRESEOREV", "S"}}))
                              .Insert(NewGuest(kList, "Fábio Nunes"))
                              .Insert(guest)),
                  refusal);
    EXPECT_EQ(Refusal(Delta().Modify(ana, With(ana, {{"IDCONDICAOCONVEV", "NOIVA\x1B"}}))),
              "Convidado 'Ana Silva': o campo condição contém um caractere de controle, que não "
              "pode ser gravado.");

    // QUANTIDADE from 0 to 99,999; a fraction within the range (the field is
    // a float) is taken.
    for (const double outside : {-1.0, -0.5, 99999.5, 100000.0})
        EXPECT_EQ(Refusal(Delta().Insert(NewGuest(kList, "Gil Rocha", {{"QUANTIDADE", outside}}))),
                  "Convidado 'Gil Rocha': o campo quantidade deve ser um número de 0 a 99.999.")
            << outside;
    EXPECT_EQ(Refusal(Delta().Modify(ana, With(ana, {{"QUANTIDADE", 123456.0}}))),
              "Convidado 'Ana Silva': o campo quantidade deve ser um número de 0 a 99.999.");
    EXPECT_EQ(Guests(kList), before);
    AddGuests({NewGuest(kList, "Gil Rocha", {{"QUANTIDADE", 0.0}}),
               NewGuest(kList, "Hugo Alves", {{"QUANTIDADE", 99999.0}}),
               NewGuest(kList, "Iara Melo", {{"QUANTIDADE", 2.5}})});
    EXPECT_EQ(Cell(Guests(kList), 5, "QUANTIDADE"), Variant(2.5));
}

// Users of one site work through two application servers over one database
// (an SQLite file, or PostgreSQL as a site with several machines runs it):
// racing saves and imports end as they would on one server.
TEST_F(ListConvTest, ClientsSavingAtOnceOnTwoServersNeverBothWin) {
    AddGuests({NewGuest(kList, "Ana Souza")});
    const int ports[] = {port, StartSecondServer()};
    constexpr std::size_t kClients = 4;
    // Each on a connection of its own, half of them through each server.
    auto send = [&](std::size_t client, const char* method, const Variant& packet) {
        auto res = Raw("POST", std::string("/evt07800.rdmListConv/") + method,
                       Variant(Variant::Array{packet}).toJson(), "application/json",
                       std::chrono::seconds(60), ports[client % 2]);
        return res.status == 200 ? Variant::fromJson(res.body) : Variant("falha HTTP");
    };
    auto atOnce = [&](const std::function<void(std::size_t)>& work) {
        std::atomic<std::size_t> ready{0};
        std::vector<std::thread> clients;
        for (std::size_t c = 0; c < kClients; ++c) {
            clients.emplace_back([&, c] {
                for (++ready; ready < kClients;) std::this_thread::yield();
                work(c);
            });
        }
        for (auto& t : clients) t.join();
    };
    auto wins = [](const std::vector<Variant>& answers, const std::string& refusal) {
        for (const Variant& a : answers)
            if (a != Variant(true)) {
                EXPECT_EQ(a, Variant::serverError(refusal));
            }
        return std::count(answers.begin(), answers.end(), Variant(true));
    };
    for (int round = 0; round < 3; ++round) {
        const std::string name = "Convidado disputado " + std::to_string(round);
        AddGuests({NewGuest(kList, "Alvo " + std::to_string(round))});
        const DataPacket read = Guests(kList);
        const Row ana = read.rows()[0], target = read.rows().back();
        std::vector<Variant> inserted(kClients), modified(kClients), raced(kClients);
        atOnce([&](std::size_t c) {
            // Every client adds the same new name and changes the same guest;
            // the target is deleted by half of them and changed by the rest.
            inserted[c] = send(c, "SetConvOrceve", Delta().Insert(NewGuest(kList, name)).Packet());
            const std::string cell = "(11) 9" + std::to_string(round) + "00" + std::to_string(c);
            modified[c] = send(c, "SetConvOrceve",
                               Delta().Modify(ana, With(ana, {{"NRCELCONVEVEN", cell}})).Packet());
            raced[c] =
                send(c, "SetConvOrceve",
                     (c % 2 ? Delta().Delete(target)
                            : Delta().Modify(target, With(target, {{"NRCELCONVEVEN", cell}})))
                         .Packet());
        });
        EXPECT_EQ(wins(inserted, "Convidado '" + name + "': nome já cadastrado nesta lista."), 1);
        EXPECT_EQ(wins(modified, "Convidado 'Ana Souza' " + kChangedByOther), 1);
        const std::string alvo = "Convidado 'Alvo " + std::to_string(round) + "' ";
        EXPECT_EQ(wins(raced, alvo + kChangedByOther), 1);
    }
    // Two files with the same names imported at once: each name once, the
    // other file's line listed as refused.
    std::vector<Variant> imported(kClients);
    atOnce([&](std::size_t c) {
        DataPacket file({{"CDFILIAL", FieldType::String, 4},
                         {"NRORCAEVENTO", FieldType::String, 10},
                         {"NRSEQORCAEVE", FieldType::String, 2},
                         {"NRRGLISTAOREV", FieldType::String, 20},
                         {"NMLISTACONVOREV", FieldType::String, 80}});
        for (const char* n : {"Importado Um", "Importado Dois"})
            file.addRow({kList.branch, kList.budget, kList.sequence, "", n});
        imported[c] = send(c, "GetImpLista", Variant(file));
    });
    std::size_t refusedLines = 0;
    for (const Variant& answer : imported) {
        ASSERT_TRUE(answer.isPacket()) << answer.toJson();
        refusedLines += answer.asPacket().rowCount();
    }
    EXPECT_EQ(refusedLines, 2 * (kClients - 1));
    EXPECT_EQ(Count("SELECT COUNT(*) FROM LISTACONVOREV WHERE NMLISTACONVOREV LIKE 'Importado%'"),
              2);
    EXPECT_EQ(Count("SELECT COUNT(DISTINCT NMCHAVE) FROM LISTACONVOREV"),
              Count("SELECT COUNT(*) FROM LISTACONVOREV"));
    EXPECT_EQ(Count("SELECT COUNT(DISTINCT NRLISTACONVOREV) FROM LISTACONVOREV"),
              Count("SELECT COUNT(*) FROM LISTACONVOREV"));
}

// On PostgreSQL a writer locks the lists it writes to, not the database: a
// save to one list goes on while another list is being written, a save to
// that list waits for it, and a writer of the whole database (the
// demonstration data, a migration) waits for every list writer and they for
// it. An SQLite file has one writer whatever it writes.
TEST_F(ListConvTest, AWriterWaitsOnlyForWritersOfItsOwnList) {
    using evt::server::storage::Connection;
    using evt::server::storage::Transaction;
    if (!corvana::test::OnPostgres()) GTEST_SKIP() << "só no PostgreSQL: o SQLite tem um gravador";
    AddGuests({NewGuest(kList, "Ana Souza"), NewGuest(kOtherSequence, "Bia Lima")});
    // Another server's session, and whether some session waits for it.
    auto holder = db->Acquire();
    const long long holderPid = [&] {
        auto st = holder->Prepare("SELECT pg_backend_pid()");
        return st->Step() ? st->Int(0) : -1;
    }();
    auto waitUntilSomeoneWaits = [&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        const std::string sql = "SELECT COUNT(*) FROM pg_stat_activity WHERE " +
                                std::to_string(holderPid) + " = ANY(pg_blocking_pids(pid))";
        while (Count(sql) < 1) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "ninguém esperou a trava";
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    auto saveInBackground = [&](const Row& guest, Variant& answer) {
        return std::thread([this, guest, &answer] {
            answer = Call("SetConvOrceve", {Delta().Insert(guest).Packet()});
        });
    };

    // The other sequence's list held: a save to this one goes on (it would
    // wait the lock timeout and be refused as busy otherwise), a save to
    // that one waits for the holder's commit.
    auto held = std::make_unique<Transaction>(*holder, Connection::TransactionMode::WriteByKey);
    evt::server::storage::LockList(*holder, kOtherSequence.branch, kOtherSequence.budget,
                                   kOtherSequence.sequence);
    Save(Delta().Insert(NewGuest(kList, "Caio Reis")));
    Variant answer;
    std::thread waiting = saveInBackground(NewGuest(kOtherSequence, "Davi Melo"), answer);
    waitUntilSomeoneWaits();
    held->Commit();
    waiting.join();
    EXPECT_EQ(answer, Variant(true)) << answer.toJson();

    // A writer of the whole database waits for a list's writer...
    held = std::make_unique<Transaction>(*holder, Connection::TransactionMode::WriteByKey);
    evt::server::storage::LockList(*holder, kList.branch, kList.budget, kList.sequence);
    auto other = db->Acquire();
    std::thread whole([&] { Transaction(*other, Connection::TransactionMode::Write).Commit(); });
    waitUntilSomeoneWaits();
    held->Commit();
    whole.join();
    // ... and the lists' writers for it.
    held = std::make_unique<Transaction>(*holder, Connection::TransactionMode::Write);
    waiting = saveInBackground(NewGuest(kOtherSequence, "Eva Reis"), answer);
    waitUntilSomeoneWaits();
    held->Commit();
    waiting.join();
    EXPECT_EQ(answer, Variant(true)) << answer.toJson();
    EXPECT_EQ(Column(Guests(kOtherSequence), "NRLISTACONVOREV"),
              (Texts{"00001", "00002", "00003"}));
    EXPECT_EQ(Column(Guests(kList), "NRLISTACONVOREV"), (Texts{"00001", "00002"}));
}

TEST_F(ListConvTest, DeltaOfTheWrongShapeIsABadRequest) {
    auto refused = [&](const Variant& packet) {
        try {
            Call("SetConvOrceve", {packet});
        } catch (const corvana::Error& e) {
            return std::string(e.what());
        }
        return std::string("aceito");
    };
    DataPacket data(GuestFields());
    data.addRow(NewGuest(kList, "Ana Souza"));
    EXPECT_EQ(
        refused(Variant(data)),
        "HTTP 400: SetConvOrceve espera um pacote de alterações (delta), não um pacote de dados.");
    auto fields = GuestFields();
    fields.erase(fields.begin() + 3);
    EXPECT_EQ(refused(Variant(DataPacket(fields, DataPacket::Kind::Delta))),
              "HTTP 400: SetConvOrceve: o pacote não tem o campo NMLISTACONVOREV.");
    fields = GuestFields();
    fields[19].type = FieldType::String;
    EXPECT_EQ(refused(Variant(DataPacket(fields, DataPacket::Kind::Delta))),
              "HTTP 400: SetConvOrceve: o campo QUANTIDADE deve ser do tipo float, não string.");
    EXPECT_TRUE(Guests(kList).rows().empty());
}
