// A guest taken from the client file through the inscription column's
// button, and the checks that leaving the name or inscription column runs.
#include "GuestScreen.h"

using corvana::DataSetState;
using corvana::Variant;

class LookupTest : public GuestScreen {
protected:
    // The list loaded and a new guest linked to a client with an address by
    // typing the client's inscription.
    Client NewGuestOfAClient() {
        const Client client = ClientWithAddresses(1);
        OpenList(kBudget);
        InsertRow();
        Type(QString::fromStdString(client.inscription));
        Press(Qt::Key_Tab);
        return client;
    }

    // The row of the client in the lookup's list (GetCliente "T"), from 1.
    int RowInClientList(const std::string& code) {
        corvana::TNetConnection other("evt07800.rdmListConv");
        other.SetHost("127.0.0.1");
        other.SetPort(port);
        const Variant answer = other.Call("GetCliente", {"T"});
        const corvana::DataPacket& clients = answer.asPacket();
        const int column = clients.requireField("CDCLIENTE");
        for (std::size_t i = 0; i < clients.rows().size(); ++i)
            if (clients.rows()[i][static_cast<std::size_t>(column)].toString() == code)
                return static_cast<int>(i) + 1;
        ADD_FAILURE() << "cliente " << code << " fora da lista";
        return 1;
    }
    // The user clicks the inscription column's button (Ctrl+Enter on it).
    void LookUp() {
        ClickColumn("NRINSJURCLILISCONV");
        Press(Qt::Key_Return, Qt::ControlModifier);
    }
    std::vector<std::string> Contacts() const {
        return {S("NRTELCONVEVEN"), S("NRCELCONVEVEN"), S("DSEMAILCONVEVEN")};
    }
    void TypeContacts() {
        TypeIn("NRTELCONVEVEN", "1122223333");
        TypeIn("NRCELCONVEVEN", "11988887777");
        TypeIn("DSEMAILCONVEVEN", "digitado@exemplo.com.br");
    }
    const std::vector<std::string> kTyped{"1122223333", "11988887777", "digitado@exemplo.com.br"};
};

TEST_F(LookupTest, CancellingTheDialogLeavesABrowsedRowUntouched) {
    OpenList(kBudget);
    const std::string name = S("NMLISTACONVOREV");
    services.search.ExpectCancel();
    LookUp();
    ASSERT_EQ(services.search.Calls().size(), 1u);
    EXPECT_EQ(services.search.Calls()[0],
              (corvana::services::ScriptedSearch::Call{
                  "Convidado|Não há convidado cadastrado como cliente.", false, true}));
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"GetCliente"}));
    EXPECT_EQ(tap->ArgsOf("GetCliente")[0].at(0), Variant("T"));
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Browse);
    EXPECT_EQ(S("NMLISTACONVOREV"), name);
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 0);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(LookupTest, PickingOnABrowsedRowEditsItAndTheListIsAskedOnEveryClick) {
    const Client client = ClientWithAddresses(2);
    const auto contacts = FirstContacts(client.code);
    const int pick = RowInClientList(client.code);
    OpenList(kBudget);
    const int row = f->cdsConvOrceve.RecNo();
    services.search.ExpectPick(pick);
    LookUp();

    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Edit);
    EXPECT_EQ(f->cdsConvOrceve.RecNo(), row);
    EXPECT_EQ(S("NRINSJURCLILISCONV"), client.inscription);
    EXPECT_EQ(S("NMLISTACONVOREV"), client.name);
    EXPECT_EQ(S("CDCLIENTELISTCONV"), client.code);
    EXPECT_EQ(Contacts(), contacts);
    EXPECT_EQ(tap->ArgsOf("GetEndeClie"), (std::vector<GuestServerTap::Args>{{client.code}}));
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 0);  // not posted

    // A client added meanwhile is in the next click's list.
    const int clients = f->cdsCliente.RecordCount();
    AddClient("900100", "52998224725", "Cliente Recém-Cadastrado", {});
    services.search.ExpectCancel();
    LookUp();
    EXPECT_EQ(f->cdsCliente.RecordCount(), clients + 1);
    EXPECT_EQ(tap->ArgsOf("GetCliente").size(), 2u);
    EXPECT_EQ(S("NMLISTACONVOREV"), client.name);  // the cancel changed nothing

    Confirm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();
    Row stored = StoredGuest(client.name);
    EXPECT_EQ(stored["CDCLIENTELISTCONV"], client.code);
    EXPECT_EQ(stored["NRTELCONVEVEN"], contacts[0]);
}

TEST_F(LookupTest, PickingOnAnInsertedRowKeepsItInserting) {
    const Client client = ClientWithAddresses(1);
    OpenList(kBudget);
    InsertRow();
    services.search.ExpectPick(RowInClientList(client.code));
    LookUp();
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Insert);
    EXPECT_EQ(S("NMLISTACONVOREV"), client.name);
    EXPECT_EQ(S("CDCLIENTELISTCONV"), client.code);
}

TEST_F(LookupTest, TheFirstAddressDeliveredGivesTheContactsAndNoAddressEmptiesThem) {
    // Inserted out of order: the server delivers them by ORDEM.
    const Client several =
        AddClient("900200", "39053344705", "Cliente Três Endereços",
                  {{3, "C", "1130003000", "11930003000", "terceiro@exemplo.com.br"},
                   {1, "R", "1130001000", "11930001000", "primeiro@exemplo.com.br"},
                   {2, "E", "1130002000", "11930002000", "segundo@exemplo.com.br"}});
    const Client none = AddClient("900201", "86288366757", "Cliente Sem Endereço", {});
    OpenList(kBudget);
    InsertRow();
    services.search.ExpectPick(RowInClientList(several.code));
    LookUp();
    EXPECT_EQ(Contacts(),
              (std::vector<std::string>{"1130001000", "11930001000", "primeiro@exemplo.com.br"}));

    TypeContacts();
    services.search.ExpectPick(RowInClientList(none.code));
    LookUp();
    EXPECT_EQ(S("NMLISTACONVOREV"), none.name);
    EXPECT_EQ(Contacts(), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(f->cdsEndeClie.RecordCount(), 0);
}

TEST_F(LookupTest, LeavingTheInscriptionColumnTakesTheClientsNameAndContacts) {
    const Client client = ClientWithAddresses(2);
    OpenList(kBudget);
    InsertRow();
    TypeIn("NMLISTACONVOREV", "Nome Digitado");
    TypeContacts();
    TypeIn("NRINSJURCLILISCONV", QString::fromStdString(client.inscription));
    ClickColumn("NRRGLISTAOREV");
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(Selected(), "NRRGLISTAOREV");
    EXPECT_EQ(S("NMLISTACONVOREV"), client.name);
    EXPECT_EQ(S("CDCLIENTELISTCONV"), client.code);
    EXPECT_EQ(Contacts(), FirstContacts(client.code));
}

// The contacts the user typed stay when the number belongs to no client; a
// client without address records still empties them.
TEST_F(LookupTest, AnInscriptionOfNoClientKeepsTheTypedContacts) {
    const Client none = AddClient("900300", "71428793860", "Cliente Sem Contato", {});
    OpenList(kBudget);
    InsertRow();
    TypeIn("NMLISTACONVOREV", "Convidado Sem Cadastro");
    TypeContacts();
    TypeIn("NRINSJURCLILISCONV", "123.456.789-09");
    Press(Qt::Key_Tab);
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(S("NRINSJURCLILISCONV"), "12345678909");
    EXPECT_EQ(S("NMLISTACONVOREV"), "Convidado Sem Cadastro");
    EXPECT_TRUE(F("CDCLIENTELISTCONV").IsNull());
    EXPECT_EQ(Contacts(), kTyped);
    EXPECT_TRUE(f->cdsEndeClie.Active());
    EXPECT_EQ(f->cdsEndeClie.RecordCount(), 0);

    TypeIn("NRINSJURCLILISCONV", QString::fromStdString(none.inscription));
    Press(Qt::Key_Tab);
    EXPECT_EQ(S("NMLISTACONVOREV"), none.name);
    EXPECT_EQ(Contacts(), (std::vector<std::string>{"", "", ""}));
}

// A guest linked to a client and then given an inscription that no client
// bears is linked no more: the client's code, contacts and trade name go,
// and it is saved with the name the user gives it. A guest never linked
// keeps and saves the contacts the user typed.
TEST_F(LookupTest, AnInscriptionOfNoClientEndsALinkButKeepsTypedContacts) {
    const Client client = NewGuestOfAClient();
    ASSERT_EQ(S("CDCLIENTELISTCONV"), client.code);
    ASSERT_EQ(S("NMLISTACONVOREV"), client.name);
    ClickColumn("NRINSJURCLILISCONV");
    Retype("123.456.789-09");
    Press(Qt::Key_Tab);
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(S("NRINSJURCLILISCONV"), "12345678909");
    for (const char* field : {"CDCLIENTELISTCONV", "NMLISTACONVOREV", "NRTELCONVEVEN",
                              "NRCELCONVEVEN", "DSEMAILCONVEVEN", "NMFANTCLIE"})
        EXPECT_TRUE(F(field).IsNull()) << field;
    ASSERT_EQ(Selected(), "NMLISTACONVOREV");
    Type("Convidado Desligado");
    Confirm();

    InsertRow();
    TypeIn("NMLISTACONVOREV", "Convidado Com Contatos");
    TypeContacts();
    TypeIn("NRINSJURCLILISCONV", "529.982.247-25");
    Press(Qt::Key_Tab);
    Confirm();
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 0);

    Row unlinked = StoredGuest("Convidado Desligado");
    ASSERT_FALSE(unlinked.empty());
    EXPECT_EQ(unlinked["NRINSJURCLILISCONV"], "12345678909");
    EXPECT_NE(unlinked["CDCLIENTELISTCONV"], client.code);
    EXPECT_EQ(unlinked["NRTELCONVEVEN"], "*");
    EXPECT_EQ(unlinked["NRCELCONVEVEN"], "*");
    EXPECT_EQ(unlinked["DSEMAILCONVEVEN"], "*");
    EXPECT_EQ(GuestsNamed(client.name), 0);
    Row typed = StoredGuest("Convidado Com Contatos");
    ASSERT_FALSE(typed.empty());
    EXPECT_EQ(typed["NRINSJURCLILISCONV"], "52998224725");
    EXPECT_EQ(typed["NRTELCONVEVEN"], kTyped[0]);
    EXPECT_EQ(typed["NRCELCONVEVEN"], kTyped[1]);
    EXPECT_EQ(typed["DSEMAILCONVEVEN"], kTyped[2]);
}

TEST_F(LookupTest, LeavingTheNameColumnDetachesAClientWhoseNameTheGuestNoLongerBears) {
    const Client client = NewGuestOfAClient();
    ASSERT_EQ(S("CDCLIENTELISTCONV"), client.code);
    ASSERT_EQ(Selected(), "NMLISTACONVOREV");
    Retype("Outra Pessoa");
    tap->Clear();
    Press(Qt::Key_Tab);
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"GetCliente"}));
    EXPECT_EQ(S("NMLISTACONVOREV"), "Outra Pessoa");
    for (const char* field : {"NRINSJURCLILISCONV", "CDCLIENTELISTCONV", "NRTELCONVEVEN",
                              "NRCELCONVEVEN", "DSEMAILCONVEVEN", "NMFANTCLIE"})
        EXPECT_TRUE(F(field).IsNull()) << field;
}

TEST_F(LookupTest, NoCheckRunsWithoutAnInscriptionOrOnABrowsedRow) {
    OpenList(kBudget);
    for (const char* column :
         {"NMLISTACONVOREV", "NRINSJURCLILISCONV", "NRRGLISTAOREV", "NMLISTACONVOREV"})
        ClickColumn(column);
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Browse);

    InsertRow();
    TypeIn("NMLISTACONVOREV", "Sem Inscrição");
    ClickColumn("NRINSJURCLILISCONV");
    ClickColumn("NRRGLISTAOREV");
    EXPECT_TRUE(CallNames().empty());
    EXPECT_TRUE(Errors().empty());

    // The button's handler does nothing off its column, and nothing on a
    // closed list.
    ClickColumn("NMLISTACONVOREV");
    f->dbgPadraoEditButtonClick(f->dbgPadrao);
    Click(f->sbtCancelar);
    FocusOn(f->listKey.edtSeq);
    ASSERT_FALSE(f->cdsConvOrceve.Active());
    f->dbgPadraoEditButtonClick(f->dbgPadrao);
    f->dbgPadraoColExit(f->dbgPadrao);
    EXPECT_TRUE(CallNames().empty());
    EXPECT_TRUE(services.search.Calls().empty());
}

TEST_F(LookupTest, AnInscriptionOnTheListIsRefusedWhenItsColumnIsLeft) {
    const Client client = ClientWithAddresses(1);
    ASSERT_EQ(AddAsAnotherUser(port, {{"NMLISTACONVOREV", "Já Tem a Inscrição"},
                                      {"NRINSJURCLILISCONV", client.inscription},
                                      {"CDCLIENTELISTCONV", client.code}}),
              Variant(true));
    OpenList(kBudget);
    InsertRow();
    TypeIn("NMLISTACONVOREV", "Quer a Mesma");
    TypeContacts();
    TypeIn("NRINSJURCLILISCONV", QString::fromStdString(client.inscription.substr(0, 3) + "." +
                                                        client.inscription.substr(3)));
    Press(Qt::Key_Tab);
    EXPECT_EQ(Errors(), (std::vector<std::string>{"Inscrição já cadastrada."}));
    EXPECT_EQ(Selected(), "NRINSJURCLILISCONV");
    EXPECT_EQ(S("NRINSJURCLILISCONV"), client.inscription);  // normalised before the refusal
    EXPECT_EQ(S("NMLISTACONVOREV"), "Quer a Mesma");
    EXPECT_EQ(Contacts(), kTyped);
    EXPECT_TRUE(tap->ArgsOf("GetEndeClie").empty());
}
