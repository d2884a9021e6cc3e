// The exception guard: what it shows, what it swallows, and that nothing
// thrown by a handler crosses Qt's event loop.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <stdexcept>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "corvana/core/Consiste.h"
#include "corvana/core/ScriptedServices.h"
#include "corvana/data/Error.h"
#include "corvana/ui/Guard.h"
#include "corvana/ui/TButtonFlat.h"

namespace {

using corvana::services::ScriptedDialogs;
using corvana::ui::Guarded;
using corvana::ui::GuardedBool;
using Texts = std::vector<std::string>;

class Guard : public ::testing::Test {
protected:
    void SetUp() override { corvana::test::EnsureQApplication(); }
    corvana::services::ScriptedServicesScope services;
};

TEST_F(Guard, SwallowsAbortSilentlyAndShowsEveryOtherErrorOnce) {
    EXPECT_FALSE(GuardedBool([] { throw corvana::EAbort("já mostrado"); }));
    EXPECT_TRUE(services.dialogs.Messages().empty());

    EXPECT_FALSE(GuardedBool([] { throw corvana::Error("Código inválido."); }));
    EXPECT_FALSE(GuardedBool([] { throw std::runtime_error("falha de leitura"); }));
    EXPECT_FALSE(GuardedBool([] { throw 42; }));
    EXPECT_EQ(services.dialogs.Errors(),
              (Texts{"Código inválido.", "falha de leitura", "Erro inesperado."}));
    EXPECT_EQ(services.dialogs.Messages().size(), 3u);  // errors only, nothing else

    EXPECT_TRUE(GuardedBool([] {}));
    EXPECT_TRUE(GuardedBool({}));  // an empty function is no handler
}

TEST_F(Guard, MensErroIsShownByItselfNotAgainByTheGuard) {
    Guarded([] { Consiste::MensErro("Informe a data do evento."); });
    EXPECT_EQ(services.dialogs.Errors(), (Texts{"Informe a data do evento."}));
}

TEST_F(Guard, AnInnerGuardHandlesItsOwnFault) {
    bool continued = false;
    EXPECT_TRUE(GuardedBool([&] {
        Guarded([] { throw corvana::Error("interno"); });
        continued = true;
    }));
    EXPECT_TRUE(continued);
    EXPECT_EQ(services.dialogs.Errors(), (Texts{"interno"}));
}

TEST_F(Guard, ADialogServiceThatFailsDoesNotEscape) {
    struct Broken : corvana::services::IDialogs {
        void ShowError(const std::string&) override { throw std::runtime_error("sem tela"); }
        void ShowInformation(const std::string&) override {}
        bool Confirm(const std::string&) override { return false; }
    } broken;
    corvana::services::SetDialogs(&broken);
    EXPECT_FALSE(GuardedBool([] { throw corvana::Error("x"); }));
    corvana::services::SetDialogs(&services.dialogs);
}

TEST_F(Guard, ExceptionsInSlotsStayInsideTheEventLoop) {
    QTimer timer;
    timer.setSingleShot(true);
    int runs = 0;
    corvana::ui::GuardedConnect(&timer, &QTimer::timeout, &timer, [&] {
        ++runs;
        throw corvana::Error("falha no temporizador");
    });
    timer.start(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return runs == 1; }));
    EXPECT_EQ(services.dialogs.Errors(), (Texts{"falha no temporizador"}));
}

TEST_F(Guard, GuardedConnectPassesTheSignalArgumentsTheSlotTakes) {
    QLineEdit edit;
    std::vector<QString> seen;
    int bare = 0;
    corvana::ui::GuardedConnect(&edit, &QLineEdit::textChanged, &edit,
                                [&](const QString& text) { seen.push_back(text); });
    corvana::ui::GuardedConnect(&edit, &QLineEdit::textChanged, &edit, [&] {
        ++bare;
        throw corvana::EAbort();
    });
    edit.setText(QStringLiteral("ação"));
    EXPECT_EQ(seen, (std::vector<QString>{QStringLiteral("ação")}));
    EXPECT_EQ(bare, 1);
    EXPECT_TRUE(services.dialogs.Messages().empty());
}

TEST_F(Guard, UserClickHandlersRunGuardedClicksFromCodePropagate) {
    corvana::ui::TButtonFlat button;
    button.OnClick = [](QObject*) { throw corvana::Error("Não foi possível gravar."); };
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(services.dialogs.Errors(), (Texts{"Não foi possível gravar."}));
    // Click() is the code path: the caller decides.
    EXPECT_THROW(button.Click(), corvana::Error);
    EXPECT_EQ(services.dialogs.Errors().size(), 1u);
}

}  // namespace
