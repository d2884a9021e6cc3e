// Closing the host: its window and Arquivo > Sair close each open screen
// through the screen's own close handling, and a screen that refuses keeps
// the host open.
#include <QAction>
#include <QMdiArea>

#include "MainWindow.h"
#include "listconv/GuestScreen.h"

class HostCloseTest : public GuestScreen {
protected:
    void SetUp() override {
        GuestScreen::SetUp();
        mainWindow = std::make_unique<MainWindow>();
        ASSERT_NO_FATAL_FAILURE(ShowActive(*mainWindow));
    }
    void TearDown() override {
        GuestScreen::TearDown();
        mainWindow.reset();
    }

    std::unique_ptr<MainWindow> mainWindow;
};

TEST_F(HostCloseTest, AGuestTheServerDidNotTakeIsDroppedOnlyWhenTheUserSaysSo) {
    ASSERT_TRUE(OpenList(kBudget));
    ASSERT_EQ(f->FrameWindow()->parentWidget(), mainWindow->mdiArea()->viewport());
    tap->SetHook("SetConvOrceve",
                 [](const GuestServerTap::Args&) -> std::optional<corvana::Variant> {
                     return corvana::Variant::serverError("Servidor indisponível.");
                 });
    InsertRow();
    TypeIn("NMLISTACONVOREV", "Convidado Pendente");
    Confirm();
    ASSERT_EQ(f->cdsConvOrceve.ChangeCount(), 1);
    services.dialogs.Clear();

    // Arquivo > Sair: the list asks, the user keeps the guest, nothing closes.
    services.dialogs.ExpectConfirm(false);
    mainWindow->findChild<QAction*>("actSair")->trigger();
    Settle();
    EXPECT_EQ(services.dialogs.PendingConfirms(), 0u);
    ASSERT_FALSE(services.dialogs.Messages().empty());
    EXPECT_EQ(
        services.dialogs.Messages().back().text,
        "1 alteração da lista de convidados não foi gravada no servidor. Descartar a alteração?");
    EXPECT_TRUE(mainWindow->isVisible());
    EXPECT_TRUE(boStCriado);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(f->cdsConvOrceve.ChangeCount(), 1);

    // Closing the window: the user drops the guest, and everything closes.
    services.dialogs.ExpectConfirm(true);
    EXPECT_TRUE(mainWindow->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(services.dialogs.PendingConfirms(), 0u);
    EXPECT_FALSE(boStCriado);
    EXPECT_FALSE(mainWindow->isVisible());
    EXPECT_TRUE(mainWindow->mdiArea()->subWindowList().isEmpty());
}
