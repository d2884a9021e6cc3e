// The lookup button: the before-search flag, the pick filling the associated
// edit (and its events), cancel, the OnClick override and refusals.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QTest>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "corvana/core/Consiste.h"
#include "corvana/core/ScriptedServices.h"
#include "corvana/data/ClientDataSet.h"
#include "corvana/data/DataSource.h"
#include "corvana/data/Error.h"
#include "corvana/ui/StdCtrls.h"
#include "corvana/ui/TBtnPesquisa.h"
#include "corvana/ui/TMaskEdit.h"

namespace {

using corvana::FieldType;
using corvana::Variant;
using corvana::ui::TBtnPesquisa;
using corvana::ui::TEdit;
using Log = std::vector<std::string>;

class BtnPesquisa : public ::testing::Test, corvana::test::WithQApplication {
protected:
    void SetUp() override {
        dataSet.AddField("NOME", FieldType::String, 40, "Nome");
        dataSet.AddField("CODI", FieldType::String, 4, "Código");
        corvana::DataPacket packet(
            {{"NOME", FieldType::String, 40}, {"CODI", FieldType::String, 4}});
        packet.addRow({Variant("Buffet Aurora"), Variant("0007")});
        packet.addRow({Variant("Decorações Íris"), Variant("0012")});
        loaded = packet;

        auto* layout = new QHBoxLayout(&window);
        first = new TEdit(&window);
        code = new TEdit(&window);
        button = new TBtnPesquisa(&window);
        layout->addWidget(first);
        layout->addWidget(code);
        layout->addWidget(button);
        button->SetAssociate(code);
        button->SetDataSource(&source);
        button->SetTitle("Fornecedores");
        button->SetEmptyError("Nenhum fornecedor cadastrado.");
        button->SetFieldCodigo("CODI");
        button->OnBeforePesq = [this](QObject* sender, bool&) {
            EXPECT_EQ(sender, button);
            log.push_back("before");
            dataSet.SetData(loaded);  // the list is loaded on demand
        };
        button->OnAfterPesq = [this](QObject*) { log.push_back("after:" + code->Text()); };
        code->OnChange = [this](QObject*) { log.push_back("change:" + code->Text()); };
        code->OnEnter = [this](QObject*) { log.push_back("enter"); };
        first->OnExit = [this](QObject*) { log.push_back("exit"); };

        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        first->setFocus();
        log.clear();
    }

    void Click() { QTest::mouseClick(button, Qt::LeftButton); }

    corvana::services::ScriptedServicesScope services;
    corvana::ClientDataSet dataSet;
    corvana::DataSource source{&dataSet};
    corvana::DataPacket loaded;
    QWidget window;
    TEdit* first = nullptr;
    TEdit* code = nullptr;
    TBtnPesquisa* button = nullptr;
    Log log;
};

TEST_F(BtnPesquisa, APickFillsTheEditFiresItsChangeMovesTheFocusThenRunsAfter) {
    services.search.ExpectPick(2);
    Click();
    EXPECT_EQ(code->Text(), "0012");
    EXPECT_EQ(QApplication::focusWidget(), code);
    EXPECT_EQ(log, (Log{"before", "change:0012", "exit", "enter", "after:0012"}));
    using Call = corvana::services::ScriptedSearch::Call;
    EXPECT_EQ(services.search.Calls(),
              (std::vector<Call>{{"Fornecedores|Nenhum fornecedor cadastrado.", false, true}}));
}

TEST_F(BtnPesquisa, WithoutACodeFieldTheFirstFieldIsTaken) {
    button->SetFieldCodigo("");
    services.search.ExpectPick(1);
    Click();
    EXPECT_EQ(code->Text(), "Buffet Aurora");
}

TEST_F(BtnPesquisa, CancelChangesNothing) {
    code->SetText("0007");
    log.clear();
    services.search.ExpectCancel();
    Click();
    EXPECT_EQ(code->Text(), "0007");
    EXPECT_EQ(QApplication::focusWidget(), first);
    EXPECT_EQ(log, (Log{"before"}));
}

TEST_F(BtnPesquisa, BeforeSearchCanStopTheClick) {
    button->OnBeforePesq = [this](QObject*, bool& flag) {
        log.push_back("before");
        flag = false;
    };
    Click();
    EXPECT_TRUE(services.search.Calls().empty());
    EXPECT_EQ(log, (Log{"before"}));

    // A refusal by exception stops it too; its message is shown once.
    button->OnBeforePesq = [](QObject*, bool&) { Consiste::MensErro("Servidor indisponível."); };
    Click();
    button->OnBeforePesq = [](QObject*, bool&) { throw corvana::Error("Falha ao carregar."); };
    Click();
    EXPECT_TRUE(services.search.Calls().empty());
    EXPECT_EQ(services.dialogs.Errors(),
              (std::vector<std::string>{"Servidor indisponível.", "Falha ao carregar."}));
}

TEST_F(BtnPesquisa, AnEditThatRefusesTheCodeStopsBeforeAfter) {
    code->OnChange = [](QObject*) { Consiste::MensErro("Fornecedor bloqueado."); };
    services.search.ExpectPick(1);
    Click();
    EXPECT_EQ(log, (Log{"before"}));
    EXPECT_EQ(services.dialogs.Errors(), (std::vector<std::string>{"Fornecedor bloqueado."}));
}

TEST_F(BtnPesquisa, OnClickReplacesTheSearch) {
    int clicks = 0;
    button->OnClick = [&](QObject*) { ++clicks; };
    Click();
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(services.search.Calls().empty());
}

TEST_F(BtnPesquisa, FillsAMaskedEdit) {
    auto* masked = new corvana::ui::TMaskEdit(&window);
    masked->SetEditMask("9999;0; ");
    masked->show();
    button->SetAssociate(masked);
    services.search.ExpectPick(1);
    Click();
    EXPECT_EQ(masked->Text(), "0007");
    EXPECT_EQ(masked->EditText(), "0007");
    EXPECT_EQ(QApplication::focusWidget(), masked);
}

TEST_F(BtnPesquisa, ButtonWithoutAListSaysSo) {
    button->SetDataSource(nullptr);
    Click();
    EXPECT_EQ(services.dialogs.Errors().size(), 1u);
    EXPECT_TRUE(services.search.Calls().empty());
}

}  // namespace
