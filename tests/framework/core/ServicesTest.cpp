#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

#include "corvana/core/ScriptedServices.h"
#include "corvana/core/Services.h"
#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"
#include "corvana/data/Error.h"

namespace {

namespace services = corvana::services;
using services::ScriptedDialogs;
using services::ScriptedServicesScope;

QWidget* fakeForm(int n) {
    return reinterpret_cast<QWidget*>(static_cast<std::uintptr_t>(n) * 16);
}

// A guest list with three names, opened on the first row.
class GuestList {
public:
    GuestList() {
        dataSet.AddField("NOME", corvana::FieldType::String, 40);
        dataSet.CreateDataSet();
        for (const char* name : {"Ana", "Bruno", "Carla"}) {
            dataSet.Append();
            dataSet.FieldByName("NOME").SetAsString(name);
            dataSet.Post();
        }
        dataSet.First();
    }
    std::string current() const { return dataSet.FieldByName("NOME").AsString(); }

    corvana::ClientDataSet dataSet;
    corvana::DataSource source{&dataSet};
};

TEST(ServiceRegistry, InstallAndRestoreDefaults) {
    services::IDialogs& defaults = services::Dialogs();
    EXPECT_EQ(dynamic_cast<ScriptedDialogs*>(&defaults), nullptr);
    {
        ScriptedServicesScope scope;
        EXPECT_EQ(&services::Dialogs(), &scope.dialogs);
        EXPECT_EQ(&services::SearchDialog(), &scope.search);
        EXPECT_EQ(&services::OpenFileDialog(), &scope.openFile);
        EXPECT_EQ(&services::BusyIndicator(), &scope.busy);
        EXPECT_EQ(&services::WaitCursor(), &scope.cursor);
    }
    EXPECT_EQ(&services::Dialogs(), &defaults);

    ScriptedDialogs mine;
    services::SetDialogs(&mine);
    EXPECT_EQ(&services::Dialogs(), &mine);
    services::SetDialogs(nullptr);
    EXPECT_EQ(&services::Dialogs(), &defaults);
}

TEST(ServiceRegistry, DefaultsAnswerNegatively) {
    GuestList guests;
    guests.dataSet.SetRecNo(2);
    EXPECT_FALSE(services::Dialogs().Confirm("Excluir o convidado?"));
    EXPECT_FALSE(Pesquisa::Pesquisar(guests.source, "Convidados|Nenhum convidado.", false, false));
    EXPECT_EQ(guests.dataSet.RecNo(), 2);
    EXPECT_FALSE(services::OpenFileDialog().Execute("*.csv", "").has_value());
    EXPECT_FALSE(services::WaitCursor().IsWait());
    EXPECT_NO_THROW(Showavi::ActiveShowAvi(nullptr, services::kBusyLoading));
    EXPECT_NO_THROW(Showavi::DeactiveShowAvi());
}

TEST(ScriptedDialogsTest, RecordsInOrderAndAnswersFromQueue) {
    ScriptedServicesScope scope;
    scope.dialogs.ExpectConfirm(true);
    scope.dialogs.ExpectConfirm(false);
    services::Dialogs().ShowInformation("Orçamento gravado.");
    EXPECT_TRUE(services::Dialogs().Confirm("Incluir outro convidado?"));
    services::Dialogs().ShowError("Nome obrigatório.");
    EXPECT_FALSE(services::Dialogs().Confirm("Sair sem gravar?"));

    using Shown = ScriptedDialogs::Shown;
    EXPECT_EQ(scope.dialogs.Messages(),
              (std::vector<Shown>{{Shown::Information, "Orçamento gravado."},
                                  {Shown::Confirm, "Incluir outro convidado?"},
                                  {Shown::Error, "Nome obrigatório."},
                                  {Shown::Confirm, "Sair sem gravar?"}}));
    EXPECT_EQ(scope.dialogs.Errors(), std::vector<std::string>{"Nome obrigatório."});
    EXPECT_EQ(scope.dialogs.Informations(), std::vector<std::string>{"Orçamento gravado."});
    EXPECT_EQ(scope.dialogs.PendingConfirms(), 0u);
    EXPECT_TRUE(scope.dialogs.Unexpected().empty());

    scope.dialogs.ExpectConfirm(true);
    scope.dialogs.Clear();
    EXPECT_TRUE(scope.dialogs.Messages().empty());
    EXPECT_EQ(scope.dialogs.PendingConfirms(), 0u);
}

TEST(ScriptedDialogsTest, UnexpectedPromptIsRecordedAndRaised) {
    ScriptedServicesScope scope;
    try {
        services::Dialogs().Confirm("Excluir o orçamento?");
        FAIL() << "a prompt with no answer queued must raise";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "pergunta inesperada: Excluir o orçamento?");
    }
    EXPECT_EQ(scope.dialogs.Unexpected(), std::vector<std::string>{"Excluir o orçamento?"});
}

TEST(ScriptedSearchTest, PickPositionsTheDataSetAndCancelLeavesIt) {
    ScriptedServicesScope scope;
    GuestList guests;
    scope.search.ExpectPick(3);
    scope.search.ExpectCancel();
    scope.search.ExpectPick(1);

    EXPECT_TRUE(Pesquisa::Pesquisar(guests.source, "Convidados|Nenhum convidado.", true, false));
    EXPECT_EQ(guests.current(), "Carla");
    EXPECT_FALSE(Pesquisa::Pesquisar(guests.source, "Convidados|Vazio", false, true));
    EXPECT_EQ(guests.current(), "Carla");
    EXPECT_TRUE(Pesquisa::Pesquisar(guests.source, "Outra|Vazio", false, false));
    EXPECT_EQ(guests.current(), "Ana");

    using Call = services::ScriptedSearch::Call;
    EXPECT_EQ(scope.search.Calls(),
              (std::vector<Call>{{"Convidados|Nenhum convidado.", true, false},
                                 {"Convidados|Vazio", false, true},
                                 {"Outra|Vazio", false, false}}));
    EXPECT_EQ(scope.search.Pending(), 0u);
}

TEST(ScriptedSearchTest, UnexpectedSearchAndBadRowAreFaults) {
    ScriptedServicesScope scope;
    GuestList guests;
    EXPECT_THROW(Pesquisa::Pesquisar(guests.source, "Convidados|x", false, false),
                 std::logic_error);
    EXPECT_EQ(scope.search.Unexpected(), std::vector<std::string>{"Convidados|x"});

    scope.search.ExpectPick(4);
    EXPECT_THROW(Pesquisa::Pesquisar(guests.source, "Convidados|x", false, false),
                 std::logic_error);
    EXPECT_EQ(guests.current(), "Ana");

    corvana::DataSource empty;
    scope.search.ExpectPick(1);
    EXPECT_THROW(Pesquisa::Pesquisar(empty, "Convidados|x", false, false), std::logic_error);
}

TEST(ScriptedOpenFileTest, AnswersFromQueue) {
    ScriptedServicesScope scope;
    scope.openFile.ExpectFile("/tmp/convidados.csv");
    scope.openFile.ExpectCancel();
    EXPECT_EQ(services::OpenFileDialog().Execute("Planilhas (*.csv)", "lista.csv"),
              std::optional<std::string>("/tmp/convidados.csv"));
    EXPECT_EQ(services::OpenFileDialog().Execute("Planilhas (*.csv)", ""), std::nullopt);
    EXPECT_THROW(services::OpenFileDialog().Execute("Imagens (*.png)", ""), std::logic_error);
    EXPECT_EQ(scope.openFile.Calls().size(), 3u);
    EXPECT_EQ(scope.openFile.Calls()[0].initialFile, "lista.csv");
    EXPECT_EQ(scope.openFile.Unexpected(), std::vector<std::string>{"Imagens (*.png)"});
}

TEST(BusyScopeTest, NestsAndDeactivatesWhenAnExceptionPasses) {
    ScriptedServicesScope scope;
    try {
        services::BusyScope outer(fakeForm(1), services::kBusyLoading);
        {
            services::BusyScope inner(fakeForm(2), services::kBusySaving);
            EXPECT_EQ(scope.busy.Depth(), 2);
        }
        EXPECT_EQ(scope.busy.Depth(), 1);
        throw corvana::Error("falha na gravação");
    } catch (const corvana::Error&) {
    }
    EXPECT_FALSE(scope.busy.Active());
    EXPECT_EQ(scope.busy.MaxDepth(), 2);
    EXPECT_EQ(scope.busy.Activations(),
              (std::vector<int>{services::kBusyLoading, services::kBusySaving}));
    EXPECT_EQ(scope.busy.Forms(), (std::vector<QWidget*>{fakeForm(1), fakeForm(2)}));

    Showavi::DeactiveShowAvi();
    EXPECT_EQ(scope.busy.UnbalancedDeactivations(), 1);
    EXPECT_EQ(scope.busy.Depth(), 0);
}

TEST(WaitCursorScopeTest, RestoresThePreviousState) {
    ScriptedServicesScope scope;
    {
        services::WaitCursorScope outer;
        {
            services::WaitCursorScope inner;
            EXPECT_TRUE(scope.cursor.IsWait());
        }
        EXPECT_TRUE(scope.cursor.IsWait()) << "the outer scope still waits";
    }
    EXPECT_FALSE(scope.cursor.IsWait());
    EXPECT_EQ(scope.cursor.History(), (std::vector<bool>{true, true, false}));
}

}  // namespace
