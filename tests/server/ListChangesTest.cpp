// A guest list brought up to date by its changes since the version a screen
// holds (GetConvOrceve with a version) shows what a whole reload shows: after
// the screen's own saves and deletes, another client's changes meanwhile, an
// import, a version the server no longer knows the changes since, and on a
// database kept from the schema before list versions.
#include <gtest/gtest.h>

#include "ListConvTestSupport.h"
#include "corvana/core/Corvana.h"
#include "corvana/net/TNetConnection.h"
#include "guestrecord/ListChanges.h"
#include "storage/ListVersion.h"
#include "storage/Schema.h"

namespace {

using corvana::ClientDataSet;
using corvana::Variant;
using evt::guestrecord::ListChanges;
using namespace listconv_test;

class ListChangesTest : public ListConvTest {
protected:
    // A screen's list: the dataset declared from the guest record, and the
    // version it holds.
    struct Screen {
        ClientDataSet list;
        std::optional<std::int64_t> version;
        Screen() {
            for (const corvana::FieldDef& f : GuestFields()) list.AddField(f.name, f.type, f.size);
        }
    };

    void SetUp() override {
        ListConvTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ConnectNet();
    }
    void TearDown() override {
        net.reset();
        ListConvTest::TearDown();
    }
    void ConnectNet() {
        net = std::make_unique<corvana::TNetConnection>(kServerName);
        net->SetHost("127.0.0.1");
        net->SetPort(port);
    }

    // GetConvOrceve with the version the screen holds (none: null), read as
    // the screen reads it.
    ListChanges Ask(const ListId& l, std::optional<std::int64_t> since) {
        Variant other;
        auto packed = net->CallData(
            "GetConvOrceve", {l.branch, l.budget, l.sequence, since ? Variant(*since) : Variant()},
            other);
        EXPECT_TRUE(packed && packed->readyToLoad) << "the guests are read packed";
        auto changes = evt::guestrecord::ReadListChanges(other, std::move(packed));
        if (!changes) throw corvana::Error("resposta inesperada: " + other.toJson());
        return std::move(*changes);
    }

    // What the screen was sent: rows, removed numbers, whether whole.
    struct Sent {
        std::size_t rows, removed;
        bool complete;
    };
    Sent Refresh(Screen& s, const ListId& l = {}) {
        ListChanges changes = Ask(l.branch.empty() ? kList : l, s.version);
        const Sent sent{changes.guests.rows.size(), changes.removed.size(), changes.complete};
        if (!changes.complete) {
            EXPECT_GE(changes.version, s.version.value_or(0));
        }
        s.version = changes.version;
        evt::guestrecord::ApplyListChanges(s.list, std::move(changes));
        return sent;
    }

    // The list as a whole reload gives it, through the call old screens make.
    std::string Whole(const ListId& l) {
        ClientDataSet whole;
        for (const corvana::FieldDef& f : GuestFields()) whole.AddField(f.name, f.type, f.size);
        Variant other;
        auto rows = net->CallData("GetConvOrceve", {l.branch, l.budget, l.sequence}, other);
        if (!rows) throw corvana::Error("resposta inesperada: " + other.toJson());
        whole.SetData(std::move(*rows));
        return Variant(whole.Data()).toJson();
    }
    void ExpectAsWhole(Screen& s, const ListId& l, const char* step) {
        EXPECT_EQ(Variant(s.list.Data()).toJson(), Whole(l)) << step;
    }

    // The screen's change log sent and merged, as its post does.
    void SaveScreen(Screen& s) {
        const Variant answer = Call("SetConvOrceve", {Variant(s.list.Delta())});
        ASSERT_EQ(answer, Variant(true)) << answer.toJson();
        s.list.MergeChangeLog();
    }

    void Type(Screen& s, const char* field, const Variant& value) {
        s.list.FieldByName(field).SetValue(value);
    }
    void AddOnScreen(Screen& s, const ListId& l, const std::string& name) {
        s.list.Append();
        for (const auto& [field, value] :
             std::initializer_list<std::pair<const char*, Variant>>{{"CDFILIAL", l.branch},
                                                                    {"NRORCAEVENTO", l.budget},
                                                                    {"NRSEQORCAEVE", l.sequence},
                                                                    {"NMLISTACONVOREV", name},
                                                                    {"IDTPTRATCONVESPEC", "Sr."},
                                                                    {"QUANTIDADE", 1.0}})
            Type(s, field, value);
        s.list.Post();
    }

    std::unique_ptr<corvana::TNetConnection> net;
};

TEST_F(ListChangesTest, ChangesSinceTheScreensVersionShowWhatAWholeReloadShows) {
    AddGuests({NewGuest(kList, "Ana Souza"), NewGuest(kList, "Bruno Lima"),
               NewGuest(kList, "Carla Dias"), NewGuest(kList, "Davi Rocha")});
    AddGuests({NewGuest(kOtherSequence, "Em Outra Lista")});
    Screen screen;
    EXPECT_TRUE(Refresh(screen).complete);  // no version held yet: the whole list
    ASSERT_EQ(screen.list.RecordCount(), 4);
    ExpectAsWhole(screen, kList, "carga inteira");

    // The screen's own new guest (no number on screen until the server's
    // row takes its place), then a change and a delete of its own.
    AddOnScreen(screen, kList, "Eva Martins");
    SaveScreen(screen);
    Sent sent = Refresh(screen);
    EXPECT_FALSE(sent.complete);
    EXPECT_EQ(sent.rows, 1u);
    ExpectAsWhole(screen, kList, "inclusão");
    ASSERT_TRUE(screen.list.Locate("NMLISTACONVOREV", Variant("Bruno Lima")));
    screen.list.Edit();
    Type(screen, "NRRGLISTAOREV", "12.345.678-9");
    screen.list.Post();
    ASSERT_TRUE(screen.list.Locate("NMLISTACONVOREV", Variant("Ana Souza")));
    screen.list.Delete();
    SaveScreen(screen);
    sent = Refresh(screen);
    EXPECT_EQ(sent.rows, 1u);
    EXPECT_EQ(sent.removed, 1u);
    ExpectAsWhole(screen, kList, "alteração e exclusão");

    // Another client meanwhile: a new guest, a change, a delete, an import;
    // another list's save is none of this list's changes.
    DataPacket now = Guests(kList);
    Save(Delta()
             .Insert(NewGuest(kList, "Fábio Nunes"))
             .Modify(now.rows().at(1), With(now.rows().at(1), {{"QUANTIDADE", 3.0}}))
             .Delete(now.rows().at(2)));
    AddGuests({NewGuest(kOtherSequence, "Outra Lista de Novo")});
    DataPacket file({{"CDFILIAL", corvana::FieldType::String, 4},
                     {"NRORCAEVENTO", corvana::FieldType::String, 10},
                     {"NRSEQORCAEVE", corvana::FieldType::String, 2},
                     {"NRRGLISTAOREV", corvana::FieldType::String, 20},
                     {"NMLISTACONVOREV", corvana::FieldType::String, 80}});
    for (const char* name : {"Importado Dois", "Importado Um", "Eva Martins"})
        file.addRow({kList.branch, kList.budget, kList.sequence, "", name});
    ASSERT_TRUE(Call("GetImpLista", {Variant(file)}).isPacket());
    AddOnScreen(screen, kList, "Gil Prado");
    SaveScreen(screen);
    sent = Refresh(screen);
    EXPECT_FALSE(sent.complete);
    EXPECT_EQ(sent.rows, 5u);  // new, changed, two imported, the screen's own
    EXPECT_EQ(sent.removed, 1u);
    ExpectAsWhole(screen, kList, "outro cliente e importação");
    sent = Refresh(screen);  // nothing since
    EXPECT_EQ(sent.rows + sent.removed, 0u);
    ExpectAsWhole(screen, kList, "nada mudou");

    // A version older than the removed numbers kept, or one this database
    // never gave (a copy restored from before it), brings the whole list.
    const std::int64_t held = *screen.version;
    Exec("UPDATE LISTACONVVERSAO SET NRVERSAOCONV = NRVERSAOCONV + " +
         std::to_string(evt::server::storage::kRemovalsKept) +
         " WHERE CDFILIAL = '0001' AND NRORCAEVENTO = '0000000002' AND NRSEQORCAEVE = '01'");
    now = Guests(kList);
    Save(Delta().Delete(now.rows().back()));
    EXPECT_TRUE(Refresh(screen).complete);
    ExpectAsWhole(screen, kList, "versão antiga");
    screen.version = held + 10 * evt::server::storage::kRemovalsKept;
    EXPECT_TRUE(Refresh(screen).complete);
    EXPECT_EQ(*screen.version, held + evt::server::storage::kRemovalsKept + 1);
    ExpectAsWhole(screen, kList, "versão desconhecida");

    // A list that does not exist is an empty one at version 0.
    Screen none;
    EXPECT_TRUE(Refresh(none, {"0001", "0000000002", "07"}).complete);
    EXPECT_EQ(none.version, 0);
    EXPECT_TRUE(none.list.IsEmpty());
}

// A database kept from the schema before list versions: its lists start at
// version 0 and are brought up to date by their changes from then on.
TEST_F(ListChangesTest, ADatabaseFromBeforeListVersionsIsBroughtUpToDateByItsChanges) {
    StopServer();
    db.reset();
    const corvana::test::TestDatabase older(dir, "anterior.db");
    evt::server::storage::Database::OpenOptions previous;
    previous.schemaVersion = evt::server::storage::CurrentSchemaVersion() - 1;
    evt::server::storage::Database::Open(older.Location(), previous)
        ->Acquire()
        ->ExecuteScript(
            "INSERT INTO FILIAL VALUES ('0001', 'Matriz');"
            "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO) VALUES ('0001', '0000000007');"
            "INSERT INTO ORCAEVENTOSEQ (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE) VALUES "
            "('0001', '0000000007', '01');"
            "INSERT INTO LISTACONVOREV (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRLISTACONVOREV, "
            "NMLISTACONVOREV, NMCHAVE, QUANTIDADE) VALUES "
            "('0001', '0000000007', '01', '00001', 'José da Silva', 'jose da silva', 1),"
            "('0001', '0000000007', '01', '00002', 'Ana Lima', 'ana lima', 2),"
            "('0001', '0000000007', '01', '00003', 'Rui Barros', 'rui barros', 1);");
    db = evt::server::storage::Database::Open(older.Location());
    StartServer();
    ConnectNet();
    const ListId list{"0001", "0000000007", "01"};

    Screen screen;
    EXPECT_TRUE(Refresh(screen, list).complete);
    EXPECT_EQ(screen.version, 0);
    ASSERT_EQ(screen.list.RecordCount(), 3);
    AddOnScreen(screen, list, "Nova Depois da Atualização");
    ASSERT_TRUE(screen.list.Locate("NMLISTACONVOREV", Variant("Ana Lima")));
    screen.list.Delete();
    SaveScreen(screen);
    const Sent sent = Refresh(screen, list);
    EXPECT_FALSE(sent.complete);
    EXPECT_EQ(sent.rows, 1u);
    EXPECT_EQ(sent.removed, 1u);
    ExpectAsWhole(screen, list, "depois da atualização do esquema");
    // The older database goes with this scope.
    CheckLists();
    checkListsAtEnd = false;
    net.reset();
    StopServer();
    db.reset();
}

}  // namespace
