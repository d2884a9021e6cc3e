// Saving guests: the road of one guest to the database, what a post fills
// in, saves that fail and come back, the changes the server has not
// accepted when the list or the window closes, and two users saving the
// same name at once.
#include <QMainWindow>
#include <atomic>

#include "GuestScreen.h"
#include "corvana/core/Services.h"

using corvana::DataSetState;
using corvana::DeltaRow;
using corvana::Variant;

namespace {

// The busy animation of the scripted services, which also stops the server
// the first time an animation of the given kind begins: on a save, the
// checks have passed and SetConvOrceve finds no server; on a load, the save
// before it went through and the reload finds none.
class StopServerOnBusy : public corvana::services::IBusyIndicator {
public:
    StopServerOnBusy(corvana::services::IBusyIndicator& scripted, int kind,
                     std::function<void()> stop)
        : scripted_(scripted), kind_(kind), stop_(std::move(stop)) {}
    void Activate(QWidget* form, int kind) override {
        scripted_.Activate(form, kind);
        if (kind == kind_ && stop_) std::exchange(stop_, nullptr)();
    }
    void Deactivate() override { scripted_.Deactivate(); }

private:
    corvana::services::IBusyIndicator& scripted_;
    int kind_;
    std::function<void()> stop_;
};

std::string Masked(const std::string& cpf) {
    return cpf.substr(0, 3) + "." + cpf.substr(3, 3) + "." + cpf.substr(6, 3) + "-" + cpf.substr(9);
}

}  // namespace

class SaveTest : public GuestScreen {
protected:
    void TearDown() override {
        corvana::services::SetBusyIndicator(&services.busy);
        GuestScreen::TearDown();
    }

    // The next save finds the server stopped (it stays stopped).
    void StopServerOnNextSave() { StopServerOnNext(corvana::services::kBusySaving); }
    // The next list load (the reload after a save) finds the server stopped.
    void StopServerOnNextLoad() { StopServerOnNext(corvana::services::kBusyLoading); }
    void StopServerOnNext(int kind) {
        stopper_ =
            std::make_unique<StopServerOnBusy>(services.busy, kind, [this] { StopServer(); });
        corvana::services::SetBusyIndicator(stopper_.get());
    }

    // A new guest with only a name, confirmed with the tool bar.
    void AddGuest(const QString& name) {
        InsertRow();
        TypeIn("NMLISTACONVOREV", name);
        Confirm();
    }

    const DeltaRow& LastSentChange() {
        const auto sent = tap->ArgsOf("SetConvOrceve");
        EXPECT_FALSE(sent.empty());
        lastDelta_ = sent.back().at(0).asPacket();
        EXPECT_EQ(lastDelta_.changes().size(), 1u);
        return lastDelta_.changes().front();
    }

    std::unique_ptr<StopServerOnBusy> stopper_;
    corvana::DataPacket lastDelta_;
};

TEST_F(SaveTest, TheRoadOfOneGuestFromTheInscriptionToTheDatabase) {
    const Client client = ClientWithAddresses(2);
    ASSERT_FALSE(client.code.empty());
    const auto contacts = FirstContacts(client.code);
    OpenList(kBudget);
    ASSERT_TRUE(f->cdsConvOrceve.Active());
    const int before = f->cdsConvOrceve.RecordCount();

    InsertRow();
    ASSERT_EQ(f->cdsConvOrceve.State(), DataSetState::Insert);
    ASSERT_EQ(Selected(), "NRINSJURCLILISCONV");
    Type(QString::fromStdString(Masked(client.inscription)));
    Press(Qt::Key_Tab);

    // Leaving the column linked the guest to the client.
    EXPECT_EQ(Selected(), "NMLISTACONVOREV");
    EXPECT_EQ(S("NRINSJURCLILISCONV"), client.inscription);
    EXPECT_EQ(S("NMLISTACONVOREV"), client.name);
    EXPECT_EQ(S("CDCLIENTELISTCONV"), client.code);
    EXPECT_EQ(
        (std::vector<std::string>{S("NRTELCONVEVEN"), S("NRCELCONVEVEN"), S("DSEMAILCONVEVEN")}),
        contacts);
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"GetCliente", "GetInscJCad", "GetEndeClie"}));
    tap->Clear();

    Confirm();
    EXPECT_TRUE(Errors().empty());
    // The checks in their order, the save, the reload.
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"GetCliente", "GetInscJCad", "GetEndeClie",
                                                     "GetCliente", "GetCliente", "GetVd_Nome",
                                                     "SetConvOrceve", "GetConvOrceve"}));
    // A guest being inserted has no old inscription: the server is asked
    // with an empty one.
    EXPECT_EQ(tap->ArgsOf("GetCliente").back().at(0), Variant(""));
    EXPECT_EQ(services.busy.Activations(), (std::vector<int>{1, 6}));
    EXPECT_FALSE(services.busy.Active());

    // Reloaded, the cursor and the grid on the saved guest.
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Browse);
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 0);
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), before + 1);
    EXPECT_EQ(S("NMLISTACONVOREV"), client.name);
    EXPECT_FALSE(S("NRLISTACONVOREV").empty());
    EXPECT_EQ(f->dbgPadrao->currentIndex().row(), f->cdsConvOrceve.RecNo() - 1);

    Row stored = StoredGuest(client.name);
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored["NRLISTACONVOREV"], S("NRLISTACONVOREV"));
    EXPECT_EQ(stored["CDCLIENTELISTCONV"], client.code);
    EXPECT_EQ(stored["NRINSJURCLILISCONV"], client.inscription);
    EXPECT_EQ(stored["NRTELCONVEVEN"], contacts[0]);
    EXPECT_EQ(stored["NRCELCONVEVEN"], contacts[1]);
    EXPECT_EQ(stored["DSEMAILCONVEVEN"], contacts[2]);
    EXPECT_EQ(stored["NRORDEMEXIBCONTRAT"], "*");
    EXPECT_EQ(stored["IDTIPOCONVEVEN"], "NORMAL");
}

TEST_F(SaveTest, ANewGuestWithOnlyANameIsSavedWithEveryPlaceholder) {
    OpenList(kBudget);
    f->cmbTratConvEspec->SetItemIndex(0);  // the blank choice is stored as "*"

    AddGuest("Hóspede Só Com Nome");
    EXPECT_TRUE(Errors().empty());

    // The name check told the server the guest has no number yet; an empty
    // contract order sent nothing.
    const auto nameChecks = tap->ArgsOf("GetVd_Nome");
    ASSERT_EQ(nameChecks.size(), 1u);
    EXPECT_EQ(nameChecks[0],
              (GuestServerTap::Args{"0001", kBudget, "Hóspede Só Com Nome", "99999", "", "01"}));
    EXPECT_TRUE(tap->ArgsOf("GetVdOrdem").empty());

    const DeltaRow& sent = LastSentChange();
    ASSERT_EQ(sent.status, DeltaRow::Status::Inserted);
    const corvana::DataPacket& delta = lastDelta_;
    auto value = [&](const char* name) {
        return sent.values.at(static_cast<std::size_t>(delta.requireField(name)));
    };
    EXPECT_TRUE(value("NRLISTACONVOREV").toString().empty());
    const std::pair<const char*, const char*> expected[] = {
        {"NRINSJURCLILISCONV", "*"},  {"CDCLIENTELISTCONV", "*"}, {"NRTELCONVEVEN", "*"},
        {"NRCELCONVEVEN", "*"},       {"DSEMAILCONVEVEN", "*"},   {"NRORDEMEXIBCONTRAT", "*"},
        {"IDCONDICAOCONVEV", "*"},    {"IDCONVPRESEOREV", "N"},   {"IDEXIBECONVCONTRAT", "N"},
        {"IDTIPOCONVEVEN", "NORMAL"}, {"CDFILIAL", "0001"},       {"NRORCAEVENTO", kBudget},
        {"NRSEQORCAEVE", "01"},       {"IDTPTRATCONVESPEC", "*"}};
    for (const auto& [field, text] : expected) EXPECT_EQ(value(field), Variant(text)) << field;

    Row stored = StoredGuest("Hóspede Só Com Nome");
    ASSERT_FALSE(stored.empty());
    for (const auto& [field, text] : expected) EXPECT_EQ(stored[field], text) << field;
    EXPECT_EQ(S("NMLISTACONVOREV"), "Hóspede Só Com Nome");
}

TEST_F(SaveTest, ThePostedGuestsAloneCarryTheChosenTreatment) {
    OpenList(kBudget);
    std::map<std::string, std::optional<std::string>> before;
    {
        auto conn = db->Acquire();
        auto st = conn->Prepare(
            "SELECT NMLISTACONVOREV, IDTPTRATCONVESPEC FROM LISTACONVOREV WHERE CDFILIAL = '0001' "
            "AND NRORCAEVENTO = ? AND NRSEQORCAEVE = '01'");
        st->BindAll(kBudget);
        while (st->Step()) before[st->Text(0)] = st->OptText(1);
    }
    const std::string first = S("NMLISTACONVOREV");
    const std::string number = S("NRLISTACONVOREV");

    // The user picks "Dados da Debutante": the current guest goes into edit.
    FocusOn(f->cmbTratConvEspec);
    while (f->cmbTratConvEspec->ItemIndex() < 2) Press(Qt::Key_Down);
    while (f->cmbTratConvEspec->ItemIndex() > 2) Press(Qt::Key_Up);
    ASSERT_EQ(f->cdsConvOrceve.State(), DataSetState::Edit);
    Confirm();
    ASSERT_TRUE(Errors().empty()) << Errors().front();
    // An edited guest is checked with its own number.
    ASSERT_EQ(tap->ArgsOf("GetVd_Nome").size(), 1u);
    EXPECT_EQ(tap->ArgsOf("GetVd_Nome")[0].at(3), Variant(number));

    AddGuest("Convidada Depois da Escolha");
    ASSERT_TRUE(Errors().empty()) << Errors().front();

    EXPECT_EQ(StoredGuest(first)["IDTPTRATCONVESPEC"], "DEBUTANTE");
    EXPECT_EQ(StoredGuest("Convidada Depois da Escolha")["IDTPTRATCONVESPEC"], "DEBUTANTE");
    auto conn = db->Acquire();
    auto st = conn->Prepare(
        "SELECT NMLISTACONVOREV, IDTPTRATCONVESPEC FROM LISTACONVOREV WHERE CDFILIAL = '0001' "
        "AND NRORCAEVENTO = ? AND NRSEQORCAEVE = '01' AND NMLISTACONVOREV NOT IN (?, ?)");
    st->BindAll(kBudget, first, "Convidada Depois da Escolha");
    int others = 0;
    while (st->Step()) {
        ++others;
        EXPECT_EQ(st->OptText(1), before[st->Text(0)]) << st->Text(0);
    }
    EXPECT_EQ(others + 1, static_cast<int>(before.size()));
}

TEST_F(SaveTest, ARefusedPostKeepsTheTypedValuesAndTheRow) {
    OpenList(kBudget);
    const std::string taken = S("NMLISTACONVOREV");
    InsertRow();
    const int row = f->cdsConvOrceve.RecNo();
    // The same name in other letters is the same name for the list.
    TypeIn("NMLISTACONVOREV", QString::fromStdString(taken).toUpper());
    TypeIn("NRRGLISTAOREV", "11.222.333-4");
    TypeIn("NRTELCONVEVEN", "1133334444");
    Press(Qt::Key_Down);  // leaving the row posts it

    EXPECT_EQ(Errors(), (std::vector<std::string>{"Nome já cadastrado."}));
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Insert);
    EXPECT_EQ(f->cdsConvOrceve.RecNo(), row);
    EXPECT_EQ(Selected(), "NMLISTACONVOREV");
    EXPECT_EQ(S("NMLISTACONVOREV"), QString::fromStdString(taken).toUpper().toStdString());
    EXPECT_EQ(S("NRRGLISTAOREV"), "11.222.333-4");
    EXPECT_EQ(S("NRTELCONVEVEN"), "1133334444");
    // The key fields and placeholders come only with a post that passes.
    EXPECT_TRUE(F("CDFILIAL").IsNull());
    EXPECT_TRUE(F("NRCELCONVEVEN").IsNull());
    EXPECT_TRUE(tap->ArgsOf("SetConvOrceve").empty());

    Retype("Nome Agora Livre");
    Confirm();
    // The refused name's answer does not outlive its check.
    EXPECT_EQ(Errors().size(), 1u);
    Row stored = StoredGuest("Nome Agora Livre");
    EXPECT_EQ(stored["NRRGLISTAOREV"], "11.222.333-4");
    EXPECT_EQ(stored["NRTELCONVEVEN"], "1133334444");
    EXPECT_EQ(stored["NRCELCONVEVEN"], "*");
}

TEST_F(SaveTest, AFailedSaveKeepsTheGuestAndSendsItWithTheNextPost) {
    OpenList(kBudget);
    const int before = f->cdsConvOrceve.RecordCount();
    StopServerOnNextSave();
    AddGuest("Guardado Sem Servidor");

    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_FALSE(services.busy.Active());
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Browse);
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 1);
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), before + 1);
    EXPECT_EQ(S("NMLISTACONVOREV"), "Guardado Sem Servidor");
    const QModelIndex shown = f->dbgPadrao->Model()->index(
        f->cdsConvOrceve.RecNo() - 1, f->dbgPadrao->Model()->ViewColumnOf(&F("NMLISTACONVOREV")));
    EXPECT_EQ(shown.data().toString().toStdString(), "Guardado Sem Servidor");
    EXPECT_TRUE(tap->ArgsOf("GetConvOrceve").empty());  // no reload
    EXPECT_EQ(GuestsNamed("Guardado Sem Servidor"), 0);

    RestartServer();
    AddGuest("Salvo Com o Servidor de Volta");
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 0);
    EXPECT_EQ(tap->ArgsOf("SetConvOrceve").back().at(0).asPacket().changes().size(), 2u);
    EXPECT_EQ(GuestsNamed("Guardado Sem Servidor"), 1);
    EXPECT_EQ(GuestsNamed("Salvo Com o Servidor de Volta"), 1);
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), before + 2);
    EXPECT_EQ(S("NMLISTACONVOREV"), "Salvo Com o Servidor de Volta");
}

// The save went through, the reload after it did not: the guest is stored
// but has no list number on screen. It is never sent as an edit or a delete
// without one: the list is reloaded first, or the user is told to reload.
TEST_F(SaveTest, AGuestWhoseNumberNeverArrivedIsReloadedBeforeItIsChanged) {
    OpenList(kBudget);
    StopServerOnNextLoad();
    AddGuest("Salvo Sem Número");
    ASSERT_EQ(Errors().size(), 1u);  // the failed reload
    ASSERT_EQ(GuestsNamed("Salvo Sem Número"), 1);
    ASSERT_EQ(S("NMLISTACONVOREV"), "Salvo Sem Número");
    ASSERT_TRUE(S("NRLISTACONVOREV").empty());
    const int rows = f->cdsConvOrceve.RecordCount();

    // Server still down: nothing changes, and the user learns why.
    Click(f->sbtAlterar);
    EXPECT_EQ(Errors().back(), "A lista precisa ser recarregada antes de alterar este convidado.");
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Browse);
    services.dialogs.ExpectConfirm(true);  // "Confirma exclusão?"
    Click(f->sbtExcluir);
    EXPECT_EQ(Errors().back(), "A lista precisa ser recarregada antes de excluir este convidado.");
    EXPECT_EQ(Errors().size(), 3u);
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), rows);
    EXPECT_EQ(S("NMLISTACONVOREV"), "Salvo Sem Número");

    // Server back: the edit starts on the reloaded guest, with its number.
    RestartServer();
    Click(f->sbtAlterar);
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Edit);
    EXPECT_EQ(S("NMLISTACONVOREV"), "Salvo Sem Número");
    const std::string number = S("NRLISTACONVOREV");
    EXPECT_FALSE(number.empty());
    TypeIn("NRRGLISTAOREV", "12.345.678-9");
    Confirm();
    EXPECT_EQ(Errors().size(), 3u);
    EXPECT_EQ(tap->ArgsOf("GetVd_Nome").back().at(3), Variant(number));
    EXPECT_EQ(StoredGuest("Salvo Sem Número")["NRRGLISTAOREV"], "12.345.678-9");

    // The delete of another such guest goes to the guest once reloaded.
    StopServerOnNextLoad();
    AddGuest("Outro Sem Número");
    ASSERT_EQ(Errors().size(), 4u);
    ASSERT_TRUE(S("NRLISTACONVOREV").empty());
    RestartServer();
    services.dialogs.ExpectConfirm(true);
    Click(f->sbtExcluir);
    EXPECT_EQ(Errors().size(), 4u);
    EXPECT_EQ(GuestsNamed("Outro Sem Número"), 0);
    EXPECT_EQ(GuestsNamed("Salvo Sem Número"), 1);
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 0);
}

TEST_F(SaveTest, AReloadSendsPendingChangesOrAsksBeforeDroppingThem) {
    OpenList(kBudget);
    StopServerOnNextSave();
    AddGuest("Pendente Antes de Recarregar");
    ASSERT_EQ(Errors().size(), 1u);
    ASSERT_EQ(f->cdsConvOrceve.ChangeCount(), 1);

    // Server still down: the user keeps the change, the list is not reloaded.
    services.dialogs.ExpectConfirm(false);
    Click(f->sbtVerificar);
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 1);
    EXPECT_EQ(GuestsNamed("Pendente Antes de Recarregar"), 0);

    // Server back: the reload sends the change first, then shows it saved.
    RestartServer();
    Click(f->sbtVerificar);
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 0);
    EXPECT_EQ(GuestsNamed("Pendente Antes de Recarregar"), 1);
    EXPECT_TRUE(f->cdsConvOrceve.Locate("NMLISTACONVOREV",
                                        corvana::Variant("Pendente Antes de Recarregar")));
}

// After a save the list comes up to date with what changed since it was
// loaded (the saved guest, and another user's guest saved meanwhile) and
// shows what a whole load shows, the grid on the saved guest. A version the
// server no longer knows the changes since brings the whole list.
TEST_F(SaveTest, ASaveBringsInWhatChangedSinceTheListWasLoaded) {
    OpenList(kBudget);
    const int before = f->cdsConvOrceve.RecordCount();
    auto whole = [this] {
        corvana::TNetConnection other("evt07800.rdmListConv");
        other.SetHost("127.0.0.1");
        other.SetPort(port);
        return Variant(other.Call("GetConvOrceve", {"0001", kBudget, "01"})).toJson();
    };
    auto shown = [this] { return Variant(f->cdsConvOrceve.Data()).toJson(); };
    auto askedSince = [this] { return tap->ArgsOf("GetConvOrceve").back().at(3); };

    ASSERT_EQ(AddAsAnotherUser(port, {{"NMLISTACONVOREV", "Incluído por Outro Usuário"}}),
              Variant(true));
    AddGuest("Salvo Nesta Tela");
    EXPECT_TRUE(Errors().empty());
    EXPECT_FALSE(askedSince().isNull());
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), before + 2);
    EXPECT_EQ(shown(), whole());
    EXPECT_EQ(S("NMLISTACONVOREV"), "Salvo Nesta Tela");
    EXPECT_FALSE(S("NRLISTACONVOREV").empty());
    EXPECT_EQ(f->dbgPadrao->currentIndex().row(), f->cdsConvOrceve.RecNo() - 1);

    Sql("UPDATE LISTACONVVERSAO SET NRVERSAOCONV = NRVERSAOCONV + 5000 WHERE CDFILIAL = '0001' "
        "AND NRORCAEVENTO = ? AND NRSEQORCAEVE = '01'",
        kBudget);
    AddGuest("Salvo Depois de Muitas Versões");
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(shown(), whole());
    EXPECT_EQ(S("NMLISTACONVOREV"), "Salvo Depois de Muitas Versões");
    EXPECT_EQ(f->dbgPadrao->currentIndex().row(), f->cdsConvOrceve.RecNo() - 1);
}

TEST_F(SaveTest, ADeleteIsSavedAtOnceWithoutReloading) {
    OpenList(kBudget);
    const std::string name = S("NMLISTACONVOREV");
    const int before = f->cdsConvOrceve.RecordCount();
    services.dialogs.ExpectConfirm(true);  // "Confirma exclusão?"
    Click(f->sbtExcluir);
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"SetConvOrceve"}));
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 0);
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), before - 1);
    EXPECT_EQ(GuestsNamed(name), 0);
    EXPECT_EQ(services.busy.Activations(), (std::vector<int>{1}));
}

TEST_F(SaveTest, CancelEndsTheEditAndGivesTheButtonsBack) {
    OpenList(kBudget);
    InsertRow();
    TypeIn("NMLISTACONVOREV", "Desistência");
    ASSERT_FALSE(f->sbtIncluir->isEnabled());
    Click(f->sbtCancelar);
    EXPECT_EQ(f->cdsConvOrceve.State(), DataSetState::Browse);
    EXPECT_FALSE(f->cdsConvOrceve.Locate("NMLISTACONVOREV", "Desistência"));
    EXPECT_TRUE(f->sbtIncluir->isEnabled());
    EXPECT_FALSE(f->sbtConfirmar->isEnabled());
    EXPECT_TRUE(CallNames().empty());
}

// Closing the window, or the list by entering the filter panel, first sends
// what the server has not accepted; what cannot be sent is discarded only
// when the user says so.
TEST_F(SaveTest, ClosingTheWindowSendsPendingChangesOrAsksBeforeDroppingThem) {
    OpenList(kBudget);
    StopServerOnNextSave();
    AddGuest("Pendente ao Fechar");
    ASSERT_EQ(f->cdsConvOrceve.ChangeCount(), 1);
    services.dialogs.Clear();

    // Still no server: the failure is shown and the user keeps the changes.
    services.dialogs.ExpectConfirm(false);
    f->Close();
    Settle();
    ASSERT_EQ(services.dialogs.Messages().size(), 2u);
    EXPECT_EQ(services.dialogs.Messages()[0].kind,
              corvana::services::ScriptedDialogs::Shown::Error);
    EXPECT_EQ(
        services.dialogs.Messages()[1].text,
        "1 alteração da lista de convidados não foi gravada no servidor. Descartar a alteração?");
    EXPECT_TRUE(boStCriado);
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->cdsConvOrceve.Active());
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 1);

    // With the server back, closing sends them and asks nothing.
    RestartServer();
    services.dialogs.Clear();
    f->Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(boStCriado);
    EXPECT_TRUE(services.dialogs.Messages().empty());
    EXPECT_EQ(GuestsNamed("Pendente ao Fechar"), 1);
}

TEST_F(SaveTest, DiscardingOnCloseDropsTheChangesAndCloses) {
    OpenList(kBudget);
    StopServerOnNextSave();
    AddGuest("Descartado ao Fechar");
    services.dialogs.ExpectConfirm(true);
    f->Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(boStCriado);
    EXPECT_EQ(services.dialogs.PendingConfirms(), 0u);
    RestartServer();
    EXPECT_EQ(GuestsNamed("Descartado ao Fechar"), 0);
}

TEST_F(SaveTest, EnteringTheFilterPanelWithUnsentChangesKeepsTheListWhenTheUserSaysSo) {
    OpenList(kBudget);
    const std::string deleted = S("NMLISTACONVOREV");
    StopServerOnNextSave();
    AddGuest("Pendente no Painel");
    // A delete with the server gone is a second pending change.
    GoTo(deleted);
    services.dialogs.ExpectConfirm(true);  // "Confirma exclusão?"
    Click(f->sbtExcluir);
    ASSERT_EQ(f->cdsConvOrceve.ChangeCount(), 2);
    const int rows = f->cdsConvOrceve.RecordCount();
    services.dialogs.Clear();
    tap->Clear();

    services.dialogs.ExpectConfirm(false);
    FocusOn(f->listKey.edtSeq);
    ASSERT_EQ(services.dialogs.Messages().size(), 2u);
    EXPECT_EQ(services.dialogs.Messages()[1].text,
              "2 alterações da lista de convidados não foram gravadas no servidor. Descartar as "
              "alterações?");
    // The list stays as it was, the focus back in the grid; nothing was
    // reloaded.
    EXPECT_TRUE(f->cdsConvOrceve.Active());
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 2);
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), rows);
    EXPECT_TRUE(f->dbgPadrao->hasFocus() || f->dbgPadrao->isAncestorOf(Focused()));
    EXPECT_TRUE(boPanel);
    EXPECT_TRUE(f->sbtIncluir->isEnabled());
    EXPECT_TRUE(tap->ArgsOf("GetConvOrceve").empty());

    // Once the server is back the next post sends all three changes.
    RestartServer();
    services.dialogs.Clear();
    AddGuest("Terceira Alteração");
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(GuestsNamed("Pendente no Painel"), 1);
    EXPECT_EQ(GuestsNamed("Terceira Alteração"), 1);
    EXPECT_EQ(GuestsNamed(deleted), 0);

    // Now entering the panel closes the list without asking, and leaving it
    // loads the list again.
    FocusOn(f->listKey.edtSeq);
    EXPECT_FALSE(f->cdsConvOrceve.Active());
    EXPECT_TRUE(services.dialogs.Messages().empty());
    FocusOn(f->dbgPadrao);
    EXPECT_TRUE(f->cdsConvOrceve.Active());
    EXPECT_EQ(tap->ArgsOf("GetConvOrceve").size(), 2u);
}

TEST_F(SaveTest, EnteringTheFilterPanelSendsPendingChangesOrDropsThemOnRequest) {
    OpenList(kBudget);
    StopServerOnNextSave();
    AddGuest("Enviado ao Entrar no Painel");
    RestartServer();
    services.dialogs.Clear();
    // A row being edited is not posted on the way: it goes as it always did.
    InsertRow();
    TypeIn("NMLISTACONVOREV", "Linha em Edição");
    FocusOn(f->listKey.edtSeq);
    EXPECT_TRUE(services.dialogs.Messages().empty());
    EXPECT_FALSE(f->cdsConvOrceve.Active());
    EXPECT_EQ(GuestsNamed("Enviado ao Entrar no Painel"), 1);
    EXPECT_EQ(GuestsNamed("Linha em Edição"), 0);

    // Loaded again, a change that cannot be sent is dropped when the user
    // agrees, and the list closes.
    FocusOn(f->dbgPadrao);
    ASSERT_TRUE(f->cdsConvOrceve.Active());
    StopServerOnNextSave();
    AddGuest("Descartado ao Entrar no Painel");
    services.dialogs.ExpectConfirm(true);
    FocusOn(f->listKey.edtSeq);
    EXPECT_FALSE(f->cdsConvOrceve.Active());
    EXPECT_FALSE(boPanel);
    RestartServer();
    EXPECT_EQ(GuestsNamed("Descartado ao Entrar no Painel"), 0);
}

// The screen and a second connection save the same new name into the same
// list at the same moment: the other user's save lands between the screen's
// checks and its own save.
TEST_F(SaveTest, TwoUsersSavingTheSameNameAtOnceLoseNothingAndDoubleNothing) {
    OpenList(kBudget);
    const int serverPort = port;
    std::atomic<bool> raced{false};
    std::mutex answerMutex;
    Variant otherAnswer;
    tap->SetHook("SetConvOrceve", [&](const GuestServerTap::Args&) -> std::optional<Variant> {
        if (!raced.exchange(true)) {
            Variant answer = AddAsAnotherUser(
                serverPort,
                {{"NMLISTACONVOREV", "Convidado Disputado"}, {"NRTELCONVEVEN", "1140041234"}});
            std::lock_guard<std::mutex> lock(answerMutex);
            otherAnswer = answer;
        }
        return std::nullopt;
    });

    InsertRow();
    TypeIn("NMLISTACONVOREV", "Convidado Disputado");
    TypeIn("NRTELCONVEVEN", "1155556666");
    Confirm();

    {
        std::lock_guard<std::mutex> lock(answerMutex);
        EXPECT_EQ(otherAnswer, Variant(true));
    }
    EXPECT_EQ(Errors(), (std::vector<std::string>{
                            "Convidado 'Convidado Disputado': nome já cadastrado nesta lista."}));
    EXPECT_EQ(GuestsNamed("Convidado Disputado"), 1);
    EXPECT_EQ(StoredGuest("Convidado Disputado")["NRTELCONVEVEN"], "1140041234");
    // The screen's guest is not lost: it waits, posted, for a name of its own,
    // marked in the grid as not accepted.
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 1);
    EXPECT_EQ(S("NRTELCONVEVEN"), "1155556666");
    const corvana::ui::GridModel* model = f->dbgPadrao->Model();
    auto marked = [&] {
        const int row = f->cdsConvOrceve.RecNo() - 1;
        return model->index(row, 0).data(Qt::BackgroundRole).isValid() &&
               model->headerData(row, Qt::Vertical, Qt::BackgroundRole).isValid();
    };
    EXPECT_TRUE(marked());

    ClickColumn("NMLISTACONVOREV");
    Retype("Convidado Disputado Segundo");
    Confirm();
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 0);
    EXPECT_EQ(GuestsNamed("Convidado Disputado"), 1);
    EXPECT_EQ(GuestsNamed("Convidado Disputado Segundo"), 1);
    EXPECT_EQ(StoredGuest("Convidado Disputado Segundo")["NRTELCONVEVEN"], "1155556666");
    EXPECT_EQ(S("NMLISTACONVOREV"), "Convidado Disputado Segundo");
    EXPECT_FALSE(marked());
}

// Another user's import into the list on screen arrives with the next save
// as hundreds of changed rows: the grid then shows what a whole load shows,
// the saved guest current and whole in view.
TEST_F(SaveTest, ASaveAfterAnotherUsersImportShowsTheImportedGuests) {
    const char* kEmptyBudget = "0000005001";  // a demo list without guests
    OpenList(kEmptyBudget);
    ASSERT_EQ(f->cdsConvOrceve.RecordCount(), 0);
    corvana::TNetConnection other("evt07800.rdmListConv");
    other.SetHost("127.0.0.1");
    other.SetPort(port);
    std::vector<std::string> names;
    for (int i = 1; i <= 300; ++i) names.push_back("Importado " + std::to_string(i));
    ASSERT_EQ(ImportAsAnotherUser(port, kEmptyBudget, names).asPacket().rowCount(), 0u);

    AddGuest("Salvo Depois da Importação");
    QApplication::processEvents();
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(f->cdsConvOrceve.RecordCount(), 301);
    EXPECT_EQ(Variant(f->cdsConvOrceve.Data()).toJson(),
              Variant(other.Call("GetConvOrceve", {"0001", kEmptyBudget, "01"})).toJson());
    EXPECT_EQ(S("NMLISTACONVOREV"), "Salvo Depois da Importação");
    const QRect row = f->dbgPadrao->visualRect(f->dbgPadrao->currentIndex());
    EXPECT_TRUE(f->dbgPadrao->viewport()->rect().contains(row))
        << "row " << row.top() << "-" << row.bottom() << " of "
        << f->dbgPadrao->viewport()->height();
}
