// The checks of a posted guest: their order, the focus each refusal leaves,
// the inscription linking and detaching a client, and the contract order.
#include "GuestScreen.h"

using corvana::DataSetState;
using corvana::Variant;

class ChecksTest : public GuestScreen {
protected:
    // A guest of the ordinary list saved by another user.
    void OtherUserAdds(const std::map<std::string, std::string>& values) {
        ASSERT_EQ(AddAsAnotherUser(port, values), Variant(true));
    }
    std::vector<std::string> ServerCalls() {
        auto names = CallNames();
        tap->Clear();
        return names;
    }
};

TEST_F(ChecksTest, InscriptionThenNameAndRGThenOrderEachRefusalStopsTheRest) {
    const Client client = ClientWithAddresses(1);
    OtherUserAdds({{"NMLISTACONVOREV", "Nome Repetido"},
                   {"NRRGLISTAOREV", "12.345.678-9"},
                   {"NRINSJURCLILISCONV", client.inscription},
                   {"CDCLIENTELISTCONV", client.code},
                   {"NRORDEMEXIBCONTRAT", "7"}});
    OpenList(kBudget);

    // Every value taken; the inscription is typed last, so that no column
    // exit checks it before the confirm.
    InsertRow();
    TypeIn("NMLISTACONVOREV", "nome repetido");
    TypeIn("NRRGLISTAOREV", "123456789");
    TypeIn("NRORDEMEXIBCONTRAT", "07");
    TypeIn("NRINSJURCLILISCONV", QString::fromStdString(client.inscription));
    tap->Clear();

    Confirm();
    EXPECT_EQ(Errors(), (std::vector<std::string>{"Inscrição já cadastrada."}));
    EXPECT_EQ(ServerCalls(), (std::vector<std::string>{"GetCliente", "GetInscJCad"}));
    EXPECT_EQ(Selected(), "NRINSJURCLILISCONV");
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Insert);
    EXPECT_EQ(S("NMLISTACONVOREV"), "nome repetido");

    // Without inscription, name and R.G. are both repeated: only the name
    // is reported, and the order is not asked.
    Retype("*");
    Confirm();
    EXPECT_EQ(Errors().back(), "Nome já cadastrado.");
    EXPECT_EQ(Errors().size(), 2u);
    EXPECT_EQ(ServerCalls(), (std::vector<std::string>{"GetCliente", "GetInscJCad", "GetVd_Nome"}));
    EXPECT_EQ(Selected(), "NMLISTACONVOREV");

    Retype("Nome Novo");
    Confirm();
    EXPECT_EQ(Errors().back(), "R.G. já cadastrado.");
    EXPECT_EQ(Errors().size(), 3u);
    EXPECT_EQ(Selected(), "NMLISTACONVOREV");  // the name column, not the R.G.
    EXPECT_EQ(ServerCalls().back(), "GetVd_Nome");

    TypeIn("NRRGLISTAOREV", "98.765.432-1");
    ClickColumn("NRORDEMEXIBCONTRAT");
    Confirm();
    EXPECT_EQ(Errors().back(), "Ordem já definida para um convidado.");
    EXPECT_EQ(Errors().size(), 4u);
    EXPECT_EQ(Selected(), "NRORDEMEXIBCONTRAT");  // the order check moves no focus
    EXPECT_EQ(ServerCalls().back(), "GetVdOrdem");
    EXPECT_TRUE(F("CDFILIAL").IsNull());

    Retype("8");
    Confirm();
    EXPECT_EQ(Errors().size(), 4u);
    EXPECT_EQ(ServerCalls(),
              (std::vector<std::string>{"GetCliente", "GetInscJCad", "GetVd_Nome", "GetVdOrdem",
                                        "SetConvOrceve", "GetConvOrceve"}));
    Row stored = StoredGuest("Nome Novo");
    EXPECT_EQ(stored["NRRGLISTAOREV"], "98.765.432-1");
    EXPECT_EQ(stored["NRORDEMEXIBCONTRAT"], "8");
    EXPECT_EQ(stored["NRINSJURCLILISCONV"], "*");
}

TEST_F(ChecksTest, AGuestWithoutNameIsSavedUnderTheTradeNameOfItsInscriptionsClient) {
    const Client client = ClientWithAddresses(1);
    OpenList(kBudget);
    InsertRow();
    Type(QString::fromStdString(client.inscription.substr(0, 3) + "." +
                                client.inscription.substr(3)));
    Confirm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();

    Row stored = StoredGuest(client.name);
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored["CDCLIENTELISTCONV"], client.code);
    EXPECT_EQ(stored["NRINSJURCLILISCONV"], client.inscription);
    // A save copies no contacts: that is the column exit's work.
    EXPECT_EQ(stored["NRTELCONVEVEN"], "*");
    EXPECT_EQ(S("NMLISTACONVOREV"), client.name);
    EXPECT_EQ(S("NMFANTCLIE"), client.name);  // the reload brings the client's data
}

TEST_F(ChecksTest, ATypedNameAgainstAClientsInscriptionDetachesTheClient) {
    const Client client = ClientWithAddresses(1);
    const std::string upper = QString::fromStdString(client.name).toUpper().toStdString();
    ASSERT_NE(upper, client.name);
    OpenList(kBudget);
    InsertRow();
    // Only the letter case differs from the client's name: a different name.
    TypeIn("NMLISTACONVOREV", QString::fromStdString(upper));
    TypeIn("NRINSJURCLILISCONV", QString::fromStdString(client.inscription));
    tap->Clear();
    Confirm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(CallNames(),
              (std::vector<std::string>{"GetCliente", "GetInscJCad", "GetEndeClie", "GetCliente",
                                        "GetVd_Nome", "SetConvOrceve", "GetConvOrceve"}));

    Row stored = StoredGuest(upper);
    ASSERT_FALSE(stored.empty());
    for (const char* field : {"NRINSJURCLILISCONV", "CDCLIENTELISTCONV", "NRTELCONVEVEN",
                              "NRCELCONVEVEN", "DSEMAILCONVEVEN"})
        EXPECT_EQ(stored[field], "*") << field;
    EXPECT_TRUE(F("NMFANTCLIE").IsNull());
}

TEST_F(ChecksTest, ANewInscriptionForAGuestNamedAfterItsClientClearsTheNameAndRefuses) {
    const Client client = ClientWithAddresses(1);
    OtherUserAdds({{"NMLISTACONVOREV", client.name},
                   {"NRINSJURCLILISCONV", client.inscription},
                   {"CDCLIENTELISTCONV", client.code},
                   {"NRTELCONVEVEN", "1130001000"}});
    OpenList(kBudget);
    GoTo(client.name);

    // A number no client bears.
    TypeIn("NRINSJURCLILISCONV", "000.000.001-91");
    tap->Clear();
    Confirm();
    EXPECT_EQ(Errors(), (std::vector<std::string>{"Nome deve ser informado."}));
    // The old inscription, as stored, named the previous client. The focus
    // sent to the name column runs no inscription exit check.
    EXPECT_EQ(CallNames(),
              (std::vector<std::string>{"GetCliente", "GetInscJCad", "GetCliente", "GetCliente"}));
    const auto clients = tap->ArgsOf("GetCliente");
    ASSERT_EQ(clients.size(), 3u);
    EXPECT_EQ(clients[2].at(0), Variant(client.inscription));
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Edit);
    EXPECT_EQ(Selected(), "NMLISTACONVOREV");
    EXPECT_EQ(S("NRINSJURCLILISCONV"), "00000000191");
    for (const char* field : {"NMLISTACONVOREV", "CDCLIENTELISTCONV", "NRTELCONVEVEN",
                              "NRCELCONVEVEN", "DSEMAILCONVEVEN", "NMFANTCLIE"})
        EXPECT_TRUE(F(field).IsNull()) << field;
    EXPECT_EQ(GuestsNamed(client.name), 1);

    // Given a name again, the guest keeps the new inscription.
    Retype("Outro Titular");
    Confirm();
    EXPECT_EQ(Errors().size(), 1u);
    Row stored = StoredGuest("Outro Titular");
    EXPECT_EQ(stored["NRINSJURCLILISCONV"], "00000000191");
    EXPECT_FALSE(stored["CDCLIENTELISTCONV"].has_value());
    EXPECT_EQ(GuestsNamed(client.name), 0);
}

TEST_F(ChecksTest, OnlyAnExactEXISTEInTheOrderReplysFirstTenCharactersRefuses) {
    OpenList(kBudget);
    std::mutex replyMutex;
    std::string reply;
    tap->SetHook("GetVdOrdem", [&](const GuestServerTap::Args&) {
        std::lock_guard<std::mutex> lock(replyMutex);
        return std::optional<Variant>(reply);
    });
    struct Case {
        const char* reply;
        const char* name;
        const char* order;
        bool refused;
    };
    const Case cases[] = {{"existe", "Ordem Minúscula", "41", false},
                          {"EXISTE ", "Ordem Com Espaço", "42", false},
                          {"EXISTE", "Ordem Recusada", "43", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        {
            std::lock_guard<std::mutex> lock(replyMutex);
            reply = c.reply;
        }
        services.dialogs.Clear();
        tap->Clear();
        InsertRow();
        TypeIn("NMLISTACONVOREV", QString::fromUtf8(c.name));
        TypeIn("NRORDEMEXIBCONTRAT", c.order);
        Confirm();
        ASSERT_EQ(tap->ArgsOf("GetVdOrdem").size(), 1u);
        // A new guest has no previous name.
        EXPECT_EQ(tap->ArgsOf("GetVdOrdem")[0],
                  (GuestServerTap::Args{"0001", kBudget, "01", c.order, ""}));
        if (c.refused) {
            EXPECT_EQ(Errors(), (std::vector<std::string>{"Ordem já definida para um convidado."}));
            EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Insert);
            Click(f->sbtCancelar);
        } else {
            EXPECT_TRUE(Errors().empty());
            EXPECT_EQ(StoredGuest(c.name)["NRORDEMEXIBCONTRAT"], c.order);
        }
    }
    EXPECT_EQ(GuestsNamed("Ordem Recusada"), 0);
}

TEST_F(ChecksTest, AnEditedGuestIsToldApartByItsPreviousNameInTheOrderCheck) {
    OtherUserAdds({{"NMLISTACONVOREV", "Dono da Ordem"}, {"NRORDEMEXIBCONTRAT", "61"}});
    OtherUserAdds({{"NMLISTACONVOREV", "Quer a Ordem"}, {"NRORDEMEXIBCONTRAT", "62"}});
    OpenList(kBudget);
    GoTo("Quer a Ordem");
    TypeIn("NRORDEMEXIBCONTRAT", "61");
    Confirm();
    EXPECT_EQ(Errors(), (std::vector<std::string>{"Ordem já definida para um convidado."}));
    ASSERT_EQ(tap->ArgsOf("GetVdOrdem").size(), 1u);
    EXPECT_EQ(tap->ArgsOf("GetVdOrdem")[0].at(4), Variant("Quer a Ordem"));

    // Its own order, renamed in the same edit, is still its own.
    Retype("62");
    TypeIn("NMLISTACONVOREV", "Quer a Ordem Renomeado");
    Confirm();
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_EQ(tap->ArgsOf("GetVdOrdem").back().at(4), Variant("Quer a Ordem"));
    EXPECT_EQ(StoredGuest("Quer a Ordem Renomeado")["NRORDEMEXIBCONTRAT"], "62");
}

// What a person cannot see is checked as it looks: texts go to the checks,
// the save and the list in the form the server stores them (a non-breaking
// space a blank, a zero-width character nothing, an accent typed as a mark
// composed). What the server would refuse to store is refused before any
// call. The values come as a paste or a program writes them: no key types
// them.
TEST_F(ChecksTest, TextsAreCheckedAsTheyLookAndWhatCannotBeStoredNeverLeaves) {
    OtherUserAdds({{"NMLISTACONVOREV", "Ana Silva"}, {"NRRGLISTAOREV", "12.345.678-9"}});
    OpenList(kBudget);
    InsertRow();
    const std::string nbsp = "\xC2\xA0", zwsp = "\xE2\x80\x8B";
    auto confirmWith = [&](std::initializer_list<std::pair<const char*, Variant>> values) {
        for (const auto& [field, value] : values) F(field).SetValue(value);
        tap->Clear();
        Confirm();
    };

    confirmWith({{"NMLISTACONVOREV", nbsp + zwsp + "\xE2\x80\x87"}});
    EXPECT_EQ(Errors().back(), "Nome deve ser informado.");
    EXPECT_EQ(ServerCalls(), (std::vector<std::string>{"GetCliente", "GetInscJCad"}));
    EXPECT_EQ(Selected(), "NMLISTACONVOREV");

    confirmWith({{"NMLISTACONVOREV", "Ana" + nbsp + "Silva"}});
    EXPECT_EQ(Errors().back(), "Nome já cadastrado.");
    EXPECT_EQ(tap->ArgsOf("GetVd_Nome").back().at(2), Variant("Ana Silva"));
    confirmWith({{"NMLISTACONVOREV", nbsp + "Jose\xCC\x81" + zwsp + " Lima"},
                 {"NRRGLISTAOREV", "12" + nbsp + "345" + zwsp + ".678-9"}});
    EXPECT_EQ(Errors().back(), "R.G. já cadastrado.");
    EXPECT_EQ(Errors().size(), 3u);
    EXPECT_EQ(S("NMLISTACONVOREV"), "José Lima");

    const std::pair<const char*, std::string> unstorable[] = {
        {"NRTELCONVEVEN", "(11) 3333-1111\x01"},
        {"NMLISTACONVOREV", std::string("José\0Lima", 10)},
        {"DSEMAILCONVEVEN", "jose\xC2\x9F@exemplo.com.br"}};
    const char* labels[] = {"telefone", "nome", "e-mail"};
    for (std::size_t i = 0; i < std::size(unstorable); ++i) {
        const auto& [field, text] = unstorable[i];
        confirmWith({{field, text}});
        EXPECT_EQ(Errors().back(), "O campo " + std::string(labels[i]) +
                                       " contém um caractere de controle, que não pode ser "
                                       "gravado.");
        EXPECT_TRUE(ServerCalls().empty()) << field;
        F(field).Clear();
    }
    F("NMLISTACONVOREV").SetValue("José Lima");
    for (const double outside : {-1.0, 100000.0}) {
        confirmWith({{"QUANTIDADE", outside}});
        EXPECT_EQ(Errors().back(), "O campo quantidade deve ser um número de 0 a 99.999.");
        EXPECT_TRUE(ServerCalls().empty());
    }
    EXPECT_EQ(Errors().size(), 8u);
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Insert);

    confirmWith({{"QUANTIDADE", 99999.0}, {"NRRGLISTAOREV", " 98" + nbsp + "765 "}});
    EXPECT_EQ(Errors().size(), 8u);
    Row stored = StoredGuest("José Lima");
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored["NRRGLISTAOREV"], "98 765");
    EXPECT_EQ(S("NMLISTACONVOREV"), "José Lima");  // the reloaded guest found by its name
}
